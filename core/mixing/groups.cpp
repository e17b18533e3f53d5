#include "mixing/groups.h"

#include <cstddef>

#include "link/field_registry.h"

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

int outputChannelNumber(int output) {
    return output + kAnalogInputs;
}

// The id of a field of `s` given by reference; every field a sweep writes has one.
void note(ChangeSet* changed, const DeviceState& s, const std::int32_t& member) {
    if (!changed) return;
    if (auto id = FieldRegistry::instance().idOf(s, &member)) changed->add(*id);
}

} // namespace

ToggleResult toggleControlMember(DeviceState& s, int group, int element, ChangeSet* changed) {
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
    note(changed, s, flag);
    note(changed, s, count);
    return flag ? ToggleResult::Added : ToggleResult::Removed;
}

ToggleResult toggleMuteMember(DeviceState& s, int group, int element, ChangeSet* changed) {
    if (!validGroup(group, kMuteGroups)) return ToggleResult::NoGroup;
    const bool input = element >= 0 && element < kMuteGroupInputs;
    const bool output = element >= kMuteGroupFirstOutput && element < kMuteGroupFirstOutput + kOutputRecords;
    if (!input && !output) return ToggleResult::NoGroup;
    std::int32_t& flag = s.muteGroups[static_cast<std::size_t>(group)][static_cast<std::size_t>(element)];
    flag = flag ? 0 : 1;
    note(changed, s, flag);
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

bool toggleLinkFlag(DeviceState& s, int group, int element, ChangeSet* changed) {
    if (!validGroup(group, kControlGroups) || !isLinkFlagElement(element)) return false;
    std::int32_t& flag = cgElement(s, group, element);
    flag = flag ? 0 : 1;
    note(changed, s, flag);
    return true;
}

ChangeSet setMuteGroup(DeviceState& s, EditSink& sink, int group, bool on) {
    ChangeSet changed;
    if (!validGroup(group, kMuteGroups)) return changed;
    const MuteGroup& g = s.muteGroups[static_cast<std::size_t>(group)];
    const std::int32_t mute = on ? 1 : 0;
    for (int c = 1; c <= kMuteGroupInputs; ++c) {
        if (!g[static_cast<std::size_t>(c - 1)]) continue;
        s.in(c).mute = mute;
        note(&changed, s, s.in(c).mute);
        queueIfOnline(s, sink, buildA(s, c), kMemberPause);
    }
    for (int o = 1; o <= kOutputRecords; ++o) {
        if (!g[static_cast<std::size_t>(kMuteGroupFirstOutput + o - 1)]) continue;
        s.out(o).mute = mute;
        note(&changed, s, s.out(o).mute);
        queueIfOnline(s, sink, buildA(s, outputChannelNumber(o)), kMemberPause);
    }
    return changed;
}

int muteChannelOfSource(int record) {
    if (record == 17) return kReturnDelayChannel;
    if (record == 18) return kReturnReverbChannel;
    return record;
}

ChangeSet clearMute(DeviceState& s, EditSink& sink) {
    ChangeSet changed;
    // Everything is cleared before the first frame is built: A 13..16 read the output records,
    // and must not carry a mute that the sweep is about to clear.
    for (int r = 1; r <= kInputRecords; ++r) {
        s.in(r).mute = 0;
        note(&changed, s, s.in(r).mute);
    }
    for (int o = 1; o <= kOutputRecords; ++o) {
        s.out(o).mute = 0;
        note(&changed, s, s.out(o).mute);
    }
    queueMuteSweep(s, sink);
    return changed;
}

void queueMuteSweep(const DeviceState& s, EditSink& sink) {
    // 26 frames in a row: paced like a group copy so the device keeps every one.
    for (int r = 1; r <= kInputRecords; ++r) {
        queueIfOnline(s, sink, buildA(s, muteChannelOfSource(r)), kMemberPause);
        // The returns' A is bare: their mute state travels in the effect's own frame.
        if (r == kDelayRecord) queueIfOnline(s, sink, buildDelay(s), kMemberPause);
        if (r == kReverbRecord) queueIfOnline(s, sink, buildReverb(s), kMemberPause);
    }
    for (int o = 1; o <= kOutputRecords; ++o)
        queueIfOnline(s, sink, buildA(s, outputChannelNumber(o)), kMemberPause);
}

ChangeSet clearSolo(DeviceState& s, EditSink& sink) {
    ChangeSet changed;
    for (int r = 1; r <= kInputRecords; ++r) {
        s.in(r).solo = 0;
        note(&changed, s, s.in(r).solo);
    }
    // Output records 0 and 1 (0-based) carry nothing; records 2..7 go out as K 1..6.
    for (int j = 2; j <= 7; ++j)
        queueIfOnline(s, sink, buildK(s, j - 1), kMemberPause);
    return changed;
}

} // namespace quorvel
