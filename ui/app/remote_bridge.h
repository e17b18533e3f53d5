// The application as a RemoteHost: remote edits go through the window's EditController (origin
// Remote, so the pages show them at once and the lock leaves them alone), every change the
// controller announces and every status report's meters reach the remote surfaces.
#pragma once

// The link's headers before Qt's (its keyword macros).
#include "osc/osc_server.h"
#include "remote/api_server.h"
#include "remote/remote_host.h"
#include "remote/surface_fan_out.h"

#include <QObject>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace quorvel {
class PresetStore;
struct SceneResult;
} // namespace quorvel

namespace quorvel::ui {

class EditController;
class LinkAdapter;

class RemoteBridge : public QObject, public remote::RemoteHost {
    Q_OBJECT
public:
    RemoteBridge(EditController& edits, LinkAdapter& link, QObject* parent = nullptr);

    void addListener(remote::RemoteListener* listener) { surfaces_.addListener(listener); }
    void removeListener(remote::RemoteListener* listener) { surfaces_.removeListener(listener); }
    // The window's count of edits not on the device; without one, the bridge counts its own.
    void setPendingCount(std::function<int()> count) { pendingCount_ = std::move(count); }
    // Where recall finds presets, and the window's scene recall (by ID or name); without them
    // recall answers that there is none.
    using SceneRecall = std::function<SceneResult(std::string_view idOrName)>;
    void setRecallSources(PresetStore* store, SceneRecall scenes);

    const DeviceState& state() const override;
    EditOutcome edit(FieldId field, std::int32_t raw) override;
    EditOutcome editName(FieldId field, std::string_view gbk) override;
    bool recall(std::string_view kind, std::string_view name, int channel, std::string& error) override;
    void connect() override;
    void disconnect() override;
    remote::LinkStatus status() const override;
    void post(std::function<void()> fn) override;

private:
    EditController& edits_;
    LinkAdapter& link_;
    remote::SurfaceFanOut surfaces_;
    std::function<int()> pendingCount_;
    PresetStore* store_ = nullptr;
    SceneRecall scenes_;
};

// The remote surfaces of a window run over one bridge: the API (unless off) and OSC (port 0: off).
// Destroy it before the window and the link: the servers' threads post to them.
struct RemoteSurfaces {
    std::unique_ptr<RemoteBridge> bridge;
    std::unique_ptr<remote::ApiServer> api;
    std::unique_ptr<osc::OscServer> osc;
    ~RemoteSurfaces();
};
// False with the reason when a surface that was asked for cannot listen; the others still run.
bool startApiSurface(RemoteSurfaces& s, const std::string& option, const std::string& token,
                     std::string& error);
bool startOscSurface(RemoteSurfaces& s, const std::string& address, std::uint16_t port, std::string& error);

// The API alone over a bridge of its own; null (and why, unless off) when it is off or cannot listen.
std::unique_ptr<RemoteSurfaces> startRemoteApi(const std::string& option, const std::string& token,
                                               EditController& edits, LinkAdapter& link, std::string& error);
// OSC alone over a bridge of its own (tests, tools).
using OscBridge = RemoteSurfaces;
std::unique_ptr<OscBridge> startOscBridge(EditController& edits, LinkAdapter& link,
                                          const std::string& address, std::uint16_t port, std::string& error);

} // namespace quorvel::ui
