#include "processing/strip_ops.h"

#include <algorithm>
#include <cstdio>

namespace quorvel {
namespace {

constexpr int kLevelMax = 70;
constexpr int kPanMax = 200;
constexpr int kDanteInputs = 4;
constexpr int kPriorityChannels = 8; // L is only meaningful where the automixer runs
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

} // namespace

EditResult setInputLevel(DeviceState& s, EditSink& sink, int channel, int level) {
    if (!inputOk(channel)) return {};
    s.in(channel).level = std::clamp(level, 0, kLevelMax);
    if (analog(channel)) queueIfOnline(s, sink, buildA(s, channel));
    return {propagateInput(s, sink, channel, InputLinkKind::Level)};
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
    if (!inputOk(channel)) return {};
    s.in(channel).mute = mute ? 1 : 0;
    if (analog(channel)) queueIfOnline(s, sink, buildA(s, channel));
    return {propagateInput(s, sink, channel, InputLinkKind::Mute)};
}

EditResult setInputPan(DeviceState& s, EditSink& sink, int channel, int pan) {
    if (!inputOk(channel)) return {};
    s.in(channel).pan = std::clamp(pan, 0, kPanMax);
    queueIfOnline(s, sink, buildL(s, channel));
    return {};
}

EditResult setInputPriority(DeviceState& s, EditSink& sink, int channel, bool on) {
    if (!inputOk(channel)) return {};
    s.in(channel).priority = on ? 1 : 0;
    if (channel <= kPriorityChannels) queueIfOnline(s, sink, buildL(s, channel));
    return {propagateInput(s, sink, channel, InputLinkKind::Priority)};
}

EditResult setInputPhantom(DeviceState& s, EditSink& sink, int channel, bool on) {
    if (!inputOk(channel)) return {};
    s.in(channel).phantom = on ? 1 : 0;
    queueIfOnline(s, sink, buildO(s, channel));
    return {propagateInput(s, sink, channel, InputLinkKind::Phantom)};
}

EditResult setGainStep(DeviceState& s, EditSink& sink, int channel, int step) {
    if (!inputOk(channel) || step < 0 || step >= gainStepCount(channel)) return {};
    s.in(channel).gainStep = step;
    queueIfOnline(s, sink, buildO(s, channel));
    return {propagateInput(s, sink, channel, InputLinkKind::GainStep)};
}

SourceResult selectSource(DeviceState& s, EditSink& sink, int channel, int source) {
    if (!inputOk(channel) || source < 0 || source > kDanteInputs) return SourceResult::Conflict;
    if (source > 0) {
        for (int c = 1; c <= kAnalogInputs; ++c)
            if (c != channel && s.in(c).danteSource == source) return SourceResult::Conflict;
    }
    s.in(channel).danteSource = source;
    queueIfOnline(s, sink, buildO(s, channel));
    return SourceResult::Stored;
}

bool togglePhantomFromPage(DeviceState& s, EditSink& sink, int channel) {
    if (channel < 1 || channel > kPhantomPageChannels) return false;
    InputChannel& ch = s.in(channel);
    ch.phantom = ch.phantom ? 0 : 1;
    queueIfOnline(s, sink, buildO(s, channel));
    return ch.phantom != 0;
}

void setInputName(DeviceState& s, EditSink& sink, int channel, std::string_view gbkName) {
    if (!inputOk(channel)) return;
    setName(s.in(channel).name, gbkName);
    if (!analog(channel)) return;
    std::string text = buildV(s, channel);
    if (!s.link.linkOnline || text.empty()) return;
    sink.queue(OutgoingFrame{std::move(text), kCommandPause, true});
}

std::vector<std::string> gainStepLabels(int channel) {
    if (gainStepCount(channel) == 4) return {"15 dB", "25 dB", "35 dB", "45 dB"};
    return {"0 dB", "10 dB"};
}

EditResult setOutputLevel(DeviceState& s, EditSink& sink, int output, int level) {
    if (!outputOk(output)) return {};
    s.out(output).level = std::clamp(level, 0, kLevelMax);
    queueIfOnline(s, sink, buildA(s, output + kAnalogInputs));
    return {propagateOutput(s, sink, output, OutputLinkKind::Level)};
}

EditResult setOutputMute(DeviceState& s, EditSink& sink, int output, bool mute) {
    if (!outputOk(output)) return {};
    s.out(output).mute = mute ? 1 : 0;
    queueIfOnline(s, sink, buildA(s, output + kAnalogInputs));
    return {propagateOutput(s, sink, output, OutputLinkKind::Mute)};
}

EditResult setOutputFbk(DeviceState& s, EditSink& sink, int output, bool on) {
    if (!outputOk(output)) return {};
    s.out(output).outSwitchK = on ? 1 : 0;
    queueIfOnline(s, sink, buildK(s, output));
    return {propagateOutput(s, sink, output, OutputLinkKind::Fbk)};
}

EditResult setOutputLineLevel(DeviceState& s, EditSink& sink, int output, bool line) {
    if (!outputOk(output)) return {};
    s.out(output).lineLevel = line ? 1 : 0;
    queueIfOnline(s, sink, buildI(s, output));
    return {propagateOutput(s, sink, output, OutputLinkKind::LineLevel)};
}

EditResult setOutputDelay(DeviceState& s, EditSink& sink, int output, int index) {
    if (!outputOk(output) || index < 0 || index >= kDelaySteps) return {};
    s.out(output).outSwitchJ = index;
    queueIfOnline(s, sink, buildJ(s, output));
    return {propagateOutput(s, sink, output, OutputLinkKind::Delay)};
}

void setOutputName(DeviceState& s, EditSink& sink, int output, std::string_view gbkName) {
    if (!outputOk(output)) return;
    setName(s.out(output).name, gbkName);
    std::string text = buildV(s, output + kAnalogInputs);
    if (!s.link.linkOnline || text.empty()) return;
    sink.queue(OutgoingFrame{std::move(text), kCommandPause, true});
}

std::string delayLabel(int index) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0.1f ms", index * 0.5);
    return buf;
}

} // namespace quorvel
