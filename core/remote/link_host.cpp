#include "remote/link_host.h"

#include <utility>

#include "link/report_changes.h"

namespace quorvel::remote {

using Steady = std::chrono::steady_clock;

LinkHost::LinkHost(DeviceState& state, DeviceLink& link, DeviceLink::ReportObserver reports)
    : state_(state), link_(link), reports_(std::move(reports)), sink_([this](OutgoingFrame frame) {
          if (!link_.send(std::move(frame))) ++sendFailures_;
      }) {
    link_.setWake([this] {
        {
            std::lock_guard lock(mutex_);
            woken_ = true;
        }
        cv_.notify_one();
    });
    link_.setReportObserver([this](std::string_view frame, const DispatchResult& r) { onReport(frame, r); });
}

void LinkHost::onReport(std::string_view frame, const DispatchResult& r) {
    if (reports_) reports_(frame, r);
    if (r.wentOnline) pendingEdits_ = 0; // the device's full state has replaced ours
    notify(shownChanges(r));
    if (r.kind == ReportKind::Status) {
        const auto now = Steady::now();
        statusTimes_.push_back(now);
        while (!statusTimes_.empty() && now - statusTimes_.front() > std::chrono::seconds(1))
            statusTimes_.pop_front();
        for (RemoteListener* l : listeners_)
            l->metersUpdated();
    }
}

void LinkHost::notify(const ChangeSet& changes) {
    if (changes.empty()) return;
    for (RemoteListener* l : listeners_)
        l->fieldsChanged(changes);
}

EditOutcome LinkHost::applied(EditOutcome o) {
    if (o.applied) {
        if (!state_.link.linkOnline) ++pendingEdits_;
        notify(o.changed);
    }
    return o;
}

EditOutcome LinkHost::edit(FieldId field, std::int32_t raw) {
    return applied(applyEdit(state_, sink_, field, raw));
}

EditOutcome LinkHost::editName(FieldId field, std::string_view gbk) {
    return applied(applyNameEdit(state_, sink_, field, gbk));
}

bool LinkHost::recall(std::string_view, std::string_view, int, std::string& error) {
    // Presets and scenes live in the application's store; a rack machine has none of its own.
    error = "recall is served by the application, which holds the preset store";
    return false;
}

void LinkHost::connect() {
    if (!state_.link.linkOnline && !link_.connection().connecting()) link_.connect();
}

void LinkHost::disconnect() {
    if (state_.link.linkOnline || link_.connection().connecting()) link_.connection().disconnect();
}

LinkStatus LinkHost::status() const {
    LinkStatus st;
    st.online = state_.link.linkOnline;
    st.deviceAddress = state_.link.hostAddress;
    st.reportRateHz = st.online ? static_cast<int>(statusTimes_.size()) : 0;
    st.pendingEdits = pendingEdits_;
    return st;
}

void LinkHost::post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(fn));
        woken_ = true;
    }
    cv_.notify_one();
}

void LinkHost::stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cv_.notify_one();
}

void LinkHost::run() {
    for (;;) {
        link_.tick();
        link_.deliverPending();
        std::deque<std::function<void()>> work;
        {
            std::unique_lock lock(mutex_);
            if (stop_) return;
            work.swap(posted_);
            woken_ = false;
        }
        for (auto& fn : work)
            fn();
        if (!work.empty()) continue; // what they did may have queued more
        std::unique_lock lock(mutex_);
        auto ready = [&] { return woken_ || stop_ || !posted_.empty(); };
        if (auto next = link_.nextDeadline())
            cv_.wait_until(lock, *next, ready);
        else
            cv_.wait(lock, ready);
    }
}

} // namespace quorvel::remote
