// The connection: CONNECT / DISCONNECT, the handshake with its retries, the offline watchdog and
// the close sequence. UDP has no connection of its own; we count ourselves connected once the
// device has answered Z with its full-state report.
//
// Everything runs on the owner thread. Nothing here sleeps: the waits of the CONNECT action are
// scheduled and carried out by tick(), which the owner calls from its timer (the application every
// 50 ms, the CLI when nextDeadline() is due).
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "link/clock.h"
#include "link/device_state.h"
#include "link/reports.h"

namespace quorvel {

// What the owner shows. Texts are already in the language of languageFlag.
struct LinkEvent {
    enum class Kind : std::uint8_t {
        StatusLabel,   // text: "ONLINE" / "OFFLINE" / "RECONNECTING"
        LinkIndicator, // on
        ConnectButton, // text: caption, on: pressed
        MessageBox,    // text, caption
        BusyPopup,     // on: show, off: close
    };
    Kind kind;
    bool on = false;
    std::string text;
    std::string caption;
};

// The operations the machine needs from the link beneath it; DeviceLink provides them, tests
// provide fakes.
class LinkPort {
public:
    virtual ~LinkPort() = default;
    virtual bool socketReady() const = 0;
    virtual bool startReceive(std::string& error) = 0;
    virtual void stopReceive() = 0;
    virtual void sendStopStart(int value) = 0; // command Q
    virtual void sendHandshake() = 0;          // command Z
    virtual void stopFirmwareReceiver() {}
};

struct ConnectionTiming {
    std::chrono::milliseconds restartWait{1000}; // a receive thread was running
    std::chrono::milliseconds startWait{500};    // none was
    std::chrono::milliseconds settleWait{500};   // after starting the receive thread
    std::chrono::milliseconds retryInterval{10000};
    int attempts = 3;
    std::chrono::milliseconds watchdog{10000};
    std::chrono::milliseconds reconnectInterval{5000}; // between handshakes while reconnecting
};

class Connection {
public:
    using EventSink = std::function<void(const LinkEvent&)>;

    Connection(DeviceState& state, const LinkClock& clock, LinkPort& port, ConnectionTiming timing = {});

    void setEventSink(EventSink sink) { sink_ = std::move(sink); }
    void setLanguage(int languageFlag) { language_ = languageFlag; }
    int language() const { return language_; }
    const ConnectionTiming& timing() const { return timing_; }
    void setTiming(const ConnectionTiming& t) { timing_ = t; }

    // The CONNECT button: DISCONNECT while online, else start a connection (ignored while one is
    // already being made).
    void connect();
    void disconnect();
    // The link timer: the scheduled CONNECT steps, the handshake retry and the watchdog.
    void tick();
    // Program close: Q 0, receiver stopped. closeFinished() once the receive side has gone.
    void closeLink();
    bool closeFinished() const { return closing_ && !port_.socketReady(); }

    // Acts on what the dispatcher found in a report.
    void onReport(const DispatchResult& r);

    // Automatic reconnection (off unless asked for): when the watchdog finds the device silent the
    // link goes offline and quietly repeats the handshake until the device answers, the user lets
    // go (DISCONNECT, OFFLINE, close) or another address answers.
    void setAutoReconnect(bool on);
    bool autoReconnect() const { return autoReconnect_; }
    bool reconnecting() const { return reconnecting_; }
    // A datagram from an address other than the device's: whoever answers now is not the device we
    // lost, so retrying would only talk past it.
    void onForeignReply();
    // The device was asked to be quiet (a bulk transfer holds its reports): with reconnection on,
    // the watchdog counts its silence from now, so a long transfer is not taken for a lost device
    // and cut off by the retry.
    void expectSilence();
    // A fresh full-state report on demand: Q 0 and Z while online; offline it is CONNECT.
    void requestFullState();

    // When tick() next has something to do; empty when nothing is due (idle, no wake-ups).
    std::optional<Clock::time_point> nextDeadline() const;
    bool connecting() const { return step_ != Step::None || state_.link.handshakePending; }

private:
    enum class Step { None, StartReceiver, SendHandshake };
    void notify(LinkEvent::Kind kind, bool on, std::string text = {}, std::string caption = {});
    std::string text(const char* english, const char* chinese) const;
    void showOffline();
    void beginHandshake();
    void startReconnecting(Clock::time_point now);
    void stopReconnecting();

    DeviceState& state_;
    const LinkClock& clock_;
    LinkPort& port_;
    ConnectionTiming timing_;
    EventSink sink_;
    int language_ = 1;
    Step step_ = Step::None;
    Clock::time_point stepDue_{};
    bool popupShown_ = false;
    bool closing_ = false;
    bool autoReconnect_ = false;
    bool reconnecting_ = false;
    Clock::time_point reconnectDue_{};
    Clock::time_point quietSince_{};
};

} // namespace quorvel
