// The application as a RemoteHost: remote edits go through the window's EditController (origin
// Remote, so the pages show them at once and the lock leaves them alone), every change the
// controller announces and every status report's meters reach the remote surfaces.
#pragma once

// The link's headers before Qt's (its keyword macros).
#include "remote/api_server.h"
#include "remote/remote_host.h"

#include <QObject>

#include <chrono>
#include <deque>
#include <memory>
#include <vector>

namespace quorvel::ui {

class EditController;
class LinkAdapter;

class RemoteBridge : public QObject, public remote::RemoteHost {
    Q_OBJECT
public:
    RemoteBridge(EditController& edits, LinkAdapter& link, QObject* parent = nullptr);

    void addListener(remote::RemoteListener* listener) { listeners_.push_back(listener); }
    void removeListener(remote::RemoteListener* listener);

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
    std::vector<remote::RemoteListener*> listeners_;
    std::deque<std::chrono::steady_clock::time_point> statusTimes_; // the last second's
    int pendingEdits_ = 0;
};

// The API server of a window run, started from main with --api; null (and why, unless off) when
// it is off or cannot listen.
struct RemoteApi {
    std::unique_ptr<RemoteBridge> bridge;
    std::unique_ptr<remote::ApiServer> server;
    ~RemoteApi();
};
std::unique_ptr<RemoteApi> startRemoteApi(const std::string& spec, const std::string& token,
                                          EditController& edits, LinkAdapter& link, std::string& error);

} // namespace quorvel::ui
