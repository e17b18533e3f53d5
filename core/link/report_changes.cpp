#include "link/report_changes.h"

#include <algorithm>
#include <cstddef>

#include "link/field_registry.h"

namespace quorvel {
namespace {

void addInput(ChangeSet& c, int channel, std::int32_t InputChannel::*member) {
    static const DeviceState proto{};
    if (auto id = FieldRegistry::instance().idOf(proto, &(proto.in(channel).*member))) c.add(*id);
}

void addOutput(ChangeSet& c, int output, std::int32_t OutputChannel::*member) {
    static const DeviceState proto{};
    if (auto id = FieldRegistry::instance().idOf(proto, &(proto.out(output).*member))) c.add(*id);
}

// The parser noted how many values it read: meters of inputs 1..12, then outputs 1..8, then the
// open mask and the last-open channel.
ChangeSet statusChanges(const DispatchResult& r) {
    ChangeSet c;
    const int values = r.statusValues;
    for (int j = 0; j < std::min(values, 12); ++j)
        addInput(c, j + 1, &InputChannel::meter);
    for (int j = 12; j < std::min(values, 20); ++j)
        addOutput(c, j - 11, &OutputChannel::meter);
    if (values > 20)
        for (int k = 1; k <= 8; ++k)
            addInput(c, k, &InputChannel::channelOpen);
    if (values > 21)
        for (int k = 1; k <= 8; ++k)
            addInput(c, k, &InputChannel::lastOpen);
    return c;
}

// The records each levels section gave, as the parser noted them.
ChangeSet levelsChanges(const DispatchResult& r) {
    ChangeSet c;
    for (int o = 1; o <= r.levelRecords[0]; ++o)
        addOutput(c, o, &OutputChannel::level);
    for (int o = 1; o <= r.levelRecords[1]; ++o)
        addOutput(c, o, &OutputChannel::mute);
    for (int o = 1; o <= r.levelRecords[2]; ++o)
        addOutput(c, o, &OutputChannel::lineLevel);
    for (int ch = 1; ch <= r.levelRecords[3]; ++ch)
        addInput(c, ch, &InputChannel::level);
    if (r.reportNumberStored)
        if (auto id = FieldRegistry::instance().idOf("reportNumber")) c.add(*id);
    return c;
}

} // namespace

ChangeSet reportChanges(const DispatchResult& r) {
    switch (r.kind) {
    case ReportKind::FullState:
    case ReportKind::Names:
        return ChangeSet::everything();
    case ReportKind::Status:
        return statusChanges(r);
    case ReportKind::Levels:
        return levelsChanges(r);
    default:
        return {};
    }
}

ChangeSet shownChanges(const DispatchResult& r) {
    if (r.kind == ReportKind::Levels && !r.moveFaders) return {};
    return reportChanges(r);
}

} // namespace quorvel
