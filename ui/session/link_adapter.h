// The live link seen from the UI thread. The receive thread only posts a wake-up; the frames are
// parsed here, on the thread that owns DeviceState, in arrival order. The link's events and the
// dispatched reports come out as signals.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "link/change_set.h"
#include "link/commands.h"
#include "link/reports.h"

namespace quorvel {
// Kept out of this header: the link's headers must be read before Qt's, whose keyword macros
// would otherwise rewrite them.
class DeviceLink;
class SteadyLinkClock;
struct LinkEvent;
struct LinkOptions;
} // namespace quorvel

namespace quorvel::ui {

class LinkAdapter : public QObject {
    Q_OBJECT
public:
    static constexpr int kLinkTimerMs = 50;

    LinkAdapter(DeviceState& state, const LinkOptions& options, QObject* parent = nullptr);
    ~LinkAdapter() override;

    DeviceLink& link() { return *link_; }
    DeviceState& state() { return state_; }

    // The CONNECT button: connect, or disconnect while online.
    void pressConnect();
    // The OFFLINE button: drop the link (or an attempt under way) and stay offline.
    void workOffline();
    // Program close: Q 0 and the receive side stopped; closeFinished() once it has gone.
    void closeLink();
    bool closeFinished() const;
    bool online() const { return state_.link.linkOnline; }
    void setLanguage(int languageFlag);

    // A command named by its letter, built from DeviceState and queued, only while online.
    bool sendCommand(char letter, std::span<const int> selectors);
    // A frame the edit operation built: it has checked the link already, this only queues.
    bool queueFrame(OutgoingFrame frame);

signals:
    void statusLabel(bool online, const QString& text);
    void linkIndicator(bool on);
    void connectButton(bool pressed, const QString& caption);
    void message(const QString& text, const QString& caption);
    void busyPopup(bool show);
    // A report taken into DeviceState, with the fields the views should follow.
    void reportDispatched(const quorvel::DispatchResult& result, const quorvel::ChangeSet& changes);
    // A frame could not go out (address refused, socket error). failures counts every one since
    // the start; a burst of them arrives as one signal carrying the latest error.
    void sendFailed(const QString& error, quint64 failures);

private:
    void deliver();
    void reportSendFailure();
    void onEvent(const LinkEvent& e);

    DeviceState& state_;
    std::unique_ptr<SteadyLinkClock> clock_;
    std::unique_ptr<DeviceLink> link_;
    QTimer linkTimer_;
    std::atomic<bool> wakePosted_{false};
    std::atomic<bool> failurePosted_{false};
    std::mutex failureMutex_; // the sender thread writes the error, the UI thread reads it
    std::string lastFailure_;
};

} // namespace quorvel::ui
