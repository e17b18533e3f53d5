#include "mixing/effect_ops.h"

#include <algorithm>
#include <string>

#include "link/commands.h"
#include "link/field_registry.h"

namespace quorvel {
namespace {

FieldId idOf(const std::string& path) {
    return *FieldRegistry::instance().idOf(path);
}

std::string param(int record, int word) {
    return "input[" + std::to_string(record) + "].effectParams[" + std::to_string(word) + "]";
}

} // namespace

std::vector<FieldId> effectFields(Effect e) {
    std::vector<FieldId> f;
    const bool delay = e == Effect::Delay;
    const int record = delay ? kDelayRecord : kReverbRecord;
    const int first = delay ? 1 : 6, last = delay ? 4 : 11;
    for (int w = first; w <= last; ++w)
        f.push_back(idOf(param(record, w)));
    const std::string r = "input[" + std::to_string(record) + "].";
    f.push_back(idOf(r + "mute"));
    f.push_back(idOf(r + "effectInputMute"));
    return f;
}

void queueEffectGroup(const DeviceState& s, EditSink& sink, Effect e) {
    if (e == Effect::Delay) {
        queueIfOnline(s, sink, buildN(s));
        queueIfOnline(s, sink, buildDelay(s));
    } else {
        queueIfOnline(s, sink, buildM(s));
        queueIfOnline(s, sink, buildReverb(s));
    }
}

ChangeSet storeRecalledEffect(DeviceState& s, EditSink& sink, Effect e) {
    const auto& reg = FieldRegistry::instance();
    ChangeSet changed;
    for (FieldId id : effectFields(e)) {
        const FieldInfo& f = reg.field(id);
        FieldRegistry::set(s, f, std::clamp(FieldRegistry::get(s, f), f.min, f.max));
        changed.add(id);
    }
    queueEffectGroup(s, sink, e);
    return changed;
}

ChangeSet resetEffect(DeviceState& s, EditSink& sink, Effect e) {
    if (e == Effect::Delay)
        loadDelayReset(s);
    else
        loadReverbReset(s);
    queueEffectGroup(s, sink, e);
    ChangeSet changed;
    for (FieldId f : effectFields(e))
        changed.add(f);
    return changed;
}

std::optional<FieldId> effectMuteField(int buttonId) {
    switch (buttonId) {
    case 1028:
        return idOf("input[18].effectInputMute");
    case 1029:
        return idOf("input[17].effectInputMute");
    case 1030:
        return idOf("input[18].mute");
    case 1031:
        return idOf("input[17].mute");
    default:
        return std::nullopt;
    }
}

} // namespace quorvel
