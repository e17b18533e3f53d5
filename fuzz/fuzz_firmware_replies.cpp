// Arbitrary text as what came back from the device during an update: the scanners never read
// past it, a result code is one byte, and a version is digits of a frame whose checksum holds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "admin/firmware_image.h"
#include "admin/firmware_replies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel::firmware;
    // Copied, so that reading one byte past the end is caught.
    const std::string copy(reinterpret_cast<const char*>(data), size);
    const std::string_view text(copy);
    const EndReply end = scanEndReply(text);
    if (end.kind == EndReply::Kind::Code && (end.code < 0 || end.code > 0xFF)) __builtin_trap();
    if (end.kind != EndReply::Kind::Absent && !hasMarker(text, "%U")) __builtin_trap();
    for (int index : {0, 1, 255, 256})
        if (hasBlockAck(text, index) && !hasMarker(text, "%Y")) __builtin_trap();
    (void)hasErrorReply(text);
    for (char letter : {'r', 'z'}) {
        auto v = scanVersionReply(text, letter);
        if (v && (!versionNumber(*v) || text.find(*v) == std::string_view::npos)) __builtin_trap();
    }
    return 0;
}
