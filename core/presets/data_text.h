// The settings of a block are stored as fixed-width upper-case hex text and read back at fixed
// character positions. These helpers are shared by every block's encoder and decoder so that all
// tables follow one rule.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// Writes "%02X" (digits 2) or "%04X" (digits 4). A value outside the field is clamped: a wider
// value would print more digits and shift every field after it, which a reader at fixed positions
// then takes apart wrongly.
inline void appendHex(std::string& out, std::int32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::int32_t max = digits == 2 ? 0xFF : 0xFFFF;
    const std::int32_t v = std::clamp(value, std::int32_t{0}, max);
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out.push_back(kDigits[(v >> shift) & 0xF]);
    }
}

// Unlike the link's reading of report fields, a stored text with a non-hex character is damaged.
inline std::optional<int> storedHexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return std::nullopt;
}

// One group of the stored text: an odd-length group is read as if a "0" led it, case does not
// matter, and the pairs are bytes with the first the most significant. nullopt for a non-hex
// character or an empty group.
inline std::optional<std::int32_t> readHexGroup(std::string_view group) {
    if (group.empty() || group.size() > 8) {
        return std::nullopt;
    }
    std::string padded;
    if (group.size() % 2 != 0) {
        padded.push_back('0');
    }
    padded.append(group);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < padded.size(); i += 2) {
        const auto hi = storedHexDigit(padded[i]);
        const auto lo = storedHexDigit(padded[i + 1]);
        if (!hi || !lo) {
            return std::nullopt;
        }
        value = (value << 8) | static_cast<std::uint32_t>(*hi * 16 + *lo);
    }
    return static_cast<std::int32_t>(value);
}

// Walks a stored text group by group; the first failure is kept, so a decoder reads all its
// fields and checks once at the end.
class HexReader {
public:
    HexReader(std::string_view text, std::string_view table, std::size_t expectedLength)
        : text_(text), table_(table), expected_(expectedLength) {
        if (text_.size() < expected_) {
            // Name the shortness itself rather than whichever group happens to run out.
            error_ = "The stored " + std::string(table_) + " preset is damaged: its data text has " +
                     std::to_string(text_.size()) + " characters where " + std::to_string(expected_) +
                     " are expected.";
        }
    }

    // Reads the next group of the given width into value (left untouched on failure).
    HexReader& group(int digits, std::int32_t& value) {
        if (!error_.empty()) {
            return *this;
        }
        const auto width = static_cast<std::size_t>(digits);
        if (pos_ + width > text_.size()) {
            fail("ends early");
            return *this;
        }
        const auto v = readHexGroup(text_.substr(pos_, width));
        if (!v) {
            fail("has a character that is not a hex digit");
            return *this;
        }
        value = *v;
        pos_ += width;
        return *this;
    }

    // A separator the format places between sections.
    HexReader& literal(char c) {
        if (!error_.empty()) {
            return *this;
        }
        if (pos_ >= text_.size() || text_[pos_] != c) {
            fail(std::string("lacks the '") + c + "' separator");
            return *this;
        }
        ++pos_;
        return *this;
    }

    // True only when every group was read and nothing is left over: leftover characters mean a
    // field was written wider than its slot and the positions no longer line up.
    bool finish() {
        if (error_.empty() && pos_ != text_.size()) {
            fail("is longer than its format");
        }
        return error_.empty();
    }

    const std::string& error() const { return error_; }

private:
    void fail(const std::string& what) {
        error_ = "The stored " + std::string(table_) + " preset is damaged: its data text " + what +
                 " at character " + std::to_string(pos_ + 1) + " (" + std::to_string(text_.size()) +
                 " characters, " + std::to_string(expected_) + " expected).";
    }

    std::string_view text_;
    std::string_view table_;
    std::size_t expected_;
    std::size_t pos_ = 0;
    std::string error_;
};

} // namespace quorvel
