// DeviceState as one JSON object, keys as the field registry names them; names as UTF-8.
#pragma once

#include <string>

#include "link/device_state.h"

namespace quorvel {

std::string stateToJson(const DeviceState& s);

}  // namespace quorvel
