// Factory settings for the device as a whole.
#pragma once

#include "link/change_set.h"
#include "link/device_state.h"

namespace quorvel {

inline constexpr const char* kResetDoneMessage = "Reset successfully.";
inline constexpr const char* kResetDoneMessageZh = "恢复出厂设置成功.";

// Every parameter back to its factory value (inputs routed to all outputs, default names in the
// given language, the automixer's factory settings, no unit assignments). Kept: the link, the
// number of units the device reports, and SPAN TIME, which is this program's and not the device's.
// The caller uploads the result when online.
ChangeSet applyFactoryReset(DeviceState& s, int languageFlag);

} // namespace quorvel
