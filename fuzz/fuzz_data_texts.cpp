// Arbitrary text as a stored preset block. The first byte picks the table, the rest is the data
// text. A text that reads must write back as itself (upper-cased: the digits are read in either
// case); a text that does not read must leave the block as it was and say why.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/device_state.h"
#include "mixing/effects_text.h"
#include "presets/data_text.h"
#include "processing/dynamics_text.h"
#include "processing/geq_text.h"
#include "processing/limiter_text.h"
#include "processing/peq_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using namespace quorvel;

struct Table {
    std::string (*write)(const DeviceState&);
    bool (*read)(std::string_view, DeviceState&, std::string&);
};

// Channel 3 and output 2 stand for any: the texts do not depend on which record they fill.
const Table kTables[] = {
    {[](const DeviceState& s) { return noiseDataText(s.in(3).gate); },
     [](std::string_view t, DeviceState& s, std::string& e) {
         return readNoiseDataText(t, s.in(3).gate, e);
     }},
    {[](const DeviceState& s) { return compressorDataText(s.in(3).dynamics); },
     [](std::string_view t, DeviceState& s, std::string& e) {
         return readCompressorDataText(t, s.in(3).dynamics, e);
     }},
    {[](const DeviceState& s) { return peqDataText(s.in(3)); },
     [](std::string_view t, DeviceState& s, std::string& e) { return readPeqDataText(t, s.in(3), e); }},
    {[](const DeviceState& s) { return limiterDataText(s.out(2).limiter); },
     [](std::string_view t, DeviceState& s, std::string& e) {
         return readLimiterDataText(t, s.out(2).limiter, e);
     }},
    {[](const DeviceState& s) { return geqDataText(s.out(2).geq); },
     [](std::string_view t, DeviceState& s, std::string& e) { return readGeqDataText(t, s.out(2).geq, e); }},
    {[](const DeviceState& s) { return delayDataText(s); },
     [](std::string_view t, DeviceState& s, std::string& e) { return readDelayDataText(t, s, e); }},
    {[](const DeviceState& s) { return reverbDataText(s); },
     [](std::string_view t, DeviceState& s, std::string& e) { return readReverbDataText(t, s, e); }},
};
constexpr std::size_t kTableCount = sizeof kTables / sizeof kTables[0];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static DeviceState state;
    static const DeviceState fresh = [] {
        DeviceState s;
        loadFactoryDefaults(s, 1);
        return s;
    }();
    state = fresh;
    const Table& table = kTables[data[0] % kTableCount];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::string before = table.write(state);
    std::string error;
    if (!table.read(text, state, error)) {
        if (error.empty() || table.write(state) != before) __builtin_trap();
        return 0;
    }
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (table.write(state) != upper) __builtin_trap();

    // The shared reader on its own: any group it accepts is a value its width can hold.
    for (std::size_t width : {2u, 4u})
        if (text.size() >= width)
            if (auto v = readHexGroup(text.substr(0, width));
                v && (*v < 0 || *v > (width == 2 ? 0xFF : 0xFFFF)))
                __builtin_trap();
    return 0;
}
