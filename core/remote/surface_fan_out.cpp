#include "remote/surface_fan_out.h"

namespace quorvel::remote {

void SurfaceFanOut::changed(const ChangeSet& changes) {
    if (changes.empty()) return;
    for (RemoteListener* l : listeners_)
        l->fieldsChanged(changes);
}

void SurfaceFanOut::reported(const DispatchResult& r, Clock::time_point now) {
    if (r.wentOnline) pendingEdits_ = 0; // the device's full state has replaced ours
    if (r.kind != ReportKind::Status) return;
    statusTimes_.push_back(now);
    while (!statusTimes_.empty() && now - statusTimes_.front() > std::chrono::seconds(1))
        statusTimes_.pop_front();
    for (RemoteListener* l : listeners_)
        l->metersUpdated();
}

} // namespace quorvel::remote
