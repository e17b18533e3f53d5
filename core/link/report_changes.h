// What a dispatched report wrote into DeviceState, as the fields the views must repaint: the
// report path's half of the one change notification.
#pragma once

#include "link/change_set.h"
#include "link/reports.h"

namespace quorvel {

// Full state and names: everything. Status: the meters, channelOpen and lastOpen the frame holds
// values for. Levels: the output level, mute and lineLevel, the input levels and the report number
// its sections hold. Anything else (ignored, rejected): nothing. Read from what the parser noted in
// the result, so the report's layout is known in one place.
ChangeSet reportChanges(const DispatchResult& r);

// What the views follow of it: the same, except that a levels report while offline moves no
// fader (it still lands in DeviceState), so nothing is announced for it.
ChangeSet shownChanges(const DispatchResult& r);

} // namespace quorvel
