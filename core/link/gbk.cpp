#include "link/gbk.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <vector>

namespace quorvel {
namespace {

// Opening a converter loads a module; keep one per direction and thread instead of one per call.
iconv_t converterFor(const char* to, const char* from) {
    struct Entry {
        const char* to;
        const char* from;
        iconv_t cd;
    };
    struct Cache {
        std::vector<Entry> entries;
        ~Cache() {
            for (auto& e : entries)
                iconv_close(e.cd);
        }
    };
    thread_local Cache cache;
    for (auto& e : cache.entries)
        if (std::strcmp(e.to, to) == 0 && std::strcmp(e.from, from) == 0) {
            iconv(e.cd, nullptr, nullptr, nullptr, nullptr);
            return e.cd;
        }
    iconv_t cd = iconv_open(to, from);
    if (cd != reinterpret_cast<iconv_t>(-1)) cache.entries.push_back({to, from, cd});
    return cd;
}

// One conversion; with lenient set, undecodable input is replaced instead of failing.
std::optional<std::string> convert(const char* to, const char* from, std::string_view in, bool lenient,
                                   std::string_view replacement) {
    iconv_t cd = converterFor(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out;
    std::vector<char> buf(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = buf.data();
        size_t dstLeft = buf.size();
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf.data(), static_cast<size_t>(dst - buf.data()));
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        if (!lenient) {
            ok = false;
            break;
        }
        // EILSEQ or EINVAL: skip the offending unit and mark it.
        out.append(replacement);
        size_t skip = (std::string_view(from) == "UTF-16BE") ? 2 : 1;
        if (skip > srcLeft) skip = srcLeft;
        src += skip;
        srcLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    if (!ok) return std::nullopt;
    return out;
}

} // namespace

std::optional<std::string> utf8ToGbk(std::string_view utf8) {
    return convert("GBK", "UTF-8", utf8, false, {});
}

std::string gbkToUtf8(std::string_view gbk) {
    return convert("UTF-8", "GBK", gbk, true, "\xEF\xBF\xBD").value_or(std::string{});
}

std::u16string gbkToUtf16(std::string_view gbk) {
    std::string be =
        convert("UTF-16BE", "GBK", gbk, true, std::string_view("\xFF\xFD", 2)).value_or(std::string{});
    std::u16string units;
    for (size_t i = 0; i + 1 < be.size(); i += 2)
        units.push_back(static_cast<char16_t>((static_cast<unsigned char>(be[i]) << 8) |
                                              static_cast<unsigned char>(be[i + 1])));
    return units;
}

std::string utf16ToGbk(std::u16string_view units) {
    std::string be;
    for (char16_t u : units) {
        be.push_back(static_cast<char>(u >> 8));
        be.push_back(static_cast<char>(u & 0xFF));
    }
    return convert("GBK", "UTF-16BE", be, true, {}).value_or(std::string{});
}

int gbkByteCount(std::string_view utf8) {
    auto g = utf8ToGbk(utf8);
    return g ? static_cast<int>(g->size()) : -1;
}

} // namespace quorvel
