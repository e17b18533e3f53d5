// Conference microphone units: which input channel or M target each of a unit's five slots
// carries, calling a unit, clearing every assignment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "admin/unit_table.h"
#include "link/device_state.h"
#include "link/edit.h"

namespace quorvel {

// X frames of a reset follow each other this far apart.
inline constexpr std::chrono::milliseconds kUnitResetPause{100};

// Unit 1..4, slot 1..5: through the edit operation, so a value another slot holds is refused
// with kUnitTakenMessage and X goes out only while online.
EditOutcome assignUnitSlot(DeviceState& s, EditSink& sink, int unit, int slot, int value);
// W for unit 1..4 whatever the link state (the device answers a call even before a handshake);
// false, nothing queued, for any other unit.
bool callUnit(EditSink& sink, int unit);
// Every slot NULL; while online X for units 1..4, each followed by kUnitResetPause.
ChangeSet resetUnits(DeviceState& s, EditSink& sink);

} // namespace quorvel
