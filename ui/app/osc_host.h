// OSC in the application: a RemoteHost over the window's edit controller and link, so a surface's
// edit is a Remote edit through the same path as a page's, and the OSC server that listens on it.
// The core headers go first: Qt's keyword macros must not be defined while they are read.
#pragma once

#include "osc/osc_server.h"
#include "remote/remote_host.h"

#include <QObject>

#include <chrono>
#include <deque>
#include <memory>
#include <vector>

namespace quorvel::ui {

class EditController;
class LinkAdapter;

class OscHost : public QObject, public remote::RemoteHost {
    Q_OBJECT
public:
    OscHost(EditController& edits, LinkAdapter& link, QObject* parent = nullptr);

    // Told every change the controller announces (edits of every origin and reports alike) and
    // every status report's meters.
    void addListener(remote::RemoteListener* listener);
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
    void statusReport();

    EditController& edits_;
    LinkAdapter& link_;
    std::vector<remote::RemoteListener*> listeners_;
    std::deque<std::chrono::steady_clock::time_point> statusTimes_; // the last second's
};

// The host and its server, for the life of the window. Destroy it before the window and the link.
struct OscBridge {
    std::unique_ptr<OscHost> host;
    std::unique_ptr<osc::OscServer> server;
    ~OscBridge();
};

// nullptr with one line in error when the address cannot be had.
std::unique_ptr<OscBridge> startOscBridge(EditController& edits, LinkAdapter& link,
                                          const std::string& address, std::uint16_t port, std::string& error);

} // namespace quorvel::ui
