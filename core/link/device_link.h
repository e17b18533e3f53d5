// The live link in one object, for the application and the CLI: socket, receive thread, paced
// sender, report dispatcher and connection machine around the owner's DeviceState.
//
// Threading: every member function is for the owner thread (the one that owns DeviceState). The
// receive thread only cuts frames and calls the wake-up; deliverPending() then parses them here,
// in arrival order, so no lock is ever taken on DeviceState.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "link/clock.h"
#include "link/commands.h"
#include "link/connection.h"
#include "link/device_state.h"
#include "link/paced_sender.h"
#include "link/reports.h"
#include "link/udp_transport.h"

namespace quorvel {

class TrafficLog;

struct LinkOptions {
    std::string bindAddress; // empty: 127.0.0.1 for a loopback device, else 0.0.0.0
    ConnectionTiming timing;
    int languageFlag = 1;
    // How the address Z announces is found; empty: the kernel's route (tests give a stub).
    RouteLookup routeLookup;
    // How long a closing program waits for the queue (the last Q 0 above all) before dropping it.
    std::chrono::milliseconds closeBudget{300};
    // Retry the handshake on its own after the watchdog found the device silent.
    bool autoReconnect = false;
};

class DeviceLink final : private LinkPort {
public:
    using ReportObserver = std::function<void(std::string_view frame, const DispatchResult&)>;
    using FailureFn = PacedSender::FailureFn;
    using DropObserver = std::function<void(const DropRecord&)>;

    DeviceLink(DeviceState& state, const LinkClock& clock, LinkOptions options = {});
    // Q 0 if still up, then a short bounded drain; nothing more when closeFinished() was seen.
    ~DeviceLink() override;
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    void setEventSink(Connection::EventSink sink) { connection_.setEventSink(std::move(sink)); }
    // Called on the receive thread when frames start to wait; post to the owner's loop from it.
    void setWake(ReceiveThread::Wake wake) { receiver_.setWake(std::move(wake)); }
    // Sees every dispatched report after DeviceState has taken it (the CLI monitor, a log).
    void setReportObserver(ReportObserver observer) { observer_ = std::move(observer); }
    // Sees every drop on the owner thread, in deliverPending(), before the reports of that call.
    void setDropObserver(DropObserver observer) { dropObserver_ = std::move(observer); }
    // Every frame sent, accepted or dropped goes to log; nullptr unhooks it (then the link pays
    // a null check per frame). The log must outlive the link or be unhooked first.
    void setTrafficLog(TrafficLog* log);
    TrafficLog* trafficLog() const { return traffic_; }
    // Called when a frame cannot go out: on the owner thread when its address is refused, on the
    // sender thread when the socket fails it.
    void setSendFailureHandler(FailureFn fn) {
        failure_ = fn;
        sender_.setFailureHandler(std::move(fn));
    }
    void setLanguage(int languageFlag) { connection_.setLanguage(languageFlag); }

    void connect() { connection_.connect(); }
    void tick() { connection_.tick(); }
    // Program close: Q 0, receive side stopped. closeFinished() once the queue has gone out (or the
    // close budget has run out); poll it from a timer, nothing here waits.
    void closeLink();
    bool closeFinished() const;
    std::optional<Clock::time_point> nextDeadline() const { return connection_.nextDeadline(); }

    // Parses every waiting frame into DeviceState, in order, and acts on each result.
    // Returns the number of frames dispatched.
    int deliverPending();
    // Blocks (real time) until frames wait or the deadline passes; for owners without an event loop.
    bool waitForFrames(std::chrono::steady_clock::time_point deadline) {
        return receiver_.waitForFrames(deadline);
    }

    // Queues a frame for the device; false (with the reason) when its address is refused. Whether
    // the link is online is the edit operation's business, decided before it built the frame.
    bool send(OutgoingFrame frame, std::string* error = nullptr);
    // Builds the frame of a letter from DeviceState and queues it, only while online: for callers
    // outside the edit operation (the CLI, tools) that name a command rather than a field.
    bool sendCommand(char letter, std::span<const int> selectors, std::string* error = nullptr);
    // Blocks; for owners without an event loop. The application polls closeFinished() instead.
    bool drain(std::chrono::milliseconds timeout) { return sender_.drain(timeout); }
    // The socket outlives the receive thread so that a last Q 0 still goes out; device search and
    // firmware transfer bind sockets of their own on the link port, which this one would block
    // (and whose replies it could take). Call it offline, before opening them: stops the receive
    // side, lets the queue drain within the budget, drops what is left and closes the socket. The
    // next CONNECT opens a new one. False when frames had to be dropped.
    bool releaseSocket(std::chrono::milliseconds drainBudget);

    bool socketReady() const override { return receiver_.running(); }
    std::uint16_t localPort() const { return transport_.localPort(); }
    std::string bindAddress() const;
    // The address the device must answer to, as Z announces it (R, r and the device search use the
    // same): the bound address when one was chosen, else the local end of the route to the device.
    Ipv4Octets ownAddress() const;
    Connection& connection() { return connection_; }
    const Connection& connection() const { return connection_; }
    ReceiveStats receiveStats() const { return receiver_.stats(); }
    // Every drop since the link was made, by reason: the receive side's and the parsers' together.
    DropCounts dropCounts() const;
    SenderStats senderStats() const { return sender_.stats(); }
    // Nothing queued and nothing going out: a bulk transfer queues its next step then.
    bool senderIdle() const { return sender_.idle(); }
    std::uint64_t refusedFrames() const { return refused_; }
    // Frames that never reached the device: refused addresses and failed sends together.
    std::uint64_t sendFailures() const { return refused_ + sender_.stats().failures; }
    // Why the last start of the receive side failed (bind refused, bad address).
    const std::string& lastStartError() const { return lastStartError_; }
    UdpTransport& transport() { return transport_; }

private:
    bool startReceive(std::string& error) override;
    bool openReceiver(std::string& error);
    void stopReceive() override;
    void sendStopStart(int value) override;
    void sendHandshake() override;

    // Parsed when the address or port differs from the last one seen, not at every send.
    const Destination* destination(std::string& error);

    DeviceState& state_;
    const LinkClock& clock_;
    LinkOptions options_;
    UdpTransport transport_;
    ReceiveThread receiver_;
    PacedSender sender_;
    ReportDispatcher dispatcher_;
    Connection connection_;
    ReportObserver observer_;
    DropObserver dropObserver_;
    TrafficLog* traffic_ = nullptr;
    DropCounts parserDrops_{};
    std::vector<DropRecord> drops_;
    FailureFn failure_;
    std::uint64_t refused_ = 0;
    std::string lastStartError_;
    std::string boundAddress_;
    std::deque<std::string> pending_;
    struct {
        std::string host;
        std::int32_t port = -1;
        std::optional<Destination> to;
    } dest_;
    std::optional<std::chrono::steady_clock::time_point> closeBy_;
};

} // namespace quorvel
