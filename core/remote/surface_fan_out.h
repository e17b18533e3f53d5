// What every owner of the device state does for its remote surfaces, the window and quorvelctl
// serve alike: tell each listener what changed, count the status reports of the last second (the
// most a meter subscription can follow) and the edits made while offline.
#pragma once

#include <chrono>
#include <deque>
#include <vector>

#include "link/change_set.h"
#include "link/reports.h"
#include "remote/remote_host.h"

namespace quorvel::remote {

class SurfaceFanOut {
public:
    using Clock = std::chrono::steady_clock;

    void addListener(RemoteListener* listener) { listeners_.push_back(listener); }
    void removeListener(RemoteListener* listener) { std::erase(listeners_, listener); }

    // To every listener; nothing for an empty set.
    void changed(const ChangeSet& changes);
    // A dispatched report: the device's full state clears the offline count; a status report
    // counts toward the rate and tells every listener the meters moved.
    void reported(const DispatchResult& r, Clock::time_point now = Clock::now());
    void editedOffline() { ++pendingEdits_; }

    int reportRateHz() const { return static_cast<int>(statusTimes_.size()); }
    int pendingEdits() const { return pendingEdits_; }

private:
    std::vector<RemoteListener*> listeners_;
    std::deque<Clock::time_point> statusTimes_; // the last second's
    int pendingEdits_ = 0;
};

} // namespace quorvel::remote
