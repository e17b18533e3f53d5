// The device's reading of the application's commands: each letter is the inverse of its
// builder, so whatever the application stores and sends ends up in the device model.
#pragma once

#include <string_view>

#include "link/device_state.h"

namespace quorvel::sim {

struct ApplyResult {
    bool applied = false;       // a command letter the device acts on, well formed, in range
    bool levelsChanged = false; // something the levels report carries has changed
    int reportsSwitch = -1;     // Q: 0 stop, 1 resume
    int calledUnit = 0;         // W: the unit asked to call
};

// frame: one accepted frame ("%".."#"). Letters other than A..O, Q, V, W, X, and frames that are
// malformed or out of range, leave the model as it was and come back not applied.
ApplyResult applyCommand(DeviceState& s, std::string_view frame);

} // namespace quorvel::sim
