#include "app/remote_bridge.h"

#include <QMetaObject>

#include <algorithm>

#include "admin/scene_library.h"
#include "binding/edit_controller.h"
#include "log/event_log.h"
#include "remote/preset_recall.h"
#include "session/link_adapter.h"

namespace quorvel::ui {

RemoteBridge::RemoteBridge(EditController& edits, LinkAdapter& link, QObject* parent)
    : QObject(parent), edits_(edits), link_(link) {
    QObject::connect(&edits_, &EditController::changed, this,
                     [this](const ChangeSet& changes) { surfaces_.changed(changes); });
    QObject::connect(&link_, &LinkAdapter::reportDispatched, this,
                     [this](const DispatchResult& r, const ChangeSet&) { surfaces_.reported(r); });
}

const DeviceState& RemoteBridge::state() const {
    return edits_.state();
}

EditOutcome RemoteBridge::edit(FieldId field, std::int32_t raw) {
    EditOutcome o = edits_.edit(field, raw, {}, EditOrigin::Remote);
    if (o.applied && !edits_.state().link.linkOnline) surfaces_.editedOffline();
    return o;
}

EditOutcome RemoteBridge::editName(FieldId field, std::string_view gbk) {
    EditOutcome o = edits_.editName(field, gbk, EditOrigin::Remote);
    if (o.applied && !edits_.state().link.linkOnline) surfaces_.editedOffline();
    return o;
}

void RemoteBridge::setRecallSources(PresetStore* store, SceneRecall scenes) {
    store_ = store;
    scenes_ = std::move(scenes);
}

bool RemoteBridge::recall(std::string_view kind, std::string_view name, int channel, std::string& error) {
    if (remote::isSceneKind(kind)) {
        if (!scenes_) {
            error = "no scenes in this window";
            return false;
        }
        const SceneResult r = scenes_(name);
        if (!r.ok()) error = r.message.empty() ? "the scene could not be recalled" : r.message;
        return r.ok();
    }
    if (!store_) {
        error = "no preset store";
        return false;
    }
    auto r = remote::recallPreset(*store_, kind, name, channel, edits_.state(), edits_.sink(), error);
    if (!r) return false;
    logEvent(std::string(kind) + " preset recalled by a remote client: " + std::string(name));
    if (!edits_.state().link.linkOnline) surfaces_.editedOffline();
    edits_.announceUser(r->changes, r->undo, EditOrigin::Remote);
    return true;
}

void RemoteBridge::connect() {
    const auto& link = edits_.state().link;
    if (!link.linkOnline && !link.handshakePending) link_.pressConnect();
}

void RemoteBridge::disconnect() {
    const auto& link = edits_.state().link;
    if (link.linkOnline || link.handshakePending) link_.workOffline();
}

remote::LinkStatus RemoteBridge::status() const {
    remote::LinkStatus st;
    const auto& link = edits_.state().link;
    st.online = link.linkOnline;
    st.deviceAddress = link.hostAddress;
    st.reportRateHz = st.online ? surfaces_.reportRateHz() : 0;
    st.pendingEdits = pendingCount_ ? pendingCount_() : surfaces_.pendingEdits();
    return st;
}

void RemoteBridge::post(std::function<void()> fn) {
    // Queued onto this object's thread, the window's; dropped with it.
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

std::unique_ptr<RemoteSurfaces> startRemoteApi(const std::string& option, const std::string& token,
                                               EditController& edits, LinkAdapter& link, std::string& error) {
    auto s = std::make_unique<RemoteSurfaces>();
    s->bridge = std::make_unique<RemoteBridge>(edits, link);
    if (!startApiSurface(*s, option, token, error) || !s->api) return nullptr;
    return s;
}

RemoteSurfaces::~RemoteSurfaces() {
    if (!bridge) return;
    if (osc) bridge->removeListener(osc.get());
    osc.reset(); // its thread stops before the bridge it posts to goes
    if (api) {
        bridge->removeListener(&api->handler());
        api->stop();
    }
}

bool startApiSurface(RemoteSurfaces& s, const std::string& option, const std::string& token,
                     std::string& error) {
    remote::ListenAddress where;
    if (!remote::parseListenAddress(option, where, error)) return false;
    if (where.off) return true;
    if (!remote::mayListen(where.address, token, error)) return false;
    remote::ApiOptions options;
    options.address = where.address;
    options.port = where.port;
    options.token = token;
    auto server = std::make_unique<remote::ApiServer>(*s.bridge, options);
    if (!server->start(error)) return false;
    s.api = std::move(server);
    s.bridge->addListener(&s.api->handler());
    return true;
}

bool startOscSurface(RemoteSurfaces& s, const std::string& address, std::uint16_t port, std::string& error) {
    s.osc = osc::startOscBridge(*s.bridge, address, port, error);
    if (!s.osc) return false;
    s.bridge->addListener(s.osc.get());
    return true;
}

std::unique_ptr<OscBridge> startOscBridge(EditController& edits, LinkAdapter& link,
                                          const std::string& address, std::uint16_t port,
                                          std::string& error) {
    auto s = std::make_unique<RemoteSurfaces>();
    s->bridge = std::make_unique<RemoteBridge>(edits, link);
    if (!startOscSurface(*s, address, port, error)) return nullptr;
    return s;
}

} // namespace quorvel::ui
