// Field ids by path, for the pages that bind controls. The only place that turns a registry entry
// into its id.
#pragma once

#include <string_view>

#include "link/change_set.h"

namespace quorvel::ui {

inline constexpr FieldId kNoField = static_cast<FieldId>(-1);

// kNoField when the registry has no such path.
FieldId fieldId(std::string_view path);
// "input[channel].name" and "output[output].name", channel and output 1-based as on the wire.
FieldId inputField(int channel, std::string_view name);
FieldId outputField(int output, std::string_view name);

} // namespace quorvel::ui
