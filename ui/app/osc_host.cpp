#include "app/osc_host.h"

#include <QMetaObject>

#include <algorithm>

#include "binding/edit_controller.h"
#include "link/reports.h"
#include "session/link_adapter.h"

namespace quorvel::ui {

OscHost::OscHost(EditController& edits, LinkAdapter& link, QObject* parent)
    : QObject(parent), edits_(edits), link_(link) {
    QObject::connect(&edits_, &EditController::changed, this, [this](const ChangeSet& changes) {
        for (remote::RemoteListener* l : listeners_)
            l->fieldsChanged(changes);
    });
    QObject::connect(&link_, &LinkAdapter::reportDispatched, this,
                     [this](const DispatchResult& r, const ChangeSet&) {
                         if (r.kind != ReportKind::Status) return;
                         statusReport();
                         for (remote::RemoteListener* l : listeners_)
                             l->metersUpdated();
                     });
}

void OscHost::addListener(remote::RemoteListener* listener) {
    listeners_.push_back(listener);
}

void OscHost::removeListener(remote::RemoteListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

const DeviceState& OscHost::state() const {
    return edits_.state();
}

EditOutcome OscHost::edit(FieldId field, std::int32_t raw) {
    return edits_.edit(field, raw, EditOptions{}, EditOrigin::Remote);
}

EditOutcome OscHost::editName(FieldId field, std::string_view gbk) {
    return edits_.editName(field, gbk, EditOrigin::Remote);
}

bool OscHost::recall(std::string_view, std::string_view, int, std::string& error) {
    error = "recall is not offered over OSC";
    return false;
}

void OscHost::connect() {
    if (!link_.online()) link_.pressConnect();
}

void OscHost::disconnect() {
    link_.workOffline();
}

remote::LinkStatus OscHost::status() const {
    remote::LinkStatus s;
    s.online = link_.online();
    s.deviceAddress = edits_.state().link.hostAddress;
    const auto cutoff = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    s.reportRateHz = static_cast<int>(
        std::count_if(statusTimes_.begin(), statusTimes_.end(), [&](auto t) { return t >= cutoff; }));
    return s;
}

void OscHost::post(std::function<void()> fn) {
    // Queued on this object: dropped, not run, once the host is gone.
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void OscHost::statusReport() {
    const auto now = std::chrono::steady_clock::now();
    statusTimes_.push_back(now);
    while (!statusTimes_.empty() && statusTimes_.front() < now - std::chrono::seconds(1))
        statusTimes_.pop_front();
}

OscBridge::~OscBridge() {
    if (host && server) host->removeListener(server.get());
    server.reset(); // its thread stops before the host it posts to goes
}

std::unique_ptr<OscBridge> startOscBridge(EditController& edits, LinkAdapter& link,
                                          const std::string& address, std::uint16_t port,
                                          std::string& error) {
    auto bridge = std::make_unique<OscBridge>();
    bridge->host = std::make_unique<OscHost>(edits, link);
    bridge->server = osc::startOscBridge(*bridge->host, address, port, error);
    if (!bridge->server) return nullptr;
    bridge->host->addListener(bridge->server.get());
    return bridge;
}

} // namespace quorvel::ui
