// The link's headers go first: Qt's keyword macros must not be defined while they are read.
#include "link/clock.h"
#include "link/device_link.h"
#include "link/report_changes.h"

#include "session/link_adapter.h"

#include <QMetaObject>
#include <QPointer>
#include <vector>

#include "session/measure.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {

LinkAdapter::LinkAdapter(DeviceState& state, const LinkOptions& options, QObject* parent)
    : QObject(parent), state_(state), clock_(std::make_unique<SteadyLinkClock>()),
      link_(std::make_unique<DeviceLink>(state, *clock_, options)) {
    link_->setEventSink([this](const LinkEvent& e) { onEvent(e); });
    link_->setReportObserver(
        [this](std::string_view, const DispatchResult& r) { emit reportDispatched(r, shownChanges(r)); });
    // Receive thread: one queued call per batch; the frames wait in the link until we take them.
    link_->setWake([this] {
        measure::markReportArrival();
        if (!wakePosted_.exchange(true))
            QMetaObject::invokeMethod(this, &LinkAdapter::deliver, Qt::QueuedConnection);
    });
    // On the sender thread for a failed datagram, on this one for a refused address.
    link_->setSendFailureHandler([this](const std::string& error) {
        {
            std::lock_guard lock(failureMutex_);
            lastFailure_ = error;
        }
        if (!failurePosted_.exchange(true))
            QMetaObject::invokeMethod(this, &LinkAdapter::reportSendFailure, Qt::QueuedConnection);
    });
    linkTimer_.setInterval(kLinkTimerMs);
    connect(&linkTimer_, &QTimer::timeout, this, [this] { link_->tick(); });
    linkTimer_.start();
}

LinkAdapter::~LinkAdapter() {
    linkTimer_.stop();
    // The link's destructor stops the receive thread; its wake-up must not reach a dead object.
    link_->setWake({});
    link_->setSendFailureHandler({});
    link_.reset();
}

void LinkAdapter::reportSendFailure() {
    failurePosted_.store(false);
    std::string error;
    {
        std::lock_guard lock(failureMutex_);
        error = lastFailure_;
    }
    emit sendFailed(QString::fromStdString(error), static_cast<quint64>(link_->sendFailures()));
}

void LinkAdapter::deliver() {
    wakePosted_.store(false);
    link_->deliverPending();
}

void LinkAdapter::onEvent(const LinkEvent& e) {
    const QString text = QString::fromStdString(e.text);
    switch (e.kind) {
    case LinkEvent::Kind::StatusLabel:
        emit statusLabel(e.on, text);
        break;
    case LinkEvent::Kind::LinkIndicator:
        emit linkIndicator(e.on);
        break;
    case LinkEvent::Kind::ConnectButton:
        emit connectButton(e.on, text);
        break;
    case LinkEvent::Kind::MessageBox:
        emit message(text, QString::fromStdString(e.caption));
        break;
    case LinkEvent::Kind::BusyPopup:
        emit busyPopup(e.on);
        break;
    }
}

void LinkAdapter::setLanguage(int languageFlag) {
    link_->setLanguage(languageFlag);
}

void LinkAdapter::pressConnect() {
    link_->connect();
}

void LinkAdapter::workOffline() {
    // Same as the close sequence minus the ending: Q 0, receiver stopped, any attempt under way
    // abandoned (no retry, no "CANNOT CONNECT." later), and the offline look shown.
    link_->closeLink();
    emit connectButton(false, pick("CONNECT", "连接"));
    emit linkIndicator(false);
    emit statusLabel(false, pick("OFFLINE", "离线"));
}

void LinkAdapter::closeLink() {
    link_->closeLink();
}

bool LinkAdapter::closeFinished() const {
    return link_->closeFinished();
}

bool LinkAdapter::queueFrame(OutgoingFrame frame) {
    return link_->send(std::move(frame));
}

bool LinkAdapter::sendCommand(char letter, std::span<const int> selectors) {
    return link_->sendCommand(letter, selectors);
}

} // namespace quorvel::ui
