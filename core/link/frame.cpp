#include "link/frame.h"

#include <array>

namespace quorvel {
namespace {

constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t c = static_cast<std::uint16_t>(i);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001) : (c >> 1);
        t[i] = c;
    }
    return t;
}
constexpr auto kCrcTable = makeTable();
static_assert(kCrcTable[1] == 0xC0C1 && kCrcTable[128] == 0xA001);

constexpr char kHexDigits[] = "0123456789ABCDEF";

} // namespace

std::uint16_t frameChecksum(std::string_view text) {
    std::uint16_t crc = 0xFFFF;
    for (unsigned char b : text)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ b) & 0xFF]);
    return crc;
}

void appendX2(std::string& s, int v) {
    unsigned u = static_cast<unsigned>(v);
    if (u > 0xFF) { // wider values keep all their digits, as "%02X" would print them
        char buf[12];
        int n = 0;
        while (u) {
            buf[n++] = kHexDigits[u & 0xF];
            u >>= 4;
        }
        while (n)
            s.push_back(buf[--n]);
        return;
    }
    s.push_back(kHexDigits[u >> 4]);
    s.push_back(kHexDigits[u & 0xF]);
}

void appendX4(std::string& s, int v) {
    unsigned u = static_cast<unsigned>(v);
    if (u > 0xFFFF) {
        char buf[12];
        int n = 0;
        while (u) {
            buf[n++] = kHexDigits[u & 0xF];
            u >>= 4;
        }
        while (n)
            s.push_back(buf[--n]);
        return;
    }
    for (int shift = 12; shift >= 0; shift -= 4)
        s.push_back(kHexDigits[(u >> shift) & 0xF]);
}

void appendX1(std::string& s, int v) {
    unsigned u = static_cast<unsigned>(v);
    if (u > 0xF) {
        appendX2(s, v);
        return;
    }
    s.push_back(kHexDigits[u]);
}

CommandFrame::CommandFrame(char letter) {
    text_.reserve(48);
    text_.push_back('%');
    text_.push_back(letter);
    text_.push_back(',');
}

CommandFrame& CommandFrame::x2(int v) {
    appendX2(text_, v);
    text_.push_back(',');
    return *this;
}
CommandFrame& CommandFrame::x4(int v) {
    appendX4(text_, v);
    text_.push_back(',');
    return *this;
}
CommandFrame& CommandFrame::dec(int v) {
    text_ += std::to_string(v);
    text_.push_back(',');
    return *this;
}
CommandFrame& CommandFrame::raw(std::string_view s) {
    text_.append(s);
    return *this;
}
CommandFrame& CommandFrame::comma() {
    text_.push_back(',');
    return *this;
}

std::string CommandFrame::finish() && {
    appendX4(text_, frameChecksum(text_));
    text_.push_back('#');
    return std::move(text_);
}

bool validateFrame(std::string_view c) {
    if (c.size() < kMinFrameLength || c.front() != '%' || c.back() != '#') return false;
    std::uint16_t crc = frameChecksum(c.substr(0, c.size() - 5));
    std::string_view digits = c.substr(c.size() - 5, 4);
    for (int i = 0; i < 4; ++i)
        if (digits[static_cast<size_t>(i)] != kHexDigits[(crc >> (12 - 4 * i)) & 0xF]) return false;
    return true;
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

std::uint32_t decodeHexField(std::string_view f) {
    std::uint32_t v = 0;
    size_t i = 0;
    if (f.size() % 2) { // odd: a leading "0" pairs with the first digit
        v = static_cast<std::uint32_t>(hexDigitValue(f[0]));
        i = 1;
    }
    for (; i + 1 < f.size() + 1 && i < f.size(); i += 2)
        v = (v << 8) | static_cast<std::uint32_t>(hexPair(f[i], f[i + 1]));
    return v;
}

} // namespace quorvel
