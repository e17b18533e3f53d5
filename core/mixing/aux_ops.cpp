#include "mixing/aux_ops.h"

#include <algorithm>
#include <string>

#include "link/field_registry.h"

namespace quorvel {

FieldId sendField(int source, int strip) {
    return *FieldRegistry::instance().idOf("input[" + std::to_string(source) + "].sendLevel[" +
                                           std::to_string(strip + 1) + "]");
}

AuxMutes::AuxMutes() {
    for (auto& row : kept_)
        row.fill(-1);
}

bool AuxMutes::muted(const DeviceState& s, int source, int strip) const {
    if (source < 1 || source > kInputRecords || strip < 0 || strip >= kAuxStrips) return false;
    return kept(source, strip) >= 0 && s.in(source).sendLevel[static_cast<std::size_t>(strip)] == 0;
}

std::int32_t AuxMutes::shownLevel(const DeviceState& s, int source, int strip) const {
    if (source < 1 || source > kInputRecords || strip < 0 || strip >= kAuxStrips) return 0;
    if (muted(s, source, strip)) return kept(source, strip);
    return s.in(source).sendLevel[static_cast<std::size_t>(strip)];
}

EditOutcome AuxMutes::toggle(DeviceState& s, EditSink& sink, int source, int strip) {
    if (source < 1 || source > kInputRecords || strip < 0 || strip >= kAuxStrips) return {};
    const FieldId f = sendField(source, strip);
    if (muted(s, source, strip)) {
        const std::int32_t level = kept(source, strip);
        kept(source, strip) = -1;
        return applyEdit(s, sink, f, level);
    }
    kept(source, strip) = s.in(source).sendLevel[static_cast<std::size_t>(strip)];
    return applyEdit(s, sink, f, 0);
}

EditOutcome AuxMutes::move(DeviceState& s, EditSink& sink, int source, int strip, std::int32_t level,
                           bool finished) {
    if (source < 1 || source > kInputRecords || strip < 0 || strip >= kAuxStrips) return {};
    const FieldId f = sendField(source, strip);
    if (muted(s, source, strip)) {
        kept(source, strip) = std::clamp(level, 0, 70);
        if (finished) queueFieldFrames(s, sink, f);
        EditOutcome out;
        out.applied = true;
        return out;
    }
    kept(source, strip) = -1;
    EditOptions options;
    options.queue = finished;
    return applyEdit(s, sink, f, level, options);
}

void AuxMutes::forgetOpened(const DeviceState& s, const ChangeSet& changed) {
    if (changed.empty()) return;
    for (int source = 1; source <= kInputRecords; ++source)
        for (int strip = 0; strip < kAuxStrips; ++strip) {
            if (kept(source, strip) < 0 || s.in(source).sendLevel[static_cast<std::size_t>(strip)] == 0)
                continue;
            if (changed.contains(sendField(source, strip))) kept(source, strip) = -1;
        }
}

} // namespace quorvel
