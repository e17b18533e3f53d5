// The conference unit table's values and its one invariant, apart from the edits that change it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/device_state.h"

namespace quorvel {

inline constexpr int kUnitSlotValues = 17; // NULL, CH01..CH12, M01..M04

// "NULL", "CH01".."CH12", "M01".."M04" for 0..16; "" outside.
std::string unitSlotText(int value);
// The same texts (any case) or the number 0..16.
std::optional<int> parseUnitSlotValue(std::string_view text);
// Values 0..16 with no non-zero value twice in the table.
bool unitsValid(const DeviceState& s, std::string* why = nullptr);

} // namespace quorvel
