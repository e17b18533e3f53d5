// What a double click on a fader or knob puts back: the value the block's RESET (or, for the
// channel faders and the pan, a fresh device) gives. Fields without such a value have none.
#pragma once

#include <cstdint>
#include <optional>

#include "link/change_set.h"

namespace quorvel {

std::optional<std::int32_t> knobDefault(FieldId field);

} // namespace quorvel
