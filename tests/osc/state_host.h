// A RemoteHost over a bare DeviceState for tests, the fuzzer and the benchmark: edits through the
// one edit operation into a sink, posted work queued until the owner pumps it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "link/edit.h"
#include "remote/remote_host.h"

namespace quorvel::osc::rig {

class StateHost : public remote::RemoteHost {
public:
    explicit StateHost(EditSink& sink) : sink_(sink) {
        loadFactoryDefaults(state_, 1);
        state_.link.linkOnline = true;
    }

    DeviceState& mutableState() { return state_; }
    const DeviceState& state() const override { return state_; }
    EditOutcome edit(FieldId field, std::int32_t raw) override {
        EditOutcome out = applyEdit(state_, sink_, field, raw);
        tell(out);
        return out;
    }
    EditOutcome editName(FieldId field, std::string_view gbk) override {
        EditOutcome out = applyNameEdit(state_, sink_, field, gbk);
        tell(out);
        return out;
    }
    bool recall(std::string_view, std::string_view, int, std::string& error) override {
        error = "no presets here";
        return false;
    }
    void connect() override {}
    void disconnect() override {}
    remote::LinkStatus status() const override { return {state_.link.linkOnline, "127.0.0.2", 20, 0}; }
    void post(std::function<void()> fn) override {
        {
            std::lock_guard lock(mutex_);
            posted_.push_back(std::move(fn));
            ++posts_;
        }
        cv_.notify_all();
    }

    void setListener(remote::RemoteListener* l) { listener_ = l; }
    // Runs what was posted so far, on the calling (owner) thread; returns how many ran.
    int pump() {
        std::deque<std::function<void()>> run;
        {
            std::lock_guard lock(mutex_);
            run.swap(posted_);
        }
        for (auto& fn : run)
            fn();
        return static_cast<int>(run.size());
    }
    // Waits until something is posted (true) or the time is up.
    bool waitPosted(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [this] { return !posted_.empty(); });
    }
    int posts() const {
        std::lock_guard lock(mutex_);
        return posts_;
    }

private:
    void tell(const EditOutcome& out) {
        if (listener_ && !out.changed.empty()) listener_->fieldsChanged(out.changed);
    }

    DeviceState state_;
    EditSink& sink_;
    remote::RemoteListener* listener_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> posted_;
    int posts_ = 0;
};

} // namespace quorvel::osc::rig
