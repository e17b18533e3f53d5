// Arbitrary datagrams as search answers: whatever is accepted is a valid R frame of at most 128
// bytes whose second field reads 0005, and the check never reads outside what it was given.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "admin/discovery.h"
#include "link/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view d(reinterpret_cast<const char*>(data), size);
    if (!quorvel::isSearchAnswer(d)) return 0;
    const std::string_view frame = d.substr(0, d.find('\0'));
    if (frame.size() > quorvel::kMaxAnswerBytes || frame[1] != 'R' || !quorvel::validateFrame(frame))
        __builtin_trap();
    const std::size_t unitEnd = frame.find(',', 3);
    if (frame.substr(unitEnd + 1, 5) != "0005,") __builtin_trap();
    return 0;
}
