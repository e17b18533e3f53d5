#include "mixing/automix_ops.h"

#include <algorithm>
#include <string>

#include "link/commands.h"
#include "link/field_registry.h"

namespace quorvel {
namespace {

using std::chrono::milliseconds;

FieldId thresholdField(int channel) {
    return *FieldRegistry::instance().idOf("input[" + std::to_string(channel) + "].automixThreshold");
}

FieldId automixField(const char* name) {
    return *FieldRegistry::instance().idOf(std::string("automix.") + name);
}

std::int32_t clampTo(FieldId id, std::int32_t v) {
    const FieldInfo& f = FieldRegistry::instance().field(id);
    return std::clamp(v, f.min, f.max);
}

} // namespace

EditOutcome setAutomixThreshold(DeviceState& s, EditSink& sink, int channel, std::int32_t raw) {
    if (channel < 1 || channel > kInputRecords) {
        EditOutcome refused;
        refused.refusal = "no input channel " + std::to_string(channel);
        return refused;
    }
    const bool sweep = s.automix.syncThresholds != 0 && channel <= kAutomixChannels;
    if (!sweep) return applyEdit(s, sink, thresholdField(channel), raw);

    const std::int32_t v = clampTo(thresholdField(channel), raw);
    EditOutcome out;
    out.applied = true;
    out.changed.add(thresholdField(channel));
    for (int c = 1; c <= kAutomixChannels; ++c) {
        s.in(c).automixThreshold = v;
        out.changed.add(thresholdField(c));
    }
    // The asking channel goes out again inside the sweep; the paced sender must not fold the two.
    if (s.link.linkOnline) sink.queue(OutgoingFrame{buildL(s, channel), milliseconds(0), false, true});
    // The device takes the eight in a row only with room between them.
    const auto pause = channel == kSyncSourceSlowest ? kSyncPauseFromLast : kSyncPause;
    for (int c = 1; c <= kAutomixChannels; ++c)
        queueIfOnline(s, sink, buildL(s, c), pause);
    return out;
}

ChangeSet applyAutomixGlobals(DeviceState& s, EditSink& sink, const AutomixGlobals& g) {
    ChangeSet changed;
    auto store = [&](const char* name, std::int32_t& field, std::int32_t v) {
        const FieldId id = automixField(name);
        field = clampTo(id, v);
        changed.add(id);
    };
    store("holdTime", s.automix.holdTime, g.holdTime);
    store("maxOpenChannels", s.automix.maxOpenChannels, g.maxOpenChannels);
    store("nomAttenuation", s.automix.nomAttenuation, g.nomAttenuation);
    store("closedChannelAttenuation", s.automix.closedChannelAttenuation, g.closedChannelAttenuation);
    queueIfOnline(s, sink, buildM(s));
    return changed;
}

void startWithSyncOff(DeviceState& s) {
    s.automix.syncThresholds = 0;
}

const char* automixSetMessage(bool online, int languageFlag) {
    const bool zh = languageFlag == 2;
    if (online) return zh ? "设置成功。" : "Set successfully.";
    return zh ? "已保存，未发送：离线。" : "Stored; not sent: OFFLINE.";
}

} // namespace quorvel
