#include "processing/strip_ops.h"

#include <algorithm>
#include <cstdio>

#include "link/field_registry.h"

namespace quorvel {
namespace {

constexpr int kPhantomPageChannels = 16;

bool inputOk(int channel) {
    return channel >= 1 && channel <= kInputRecords;
}
bool outputOk(int output) {
    return output >= 1 && output <= kOutputRecords;
}
bool analog(int channel) {
    return channel >= 1 && channel <= kAnalogInputs;
}

EditResult asResult(const EditOutcome& r) {
    EditResult out;
    const auto& reg = FieldRegistry::instance();
    const auto& fields = r.changed.fields();
    for (std::size_t i = 1; i < fields.size(); ++i)
        out.members.push_back(reg.field(fields[i]).recordIndex);
    return out;
}

EditOutcome editInput(DeviceState& s, EditSink& sink, int channel, std::int32_t InputChannel::*member,
                      std::int32_t raw, const EditOptions& options = {}) {
    if (!inputOk(channel)) return {};
    const auto id = FieldRegistry::instance().idOf(s, &(s.in(channel).*member));
    return id ? applyEdit(s, sink, *id, raw, options) : EditOutcome{};
}

EditOutcome editOutput(DeviceState& s, EditSink& sink, int output, std::int32_t OutputChannel::*member,
                       std::int32_t raw) {
    if (!outputOk(output)) return {};
    const auto id = FieldRegistry::instance().idOf(s, &(s.out(output).*member));
    return id ? applyEdit(s, sink, *id, raw) : EditOutcome{};
}

EditOutcome editName(DeviceState& s, EditSink& sink, NameField& field, std::string_view gbk) {
    const auto id = FieldRegistry::instance().idOf(s, &field);
    return id ? applyNameEdit(s, sink, *id, gbk) : EditOutcome{};
}

} // namespace

EditResult setInputLevel(DeviceState& s, EditSink& sink, int channel, int level) {
    return asResult(editInput(s, sink, channel, &InputChannel::level, level));
}

void queueInputLevel(const DeviceState& s, EditSink& sink, int channel) {
    if (!inputOk(channel)) return;
    if (analog(channel)) queueIfOnline(s, sink, buildA(s, channel));
    for (int m : linkedInputs(s, channel, cg::kLinkVolume))
        if (analog(m)) queueIfOnline(s, sink, buildA(s, m), kMemberPause);
}

std::chrono::milliseconds linkedLevelBusyTime(const DeviceState& s, int channel) {
    int sent = 0;
    for (int m : linkedInputs(s, channel, cg::kLinkVolume))
        if (analog(m)) ++sent;
    return sent * kMemberPause;
}

EditResult setInputMute(DeviceState& s, EditSink& sink, int channel, bool mute) {
    return asResult(editInput(s, sink, channel, &InputChannel::mute, mute ? 1 : 0));
}

EditResult setInputPan(DeviceState& s, EditSink& sink, int channel, int pan) {
    return asResult(editInput(s, sink, channel, &InputChannel::pan, pan));
}

EditResult setInputPriority(DeviceState& s, EditSink& sink, int channel, bool on) {
    return asResult(editInput(s, sink, channel, &InputChannel::priority, on ? 1 : 0));
}

EditResult setInputPhantom(DeviceState& s, EditSink& sink, int channel, bool on) {
    return asResult(editInput(s, sink, channel, &InputChannel::phantom, on ? 1 : 0));
}

EditResult setGainStep(DeviceState& s, EditSink& sink, int channel, int step) {
    return asResult(editInput(s, sink, channel, &InputChannel::gainStep, step));
}

SourceResult selectSource(DeviceState& s, EditSink& sink, int channel, int source) {
    return editInput(s, sink, channel, &InputChannel::danteSource, source).applied ? SourceResult::Stored
                                                                                   : SourceResult::Conflict;
}

bool togglePhantomFromPage(DeviceState& s, EditSink& sink, int channel) {
    if (channel < 1 || channel > kPhantomPageChannels) return false;
    EditOptions one;
    one.linkCopies = false;
    editInput(s, sink, channel, &InputChannel::phantom, s.in(channel).phantom ? 0 : 1, one);
    return s.in(channel).phantom != 0;
}

void setInputName(DeviceState& s, EditSink& sink, int channel, std::string_view gbkName) {
    if (inputOk(channel)) editName(s, sink, s.in(channel).name, gbkName);
}

std::vector<std::string> gainStepLabels(int channel) {
    if (gainStepCount(channel) == 4) return {"15 dB", "25 dB", "35 dB", "45 dB"};
    return {"0 dB", "10 dB"};
}

EditResult setOutputLevel(DeviceState& s, EditSink& sink, int output, int level) {
    return asResult(editOutput(s, sink, output, &OutputChannel::level, level));
}

EditResult setOutputMute(DeviceState& s, EditSink& sink, int output, bool mute) {
    return asResult(editOutput(s, sink, output, &OutputChannel::mute, mute ? 1 : 0));
}

EditResult setOutputFbk(DeviceState& s, EditSink& sink, int output, bool on) {
    return asResult(editOutput(s, sink, output, &OutputChannel::outSwitchK, on ? 1 : 0));
}

EditResult setOutputLineLevel(DeviceState& s, EditSink& sink, int output, bool line) {
    return asResult(editOutput(s, sink, output, &OutputChannel::lineLevel, line ? 1 : 0));
}

EditResult setOutputDelay(DeviceState& s, EditSink& sink, int output, int index) {
    return asResult(editOutput(s, sink, output, &OutputChannel::outSwitchJ, index));
}

void setOutputName(DeviceState& s, EditSink& sink, int output, std::string_view gbkName) {
    if (outputOk(output)) editName(s, sink, s.out(output).name, gbkName);
}

std::string delayLabel(int index) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0.1f ms", index * 0.5);
    return buf;
}

} // namespace quorvel
