// The published version page: between "##$$" and "$$##", three parts split by "%%%%": the DSP
// image's address, the digital image's address and the version (decimal, shown x 0.1).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel::firmware {

inline constexpr std::size_t kMaxVersionPageBytes = 64 * 1024;

struct VersionPage {
    std::string dspUrl;
    std::string digitalUrl;
    std::string version;
};

// Refuses (with a readable reason) a page over 64 KiB, without both markers, with other than
// three parts, with an address that is not http(s) or a version that is not a number.
std::optional<VersionPage> parseVersionPage(std::string_view text, std::string& error);

// "http://" or "https://" followed by printable text without spaces.
bool isHttpUrl(std::string_view url);

// Whether the device should take the published version; both must be numbers ("9" is below
// "10"). nullopt when either is not.
std::optional<bool> isNewer(std::string_view published, std::string_view installed);

} // namespace quorvel::firmware
