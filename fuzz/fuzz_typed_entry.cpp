// Text typed into the readout's value fields. The first three bytes choose the readout channel
// (one past the last too), the kind and the value slot; the rest is the text. Whatever is typed,
// no field may leave its range, every frame must be valid, and the readout must still format.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "link/edit.h"
#include "link/field_display.h"
#include "link/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel;
    if (size < 3) return 0;
    static const DeviceState fresh = [] {
        DeviceState s;
        loadFactoryDefaults(s, 1);
        s.link.linkOnline = true;
        // Inputs 1 and 2, and outputs 1 and 2, volume-linked: typed values reach members too.
        s.controlGroups[0][0] = s.controlGroups[0][1] = 1;
        s.controlGroups[1][cg::kFirstOutput] = s.controlGroups[1][cg::kFirstOutput + 1] = 1;
        s.controlGroups[0][cg::kLinkVolume] = s.controlGroups[1][cg::kLinkVolume] = 1;
        return s;
    }();
    static DeviceState state;
    state = fresh;
    const int channel = data[0] % (kReadoutChannels + 1);
    const int kind = data[1] % (kReadoutLastKind + 2);
    const int slot = data[2] % 3;
    const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);

    RecordingSink sink;
    const EditOutcome r = applyTypedValue(state, sink, channel, kind, slot, text);
    if (r.applied != r.refusal.empty()) __builtin_trap(); // refused always says why
    if (r.applied && r.changed.empty()) __builtin_trap();
    if (!r.applied && (!r.changed.empty() || !sink.frames.empty())) __builtin_trap();
    const auto& reg = FieldRegistry::instance();
    for (FieldId id : r.changed.fields()) {
        const FieldInfo& f = reg.field(id);
        const std::int32_t v = FieldRegistry::get(state, f);
        if (v < f.min || v > f.max) __builtin_trap();
    }
    for (const OutgoingFrame& f : sink.frames)
        if (!validateFrame(f.text)) __builtin_trap();
    const ReadoutText shown = formatReadout(state, channel, kind, 1 + (data[0] & 1));
    return shown.value1.size() > 64 ? 1 : 0;
}
