// A RemoteHost that holds the device link itself, for a program without a window (quorvelctl
// serve). run() is the owner loop: it sleeps on a condition variable that the link's receive
// thread and post() wake, and otherwise only until the connection's next deadline.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "admin/bulk_upload.h"
#include "link/device_link.h"
#include "remote/remote_host.h"
#include "remote/surface_fan_out.h"

namespace quorvel {
class PresetStore;
}

namespace quorvel::remote {

class LinkHost final : public RemoteHost {
public:
    // Takes the link's wake-up and report observer; `reports` still sees every report.
    LinkHost(DeviceState& state, DeviceLink& link, DeviceLink::ReportObserver reports = {});

    void addListener(RemoteListener* listener) { surfaces_.addListener(listener); }
    void removeListener(RemoteListener* listener) { surfaces_.removeListener(listener); }
    // Where recall finds presets and scenes (the scene files sit in dataDir); without a store
    // recall answers that there is none.
    void setRecallSources(PresetStore* store, std::filesystem::path dataDir);
    bool uploading() const { return upload_ != nullptr; }

    // Serves until stop() is called (from any thread, a signal thread included).
    void run();
    void stop();

    const DeviceState& state() const override { return state_; }
    EditOutcome edit(FieldId field, std::int32_t raw) override;
    EditOutcome editName(FieldId field, std::string_view gbk) override;
    bool recall(std::string_view kind, std::string_view name, int channel, std::string& error) override;
    void connect() override;
    void disconnect() override;
    LinkStatus status() const override;
    void post(std::function<void()> fn) override;

    std::uint64_t sendFailures() const { return sendFailures_; }

private:
    void onReport(std::string_view frame, const DispatchResult& r);
    EditOutcome applied(EditOutcome o);
    EditSink& sink() { return sink_; }
    bool recallScene(std::string_view idOrName, std::string& error);
    void pumpUpload();

    DeviceState& state_;
    DeviceLink& link_;
    DeviceLink::ReportObserver reports_;
    CallbackSink sink_;
    SurfaceFanOut surfaces_;
    std::uint64_t sendFailures_ = 0;
    PresetStore* store_ = nullptr;
    std::filesystem::path dataDir_;
    std::unique_ptr<BulkUpload> upload_; // a recalled scene on its way to the device

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> posted_;
    bool woken_ = false;
    bool stop_ = false;
};

} // namespace quorvel::remote
