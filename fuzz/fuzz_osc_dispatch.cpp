// A datagram as a surface might send it, through the OSC decoding and the dispatch into edits, on
// an online state whose control groups link inputs 1..4 and outputs 1..3 on every switch: whatever
// the bytes, no edit may store a value outside its field's range and every frame must be valid.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/frame.h"
#include "osc/osc_dispatch.h"
#include "state_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

class Changes : public quorvel::remote::RemoteListener {
public:
    void fieldsChanged(const quorvel::ChangeSet& c) override { changes.merge(c); }
    void metersUpdated() override {}
    quorvel::ChangeSet changes;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel;
    RecordingSink sink;
    osc::rig::StateHost host(sink);
    DeviceState& s = host.mutableState();
    for (int e : {0, 1, 2, 3})
        s.controlGroups[0][static_cast<std::size_t>(e)] = 1;
    for (int e : {0, 1, 2})
        s.controlGroups[1][static_cast<std::size_t>(cg::kFirstOutput + e)] = 1;
    for (auto& g : s.controlGroups)
        for (int f = cg::kLinkVolume; f <= cg::kLinkDelay; ++f)
            g[static_cast<std::size_t>(f)] = 1;
    Changes changes;
    host.setListener(&changes);

    osc::OscDispatcher dispatcher(host);
    const osc::ClientAddress from{0x0100007f, 0x2823};
    const bool ok = osc::forEachMessage(data, size, [&](std::string_view, const osc::Request& r) {
        // What the decoder lets through is in range before the edit operation sees it.
        if (r.kind == osc::Request::Kind::Edit) {
            const FieldInfo& f = FieldRegistry::instance().field(r.field);
            if (r.raw < f.min || r.raw > f.max) __builtin_trap();
        }
        dispatcher.submit(r, from);
    });
    if (!ok) dispatcher.noteMalformed();
    host.pump();

    const auto& reg = FieldRegistry::instance();
    for (FieldId id : changes.changes.fields()) {
        const FieldInfo& f = reg.field(id);
        if (f.kind == FieldKind::Name) {
            if (FieldRegistry::getName(s, f).size() > kNameBytes) __builtin_trap();
            continue;
        }
        const std::int32_t v = FieldRegistry::get(s, f);
        if (v < f.min || v > f.max) __builtin_trap();
    }
    for (const OutgoingFrame& f : sink.frames)
        if (!validateFrame(f.text)) __builtin_trap();
    return 0;
}
