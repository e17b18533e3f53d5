#include "link/report_changes.h"

#include <algorithm>
#include <cstddef>

#include "link/field_registry.h"
#include "link/frame.h"

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

// The status report's values sit in pairs at fixed places from character 5; a short one holds
// only the first few.
ChangeSet statusChanges(std::string_view frame) {
    ChangeSet c;
    if (frame.size() < kMinFrameLength) return c;
    const std::size_t end = frame.size() - 5;
    const int values = end > 5 ? static_cast<int>((end - 5) / 2) : 0;
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

// The levels report's sections: 2 output levels, 3 output mutes, 4 output line levels, 5 input
// levels, in pairs (an odd text is read with a 0 in front); 6 the report number.
ChangeSet levelsChanges(std::string_view frame) {
    ChangeSet c;
    if (frame.size() < kMinFrameLength) return c;
    const std::string_view body = frame.substr(0, frame.size() - 5);
    std::string_view section[7];
    std::size_t from = 0;
    for (int i = 0; i < 7; ++i) {
        const std::size_t comma = body.find(',', from);
        section[i] =
            body.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from);
        if (comma == std::string_view::npos) break;
        from = comma + 1;
    }
    auto records = [&](int i, int most) {
        const std::size_t chars = section[i].size() + section[i].size() % 2;
        return std::min(most, static_cast<int>(chars / 2));
    };
    for (int o = 1; o <= records(2, kOutputRecords); ++o)
        addOutput(c, o, &OutputChannel::level);
    for (int o = 1; o <= records(3, kOutputRecords); ++o)
        addOutput(c, o, &OutputChannel::mute);
    for (int o = 1; o <= records(4, kOutputRecords); ++o)
        addOutput(c, o, &OutputChannel::lineLevel);
    for (int ch = 1; ch <= records(5, kAnalogInputs); ++ch)
        addInput(c, ch, &InputChannel::level);
    if (!section[6].empty())
        if (auto id = FieldRegistry::instance().idOf("reportNumber")) c.add(*id);
    return c;
}

} // namespace

ChangeSet reportChanges(std::string_view frame, const DispatchResult& r) {
    switch (r.kind) {
    case ReportKind::FullState:
    case ReportKind::Names:
        return ChangeSet::everything();
    case ReportKind::Status:
        return statusChanges(frame);
    case ReportKind::Levels:
        return levelsChanges(frame);
    default:
        return {};
    }
}

ChangeSet shownChanges(std::string_view frame, const DispatchResult& r) {
    if (r.kind == ReportKind::Levels && !r.moveFaders) return {};
    return reportChanges(frame, r);
}

} // namespace quorvel
