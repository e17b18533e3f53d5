// "PATH=VALUE" as quorvelctl set and --set take it, applied to an online state whose control
// groups link inputs 1..4 and outputs 1..3 on every switch: whatever the text, nothing may store a
// value outside its field's range, and every queued frame must be a valid one.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "link/edit.h"
#include "link/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel;
    static const DeviceState fresh = [] {
        DeviceState s;
        loadFactoryDefaults(s, 1);
        s.link.linkOnline = true;
        for (int e : {0, 1, 2, 3})
            s.controlGroups[0][static_cast<std::size_t>(e)] = 1;
        for (int e : {0, 1, 2})
            s.controlGroups[1][static_cast<std::size_t>(cg::kFirstOutput + e)] = 1;
        for (auto& g : s.controlGroups)
            for (int f = cg::kLinkVolume; f <= cg::kLinkDelay; ++f)
                g[static_cast<std::size_t>(f)] = 1;
        return s;
    }();
    static DeviceState state;
    state = fresh;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    Assignment parsed;
    std::string error;
    const bool ok = parseAssignment(text, parsed, error);
    if (!ok && error.empty()) __builtin_trap(); // a refusal always says why

    RecordingSink sink;
    const EditOutcome r = applyAssignment(state, sink, text);
    if (r.applied != ok) __builtin_trap();
    const auto& reg = FieldRegistry::instance();
    for (FieldId id : r.changed.fields()) {
        const FieldInfo& f = reg.field(id);
        if (f.kind == FieldKind::Name) {
            if (FieldRegistry::getName(state, f).size() > kNameBytes) __builtin_trap();
            continue;
        }
        const std::int32_t v = FieldRegistry::get(state, f);
        if (v < f.min || v > f.max) __builtin_trap();
    }
    for (const OutgoingFrame& f : sink.frames)
        if (!validateFrame(f.text)) __builtin_trap();
    return 0;
}
