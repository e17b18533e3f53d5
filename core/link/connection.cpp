#include "link/connection.h"

#include <algorithm>

namespace quorvel {

Connection::Connection(DeviceState& state, const LinkClock& clock, LinkPort& port, ConnectionTiming timing)
    : state_(state), clock_(clock), port_(port), timing_(timing) {}

std::string Connection::text(const char* english, const char* chinese) const {
    return language_ == 2 ? chinese : english;
}

void Connection::notify(LinkEvent::Kind kind, bool on, std::string text, std::string caption) {
    if (kind == LinkEvent::Kind::BusyPopup) popupShown_ = on;
    if (sink_) sink_(LinkEvent{kind, on, std::move(text), std::move(caption)});
}

void Connection::showOffline() {
    notify(LinkEvent::Kind::LinkIndicator, false);
    notify(LinkEvent::Kind::StatusLabel, false, text("OFFLINE", "离线"));
}

void Connection::connect() {
    LinkState& link = state_.link;
    // While reconnecting the button still reads DISCONNECT, and that is what a press means.
    if (link.linkOnline || reconnecting_) {
        disconnect();
        return;
    }
    // A second press while the first attempt is still under way would restart the receiver
    // beneath a handshake in flight.
    if (connecting()) return;
    closing_ = false;
    port_.stopFirmwareReceiver();
    // The old receiver must be gone before a new one binds the same port.
    if (port_.socketReady()) {
        port_.stopReceive();
        stepDue_ = clock_.now() + timing_.restartWait;
    } else {
        stepDue_ = clock_.now() + timing_.startWait;
    }
    step_ = Step::StartReceiver;
    tick(); // zero waits (the CLI) go straight on
}

void Connection::disconnect() {
    // Also abandons an attempt under way: a scheduled receiver start or a pending retry would
    // otherwise bring the link back, or end in "CANNOT CONNECT.", after the user let it go.
    step_ = Step::None;
    state_.link.handshakePending = false;
    reconnecting_ = false;
    if (popupShown_) notify(LinkEvent::Kind::BusyPopup, false);
    port_.sendStopStart(0);
    port_.stopReceive();
    state_.link.linkOnline = false;
    notify(LinkEvent::Kind::ConnectButton, false, text("CONNECT", "连接"));
    showOffline();
}

void Connection::beginHandshake() {
    LinkState& link = state_.link;
    if (popupShown_) notify(LinkEvent::Kind::BusyPopup, false);
    link.handshakeDone = false;
    link.handshakePending = true;
    link.handshakeAttempts = 0;
    // Q 0 first: a device still streaming to us from an earlier session goes quiet until the
    // names report has been taken.
    port_.sendStopStart(0);
    port_.sendHandshake();
    link.lastAttemptTime = clock_.now();
    notify(LinkEvent::Kind::BusyPopup, true, "Please wait!");
}

void Connection::tick() {
    LinkState& link = state_.link;
    Clock::time_point now = clock_.now();

    if (step_ == Step::StartReceiver && now >= stepDue_) {
        std::string error;
        if (!port_.startReceive(error)) {
            // The handshake still goes ahead, as it always has; it ends in "CANNOT CONNECT.".
            notify(LinkEvent::Kind::MessageBox, false, "Winsock error!", "Warming");
        }
        step_ = Step::SendHandshake;
        stepDue_ = now + timing_.settleWait;
    }
    if (step_ == Step::SendHandshake && now >= stepDue_) {
        step_ = Step::None;
        beginHandshake();
        now = clock_.now();
    }

    if (link.handshakePending && now - link.lastAttemptTime >= timing_.retryInterval) {
        link.lastAttemptTime = now;
        link.handshakeAttempts += 1;
        if (link.handshakeAttempts < timing_.attempts) {
            port_.sendHandshake();
            link.lastAttemptTime = now;
        } else {
            link.handshakePending = false;
            port_.stopReceive();
            notify(LinkEvent::Kind::ConnectButton, false, text("CONNECT", "连接"));
            notify(LinkEvent::Kind::BusyPopup, false);
            notify(LinkEvent::Kind::MessageBox, false, text("CANNOT CONNECT.", "连接失败."));
            link.handshakeDone = true;
        }
    }

    // Without automatic reconnection, silence while online only changes what is shown: commands
    // keep going and the next full-state report lights the indicator again.
    if (link.linkOnline && now - link.lastReportTime >= timing_.watchdog) {
        if (!autoReconnect_) {
            link.lastReportTime = now;
            showOffline();
        } else if (now - quietSince_ >= timing_.watchdog) {
            link.lastReportTime = now;
            startReconnecting(now);
        }
    }

    if (reconnecting_ && now >= reconnectDue_) {
        reconnectDue_ = now + timing_.reconnectInterval;
        port_.sendStopStart(0);
        port_.sendHandshake();
        link.lastAttemptTime = now;
    }
}

void Connection::startReconnecting(Clock::time_point now) {
    // Offline for the edit path: edits wait on this computer instead of going to a device that
    // may have restarted and would answer the handshake with its own state anyway.
    state_.link.linkOnline = false;
    reconnecting_ = true;
    reconnectDue_ = now; // the first retry at once, in this tick
    notify(LinkEvent::Kind::LinkIndicator, false);
    notify(LinkEvent::Kind::StatusLabel, false, text("RECONNECTING", "重新连接"));
}

void Connection::stopReconnecting() {
    if (!reconnecting_) return;
    reconnecting_ = false;
    port_.stopReceive();
    notify(LinkEvent::Kind::ConnectButton, false, text("CONNECT", "连接"));
    showOffline();
}

void Connection::setAutoReconnect(bool on) {
    autoReconnect_ = on;
    // Turned off mid-retry: end where the plain watchdog would have left a silent device.
    if (!on) stopReconnecting();
}

void Connection::onForeignReply() {
    stopReconnecting();
}

void Connection::expectSilence() {
    quietSince_ = clock_.now();
}

void Connection::requestFullState() {
    if (!state_.link.linkOnline) {
        connect();
        return;
    }
    // Same order as CONNECT: quiet first, so the names report is taken before reports resume.
    port_.sendStopStart(0);
    port_.sendHandshake();
    state_.link.lastAttemptTime = clock_.now();
}

void Connection::closeLink() {
    step_ = Step::None;
    port_.sendStopStart(0);
    port_.stopReceive();
    state_.link.linkOnline = false;
    // A closing program must not go on sending Z.
    state_.link.handshakePending = false;
    reconnecting_ = false;
    if (popupShown_) notify(LinkEvent::Kind::BusyPopup, false);
    closing_ = true;
}

void Connection::onReport(const DispatchResult& r) {
    LinkState& link = state_.link;
    if (r.wentOnline) {
        reconnecting_ = false;
        link.handshakeDone = true;
        link.handshakePending = false;
        link.linkOnline = true;
        notify(LinkEvent::Kind::ConnectButton, true, text("DISCONNECT", "断开"));
        notify(LinkEvent::Kind::LinkIndicator, true);
        notify(LinkEvent::Kind::StatusLabel, true, text("ONLINE", "在线"));
        if (popupShown_) notify(LinkEvent::Kind::BusyPopup, false);
    }
    if (r.sendResumeReports) port_.sendStopStart(1);
    if (r.reportIndicatorOn) notify(LinkEvent::Kind::StatusLabel, true, text("ONLINE", "在线"));
}

std::optional<Clock::time_point> Connection::nextDeadline() const {
    std::optional<Clock::time_point> next;
    auto consider = [&](Clock::time_point t) { next = next ? std::min(*next, t) : t; };
    if (step_ != Step::None) consider(stepDue_);
    if (state_.link.handshakePending) consider(state_.link.lastAttemptTime + timing_.retryInterval);
    if (state_.link.linkOnline)
        consider(std::max(state_.link.lastReportTime, autoReconnect_ ? quietSince_ : Clock::time_point{}) +
                 timing_.watchdog);
    if (reconnecting_) consider(reconnectDue_);
    return next;
}

} // namespace quorvel
