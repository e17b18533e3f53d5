// Mute and control groups: membership editing, the copies a control group makes of an edit, the
// mute-group switches and the CLEAR MUTE / CLEAR SOLO sweeps. Groups are never sent by themselves;
// they reach the device only through the commands of the members they change.
#pragma once

#include <string_view>
#include <vector>

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/edit_sink.h"

namespace quorvel {

// What an input strip edit copies to the other members of its control group.
enum class InputLinkKind { Level = 1, Pan = 2, Mute = 3, Phantom = 4, GainStep = 5, Priority = 6 };
// What an output strip edit copies to the other member outputs.
enum class OutputLinkKind { Level = 1, LineLevel = 2, Fbk = 3, Mute = 4, Delay = 5 };

// The link flag element that governs a kind; -1 for pan, which no flag carries.
int linkFlagFor(InputLinkKind kind);
int linkFlagFor(OutputLinkKind kind);

// The control group (0..3) holding input record `channel` (1..18) or output `output` (1..8);
// the first such group when a careless edit put it in several, -1 when none.
int controlGroupOfInput(const DeviceState& s, int channel);
int controlGroupOfOutput(const DeviceState& s, int output);

// The other members that an edit of `channel` / `output` is copied to, in list order: empty
// unless the channel's group has `flagElement` on. Other pages (equaliser, dynamics, limiter)
// use these with their own flag to find where their copies go.
std::vector<int> linkedInputs(const DeviceState& s, int channel, int flagElement);
std::vector<int> linkedOutputs(const DeviceState& s, int output, int flagElement);

// Copies the value of `kind` from `channel` to the linked members and, while online, queues each
// member's command followed by the member pause. Returns the members changed in DeviceState
// (a line-input member refusing a microphone gain step is not among them). A thin wrapper over
// applyLinkCopies (link/edit.h); it goes once the strips edit through applyEdit.
std::vector<int> propagateInput(DeviceState& s, EditSink& sink, int channel, InputLinkKind kind);
std::vector<int> propagateOutput(DeviceState& s, EditSink& sink, int output, OutputLinkKind kind);

// Gain steps a channel offers: four microphone steps on 1..8, two line steps from 9 up.
int gainStepCount(int channel);

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
// Clears every source's solo; the device learns it through K for output records 1..6.
ChangeSet clearSolo(DeviceState& s, EditSink& sink);

// The A channel number that carries source `record` (1..18): 1..16, then 27 and 29 for the two
// effect returns.
int muteChannelOfSource(int record);

} // namespace quorvel
