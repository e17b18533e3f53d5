#include "remote/link_host.h"

#include <utility>

#include "admin/scene_library.h"
#include "link/report_changes.h"
#include "presets/preset_store.h"
#include "remote/preset_recall.h"

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
    surfaces_.changed(shownChanges(r));
    surfaces_.reported(r);
}

EditOutcome LinkHost::applied(EditOutcome o) {
    if (o.applied) {
        if (!state_.link.linkOnline) surfaces_.editedOffline();
        surfaces_.changed(o.changed);
    }
    return o;
}

EditOutcome LinkHost::edit(FieldId field, std::int32_t raw) {
    return applied(applyEdit(state_, sink_, field, raw));
}

EditOutcome LinkHost::editName(FieldId field, std::string_view gbk) {
    return applied(applyNameEdit(state_, sink_, field, gbk));
}

void LinkHost::setRecallSources(PresetStore* store, std::filesystem::path dataDir) {
    store_ = store;
    dataDir_ = std::move(dataDir);
}

bool LinkHost::recall(std::string_view kind, std::string_view name, int channel, std::string& error) {
    if (!store_) {
        error = "no preset store in the data directory";
        return false;
    }
    if (upload_) {
        error = "the device is still receiving a scene";
        return false;
    }
    if (isSceneKind(kind)) return recallScene(name, error);
    auto r = recallPreset(*store_, kind, name, channel, state_, sink_, error);
    if (!r) return false;
    if (!state_.link.linkOnline) surfaces_.editedOffline();
    surfaces_.changed(r->changes);
    return true;
}

bool LinkHost::recallScene(std::string_view idOrName, std::string& error) {
    // Recall never deletes, so the library needs no way to the trash.
    SceneLibrary library(*store_, dataDir_, [](const std::filesystem::path&, std::string& why) {
        why = "not here";
        return false;
    });
    int id = 0;
    for (const SceneSlot& slot : library.list())
        if (std::to_string(slot.id) == idOrName || slot.name == idOrName) {
            id = slot.id;
            break;
        }
    if (id == 0) {
        error = "no scene \"" + std::string(idOrName) + "\"";
        return false;
    }
    const SceneResult r = library.recall(id, state_);
    if (!r.ok()) {
        error = r.message.empty() ? "the scene could not be recalled" : r.message;
        return false;
    }
    surfaces_.changed(ChangeSet::everything());
    // As the window does it: the whole model in one paced transfer; offline only the model changes.
    if (state_.link.linkOnline) {
        upload_ = std::make_unique<BulkUpload>(state_);
        pumpUpload();
    } else {
        surfaces_.editedOffline();
    }
    return true;
}

void LinkHost::pumpUpload() {
    if (!upload_) return;
    upload_->pump(sink_, link_.senderIdle());
    if (upload_->finished()) upload_.reset();
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
    st.reportRateHz = st.online ? surfaces_.reportRateHz() : 0;
    st.pendingEdits = surfaces_.pendingEdits();
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
        pumpUpload();
        if (!work.empty()) continue; // what they did may have queued more
        std::unique_lock lock(mutex_);
        auto ready = [&] { return woken_ || stop_ || !posted_.empty(); };
        auto next = link_.nextDeadline();
        // The sender gives no word when it drains, so a transfer looks again after each step's pause.
        if (upload_) {
            const auto soon = Steady::now() + std::chrono::milliseconds(5);
            if (!next || soon < *next) next = soon;
        }
        if (next)
            cv_.wait_until(lock, *next, ready);
        else
            cv_.wait(lock, ready);
    }
}

} // namespace quorvel::remote
