// What every page is built with: the state it shows, the one edit path into it, the link and the
// profile, and the navigation it shares with the shell. The page host hands the same context to
// every factory.
#pragma once

#include "link/device_state.h"

namespace quorvel {
class EditSink;
class PresetStore;
} // namespace quorvel

namespace quorvel::ui {

class EditController;
class LinkAdapter;
class NavigationModel;
class Profile;

struct PageContext {
    DeviceState& state;
    EditSink& sink;        // frames of an edit go here (the paced sender in the application)
    EditController& edits; // the one edit operation and the change notification
    LinkAdapter& link;
    const Profile& profile;
    NavigationModel& nav;
    PresetStore* presets = nullptr; // the preset lists' library; none: they only offer SAVE PRESET
};

} // namespace quorvel::ui
