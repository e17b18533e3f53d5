// Which fields a device report wrote, so the report reaches the views through the same change
// notification as an edit.
#pragma once

#include "link/change_set.h"
#include "link/reports.h"

namespace quorvel::ui {

// Full state and names: everything. Levels: the faders' level, the outputs' mute and line level
// (nothing while the link is offline: the faders stay where the user left them). Status: the
// automixer state words of channels 1..8; the meters are not announced, they repaint on their own
// path at report rate.
ChangeSet reportChanges(const DispatchResult& r);

} // namespace quorvel::ui
