#include "mixing/groups.h"

#include <cstddef>

namespace quorvel {
namespace {

constexpr int kMuteGroupFirstOutput = 18;
constexpr int kMuteGroupInputs = kAnalogInputs; // elements 0..11
constexpr int kCheckedInputs = 16;              // inputs refused beside outputs
constexpr int kReturnDelayChannel = 27;
constexpr int kReturnReverbChannel = 29;

bool validGroup(int group, int count) {
    return group >= 0 && group < count;
}

std::int32_t& cgElement(DeviceState& s, int group, int element) {
    return s.controlGroups[static_cast<std::size_t>(group)][static_cast<std::size_t>(element)];
}
std::int32_t cgElement(const DeviceState& s, int group, int element) {
    return s.controlGroups[static_cast<std::size_t>(group)][static_cast<std::size_t>(element)];
}

int outputChannelNumber(int output) {
    return output + kAnalogInputs;
}

} // namespace

int linkFlagFor(InputLinkKind kind) {
    switch (kind) {
    case InputLinkKind::Level:
    case InputLinkKind::Mute:
        return cg::kLinkVolume;
    case InputLinkKind::Phantom:
        return cg::kLinkPhantom;
    case InputLinkKind::GainStep:
        return cg::kLinkGain;
    case InputLinkKind::Priority:
        return cg::kLinkPriority;
    case InputLinkKind::Pan:
        return -1;
    }
    return -1;
}

int linkFlagFor(OutputLinkKind kind) {
    switch (kind) {
    case OutputLinkKind::Level:
    case OutputLinkKind::Mute:
        return cg::kLinkVolume;
    case OutputLinkKind::LineLevel:
        return cg::kLinkLine;
    case OutputLinkKind::Fbk:
        return cg::kLinkFbk;
    case OutputLinkKind::Delay:
        return cg::kLinkDelay;
    }
    return -1;
}

int controlGroupOfInput(const DeviceState& s, int channel) {
    if (channel < 1 || channel > kInputRecords) return -1;
    for (int g = 0; g < kControlGroups; ++g)
        if (cgElement(s, g, channel - 1)) return g;
    return -1;
}

int controlGroupOfOutput(const DeviceState& s, int output) {
    if (output < 1 || output > kOutputRecords) return -1;
    for (int g = 0; g < kControlGroups; ++g)
        if (cgElement(s, g, cg::kFirstOutput + output - 1)) return g;
    return -1;
}

std::vector<int> linkedInputs(const DeviceState& s, int channel, int flagElement) {
    std::vector<int> members;
    const int g = controlGroupOfInput(s, channel);
    if (g < 0 || flagElement < 0 || flagElement >= kControlGroupWords || !cgElement(s, g, flagElement))
        return members;
    for (int m = 1; m <= kInputRecords; ++m)
        if (m != channel && cgElement(s, g, m - 1)) members.push_back(m);
    return members;
}

std::vector<int> linkedOutputs(const DeviceState& s, int output, int flagElement) {
    std::vector<int> members;
    const int g = controlGroupOfOutput(s, output);
    if (g < 0 || flagElement < 0 || flagElement >= kControlGroupWords || !cgElement(s, g, flagElement))
        return members;
    for (int m = 1; m <= kOutputRecords; ++m)
        if (m != output && cgElement(s, g, cg::kFirstOutput + m - 1)) members.push_back(m);
    return members;
}

int gainStepCount(int channel) {
    return channel >= 1 && channel <= 8 ? 4 : 2;
}

std::vector<int> propagateInput(DeviceState& s, EditSink& sink, int channel, InputLinkKind kind) {
    std::vector<int> changed;
    if (kind == InputLinkKind::Pan) return changed;
    const InputChannel& from = s.in(channel);
    for (int m : linkedInputs(s, channel, linkFlagFor(kind))) {
        InputChannel& to = s.in(m);
        std::string frame;
        switch (kind) {
        case InputLinkKind::Level:
            to.level = from.level;
            if (m <= kAnalogInputs) frame = buildA(s, m);
            break;
        case InputLinkKind::Mute:
            to.mute = from.mute;
            if (m <= kAnalogInputs) frame = buildA(s, m);
            break;
        case InputLinkKind::Phantom:
            to.phantom = from.phantom;
            frame = buildO(s, m);
            break;
        case InputLinkKind::GainStep:
            // A line input has no microphone steps: it keeps its own step rather than take one
            // it cannot run with.
            if (from.gainStep >= gainStepCount(m)) continue;
            to.gainStep = from.gainStep;
            frame = buildO(s, m);
            break;
        case InputLinkKind::Priority:
            to.priority = from.priority;
            if (m <= 8) frame = buildL(s, m);
            break;
        case InputLinkKind::Pan:
            break;
        }
        changed.push_back(m);
        queueIfOnline(s, sink, std::move(frame), kMemberPause);
    }
    return changed;
}

std::vector<int> propagateOutput(DeviceState& s, EditSink& sink, int output, OutputLinkKind kind) {
    std::vector<int> changed;
    const OutputChannel& from = s.out(output);
    for (int m : linkedOutputs(s, output, linkFlagFor(kind))) {
        OutputChannel& to = s.out(m);
        std::string frame;
        switch (kind) {
        case OutputLinkKind::Level:
            to.level = from.level;
            frame = buildA(s, outputChannelNumber(m));
            break;
        case OutputLinkKind::Mute:
            to.mute = from.mute;
            frame = buildA(s, outputChannelNumber(m));
            break;
        case OutputLinkKind::LineLevel:
            to.lineLevel = from.lineLevel;
            frame = buildI(s, m);
            break;
        case OutputLinkKind::Fbk:
            to.outSwitchK = from.outSwitchK;
            frame = buildK(s, m);
            break;
        case OutputLinkKind::Delay:
            to.outSwitchJ = from.outSwitchJ;
            frame = buildJ(s, m);
            break;
        }
        changed.push_back(m);
        queueIfOnline(s, sink, std::move(frame), kMemberPause);
    }
    return changed;
}

ToggleResult toggleControlMember(DeviceState& s, int group, int element) {
    if (!validGroup(group, kControlGroups) || element < 0 || element >= cg::kMemberCount)
        return ToggleResult::NoGroup;
    std::int32_t& flag = cgElement(s, group, element);
    if (!flag) {
        if (element < kCheckedInputs) {
            for (int o = cg::kFirstOutput; o < cg::kMemberCount; ++o)
                if (cgElement(s, group, o)) return ToggleResult::Refused;
        } else if (element >= cg::kFirstOutput) {
            for (int i = 0; i < kAnalogInputs; ++i)
                if (cgElement(s, group, i)) return ToggleResult::Refused;
        }
    }
    flag = flag ? 0 : 1;
    std::int32_t& count = cgElement(s, group, cg::kMemberCount);
    count += flag ? 1 : -1;
    if (count < 0) count = 0; // a scene file may have carried a count that does not match
    return flag ? ToggleResult::Added : ToggleResult::Removed;
}

ToggleResult toggleMuteMember(DeviceState& s, int group, int element) {
    if (!validGroup(group, kMuteGroups)) return ToggleResult::NoGroup;
    const bool input = element >= 0 && element < kMuteGroupInputs;
    const bool output = element >= kMuteGroupFirstOutput && element < kMuteGroupFirstOutput + kOutputRecords;
    if (!input && !output) return ToggleResult::NoGroup;
    std::int32_t& flag = s.muteGroups[static_cast<std::size_t>(group)][static_cast<std::size_t>(element)];
    flag = flag ? 0 : 1;
    return flag ? ToggleResult::Added : ToggleResult::Removed;
}

bool isLinkFlagElement(int element) {
    switch (element) {
    case cg::kLinkVolume:
    case cg::kLinkEq:
    case cg::kLinkComp:
    case cg::kLinkLimit:
    case cg::kLinkGain:
    case cg::kLinkPriority:
    case cg::kLinkPhantom:
    case cg::kLinkSource:
    case cg::kLinkLine:
    case cg::kLinkFbk:
    case cg::kLinkDelay:
        return true;
    default:
        return false;
    }
}

bool toggleLinkFlag(DeviceState& s, int group, int element) {
    if (!validGroup(group, kControlGroups) || !isLinkFlagElement(element)) return false;
    std::int32_t& flag = cgElement(s, group, element);
    flag = flag ? 0 : 1;
    return true;
}

void setMuteGroup(DeviceState& s, EditSink& sink, int group, bool on) {
    if (!validGroup(group, kMuteGroups)) return;
    const MuteGroup& g = s.muteGroups[static_cast<std::size_t>(group)];
    const std::int32_t mute = on ? 1 : 0;
    for (int c = 1; c <= kMuteGroupInputs; ++c) {
        if (!g[static_cast<std::size_t>(c - 1)]) continue;
        s.in(c).mute = mute;
        queueIfOnline(s, sink, buildA(s, c), kMemberPause);
    }
    for (int o = 1; o <= kOutputRecords; ++o) {
        if (!g[static_cast<std::size_t>(kMuteGroupFirstOutput + o - 1)]) continue;
        s.out(o).mute = mute;
        queueIfOnline(s, sink, buildA(s, outputChannelNumber(o)), kMemberPause);
    }
}

int muteChannelOfSource(int record) {
    if (record == 17) return kReturnDelayChannel;
    if (record == 18) return kReturnReverbChannel;
    return record;
}

void clearMute(DeviceState& s, EditSink& sink) {
    // Everything is cleared before the first frame is built: A 13..16 read the output records,
    // and must not carry a mute that the sweep is about to clear.
    for (int r = 1; r <= kInputRecords; ++r)
        s.in(r).mute = 0;
    for (int o = 1; o <= kOutputRecords; ++o)
        s.out(o).mute = 0;
    // 26 frames in a row: paced like a group copy so the device keeps every one.
    for (int r = 1; r <= kInputRecords; ++r)
        queueIfOnline(s, sink, buildA(s, muteChannelOfSource(r)), kMemberPause);
    for (int o = 1; o <= kOutputRecords; ++o)
        queueIfOnline(s, sink, buildA(s, outputChannelNumber(o)), kMemberPause);
}

void clearSolo(DeviceState& s, EditSink& sink) {
    for (int r = 1; r <= kInputRecords; ++r)
        s.in(r).solo = 0;
    // Output records 0 and 1 (0-based) carry nothing; records 2..7 go out as K 1..6.
    for (int j = 2; j <= 7; ++j)
        queueIfOnline(s, sink, buildK(s, j - 1), kMemberPause);
}

} // namespace quorvel
