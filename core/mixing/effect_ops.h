// What the EFFECT page does to the two effects beyond single fields: RESET, sending a group after
// a recall, and which field each MUTE button switches. Single parameters and the MUTE buttons go
// through applyEdit like any field (N then y for the delay, M then v for the reverberation).
#pragma once

#include <optional>
#include <vector>

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/edit_sink.h"

namespace quorvel {

enum class Effect { Delay, Reverb };

// The group's parameter fields in fader order, then its two mute flags.
std::vector<FieldId> effectFields(Effect e);

// The frames of the group as the device needs them, while online: the automixer frame the page
// has always sent (N for the delay, M for the reverberation), then y or v with the values.
void queueEffectGroup(const DeviceState& s, EditSink& sink, Effect e);

// After a recall stored a preset's text: each parameter clamped into its range (a table written
// elsewhere may hold anything), then the group as RESET sends it.
ChangeSet storeRecalledEffect(DeviceState& s, EditSink& sink, Effect e);

// RESET: the group's parameters back to their RESET values (the mutes stay), then the group.
ChangeSet resetEffect(DeviceState& s, EditSink& sink, Effect e);

// The field a MUTE button switches: 1028 the reverberation's input (A 30), 1029 the delay's
// input (A 28), 1030 the reverberation return (A 29), 1031 the delay return (A 27).
std::optional<FieldId> effectMuteField(int buttonId);

} // namespace quorvel
