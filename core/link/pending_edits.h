// Edits made while the link was down: which fields the device has not had, and the computer's
// state as it stood after the last of them. A full-state report overwrites DeviceState when the
// link comes back, so a push must start from this copy, not from what DeviceState then holds.
#pragma once

#include <cstddef>
#include <memory>
#include <unordered_set>

#include "link/change_set.h"
#include "link/device_state.h"

namespace quorvel {

class PendingEdits {
public:
    // A user change while offline; `after` is DeviceState once it was made.
    void note(const ChangeSet& changes, const DeviceState& after);
    // Fields changed, each counted once however often it moved; a change of everything (a scene
    // load) counts every field.
    std::size_t count() const;
    bool empty() const { return !all_ && fields_.empty(); }
    void clear();

    // The computer's state at the last offline edit; null when nothing waits.
    const DeviceState* localState() const { return local_.get(); }
    // Puts the computer's settings back into s, keeping what belongs to the link and to the device
    // itself (its versions, its report counter). False when nothing waits.
    bool restoreInto(DeviceState& s) const;

private:
    std::unordered_set<FieldId> fields_;
    bool all_ = false;
    std::unique_ptr<DeviceState> local_;
};

} // namespace quorvel
