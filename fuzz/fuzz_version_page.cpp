// Arbitrary text as the published version page: never a crash, and whatever is accepted has two
// http(s) addresses and a numeric version taken from between the markers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "admin/firmware_image.h"
#include "admin/version_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel::firmware;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto page = parseVersionPage(text, error);
    if (!page) {
        if (error.empty()) __builtin_trap(); // every refusal says why
        return 0;
    }
    if (size > kMaxVersionPageBytes) __builtin_trap();
    if (!isHttpUrl(page->dspUrl) || !isHttpUrl(page->digitalUrl) || !versionNumber(page->version))
        __builtin_trap();
    const std::size_t start = text.find("##$$");
    if (start == std::string_view::npos || text.find(page->dspUrl, start) == std::string_view::npos)
        __builtin_trap();
    (void)isNewer(page->version, "32");
    return 0;
}
