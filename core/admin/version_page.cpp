#include "admin/version_page.h"

#include <vector>

#include "admin/firmware_image.h"

namespace quorvel::firmware {
namespace {

std::string_view trim(std::string_view s) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    return s;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

} // namespace

bool isHttpUrl(std::string_view url) {
    std::size_t scheme = 0;
    if (startsWithNoCase(url, "http://"))
        scheme = 7;
    else if (startsWithNoCase(url, "https://"))
        scheme = 8;
    else
        return false;
    if (url.size() == scheme || url.size() > 2048) return false;
    for (char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) return false;
    return true;
}

std::optional<VersionPage> parseVersionPage(std::string_view text, std::string& error) {
    if (text.size() > kMaxVersionPageBytes) {
        error = "the version page is larger than 64 KiB";
        return std::nullopt;
    }
    const std::size_t start = text.find("##$$");
    const std::size_t end = start == std::string_view::npos ? start : text.find("$$##", start + 4);
    if (start == std::string_view::npos || end == std::string_view::npos || end - start <= 6) {
        error = "the version page has no version section";
        return std::nullopt;
    }
    std::string_view body = text.substr(start + 4, end - start - 4);
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t cut = body.find("%%%%");
        parts.push_back(trim(body.substr(0, cut)));
        if (cut == std::string_view::npos) break;
        body.remove_prefix(cut + 4);
    }
    if (parts.size() != 3) {
        error = "the version section does not have three parts";
        return std::nullopt;
    }
    if (!isHttpUrl(parts[0]) || !isHttpUrl(parts[1])) {
        error = "an image address on the version page is not an http or https address";
        return std::nullopt;
    }
    if (!versionNumber(parts[2])) {
        error = "the published version is not a number";
        return std::nullopt;
    }
    return VersionPage{std::string(parts[0]), std::string(parts[1]), std::string(parts[2])};
}

std::optional<bool> isNewer(std::string_view published, std::string_view installed) {
    const auto p = versionNumber(published);
    const auto i = versionNumber(installed);
    if (!p || !i) return std::nullopt;
    return *i < *p;
}

} // namespace quorvel::firmware
