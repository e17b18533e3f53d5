// Mute and control groups: membership editing, the mute-group switches and the CLEAR MUTE /
// CLEAR SOLO sweeps. The copies a control group makes of an edit are applyEdit's (link/edit.h).
// Groups are never sent by themselves; they reach the device only through the commands of the
// members they change.
#pragma once

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/edit_sink.h"

namespace quorvel {

// ---- membership (the group page) ----

enum class ToggleResult { NoGroup, Refused, Added, Removed };

// group 0..3 (-1: none selected); element 0..17 inputs 1..18, 18..25 outputs 1..8. A control
// group holds inputs or outputs: an input 1..16 is refused while it has an output, an output
// while any of inputs 1..12 is in it (inputs 17 and 18, the effect returns, are not checked).
// Keeps the member count in step. Every toggle adds the group fields it wrote to `changed`.
ToggleResult toggleControlMember(DeviceState& s, int group, int element, ChangeSet* changed = nullptr);
// group 0..3; element 0..11 inputs 1..12, 18..25 outputs 1..8; any mix is accepted.
ToggleResult toggleMuteMember(DeviceState& s, int group, int element, ChangeSet* changed = nullptr);
// element: one of the cg::kLink* flags. False when the group or element is not one.
bool toggleLinkFlag(DeviceState& s, int group, int element, ChangeSet* changed = nullptr);
bool isLinkFlagElement(int element);

// ---- the sweeps ----
// Each returns the fields it wrote, like applyEdit; none copies to control-group members.

// Switches mute group `group` (0..3, as the page's selection counts) on (mutes every member) or
// off (unmutes them), queuing A per member.
ChangeSet setMuteGroup(DeviceState& s, EditSink& sink, int group, bool on);
// Clears the mute of the 18 sources (A with 1..16, 27, 29) and then of the outputs (A 13..20).
ChangeSet clearMute(DeviceState& s, EditSink& sink);
// The 26 mute frames CLEAR MUTE sends, as the state now stands (undo and redo send them again).
void queueMuteSweep(const DeviceState& s, EditSink& sink);
// Clears every source's solo; the device learns it through K for output records 1..6.
ChangeSet clearSolo(DeviceState& s, EditSink& sink);

// The A channel number that carries source `record` (1..18): 1..16, then 27 and 29 for the two
// effect returns.
int muteChannelOfSource(int record);

} // namespace quorvel
