#include "link/device_link.h"

#include <arpa/inet.h>

#include <algorithm>

#include "log/traffic_log.h"

namespace quorvel {

DeviceLink::DeviceLink(DeviceState& state, const LinkClock& clock, LinkOptions options)
    : state_(state), clock_(clock), options_(std::move(options)),
      sender_([this](const Destination& to, std::string_view datagram, std::string& error) {
          return transport_.sendTo(to.address, datagram, error);
      }),
      dispatcher_(state), connection_(state, clock, *this, options_.timing) {
    connection_.setLanguage(options_.languageFlag);
    connection_.setAutoReconnect(options_.autoReconnect);
}

DeviceLink::~DeviceLink() {
    // The owner may already be half torn down: tell it nothing more.
    connection_.setEventSink(nullptr);
    sender_.setFailureHandler(nullptr);
    failure_ = nullptr;
    // An owner that waited for closeFinished() has seen the queue out already (or chose to give up
    // on it); it must not wait a second time here.
    if (closeBy_ && closeFinished()) {
        receiver_.stop();
        setTrafficLog(nullptr);
        return;
    }
    if (receiver_.running() || state_.link.linkOnline) connection_.closeLink();
    receiver_.stop();
    // Let a last Q 0 reach the device, but never hang on a long bulk queue.
    sender_.drain(options_.closeBudget);
    // After the drain, so that the last Q 0 is logged too.
    setTrafficLog(nullptr);
}

void DeviceLink::setTrafficLog(TrafficLog* log) {
    traffic_ = log;
    sender_.setFrameTap(log);
}

void DeviceLink::closeLink() {
    connection_.closeLink();
    closeBy_ = std::chrono::steady_clock::now() + options_.closeBudget;
}

bool DeviceLink::closeFinished() const {
    if (!connection_.closeFinished()) return false;
    return sender_.settled() || !closeBy_ || std::chrono::steady_clock::now() >= *closeBy_;
}

std::string DeviceLink::bindAddress() const {
    return options_.bindAddress.empty() ? defaultBindAddress(state_.link.hostAddress) : options_.bindAddress;
}

Ipv4Octets DeviceLink::ownAddress() const {
    // Bound to one address on purpose: that is where the device must answer.
    in_addr a{};
    if (!options_.bindAddress.empty() && parseIpv4(options_.bindAddress, a) && a.s_addr != INADDR_ANY)
        return octetsOf(a);
    return ownAddressFor(state_.link.hostAddress, options_.routeLookup);
}

const Destination* DeviceLink::destination(std::string& error) {
    // The address may be changed on the settings page between two edits, so it is compared at
    // every send; it is only parsed again when it did change.
    if (dest_.host != state_.link.hostAddress || dest_.port != state_.link.udpPort) {
        dest_.host = state_.link.hostAddress;
        dest_.port = state_.link.udpPort;
        dest_.to = makeDestination(dest_.host, static_cast<std::uint16_t>(dest_.port & 0xFFFF));
    }
    if (!dest_.to) {
        error = "malformed device address '" + dest_.host + "': not sent";
        return nullptr;
    }
    if (!transport_.checkDestination(dest_.to->address.sin_addr, error)) return nullptr;
    return &*dest_.to;
}

bool DeviceLink::startReceive(std::string& error) {
    bool ok = openReceiver(error);
    lastStartError_ = ok ? std::string() : error;
    return ok;
}

bool DeviceLink::openReceiver(std::string& error) {
    receiver_.stop();
    in_addr device{};
    if (!parseIpv4(state_.link.hostAddress, device)) {
        error = "malformed device address '" + state_.link.hostAddress + "'";
        return false;
    }
    // The device address may have changed since the socket was opened (loopback simulator, then
    // a device on the LAN): a socket bound to the wrong side could not reach it.
    const std::string local = bindAddress();
    const auto port = static_cast<std::uint16_t>(state_.link.udpPort & 0xFFFF);
    if (transport_.isOpen() && (local != boundAddress_ || port != transport_.localPort())) {
        sender_.drain(std::chrono::milliseconds(200));
        transport_.close();
    }
    if (!transport_.isOpen()) {
        if (!transport_.open(local, port, error)) return false;
        boundAddress_ = local;
    }
    // Reports that reached the socket while nobody listened belong to an earlier session.
    transport_.discardPending();
    pending_.clear();
    if (!receiver_.start(transport_.fd(), device, error)) return false;
    state_.link.socketReady = true;
    return true;
}

void DeviceLink::stopReceive() {
    receiver_.stop();
    // Whatever is still to be parsed came before the stop; acting on it now would undo it.
    pending_.clear();
    state_.link.socketReady = false;
}

bool DeviceLink::releaseSocket(std::chrono::milliseconds drainBudget) {
    stopReceive();
    const bool drained = sender_.drain(drainBudget);
    sender_.clear();
    transport_.close();
    boundAddress_.clear();
    return drained;
}

bool DeviceLink::send(OutgoingFrame frame, std::string* error) {
    std::string why;
    const Destination* to = destination(why);
    if (!to) {
        // Refused before it is queued, so nothing ever leaves for a bad or forbidden address.
        ++refused_;
        if (failure_) failure_(why);
        if (error) *error = why;
        return false;
    }
    sender_.enqueue(std::move(frame), *to);
    return true;
}

void DeviceLink::sendStopStart(int value) {
    if (!transport_.isOpen()) return; // no session was ever opened: nothing to stop
    send({buildQ(value), {}, false});
}

void DeviceLink::sendHandshake() {
    OutgoingFrame z{buildZ(ownAddress(), state_.link.udpPort & 0xFFFF), kCommandPause, false};
    send(std::move(z));
}

bool DeviceLink::sendCommand(char letter, std::span<const int> selectors, std::string* error) {
    if (!state_.link.linkOnline) {
        if (error) *error = "not connected";
        return false;
    }
    OutgoingFrame frame;
    std::string why;
    // Only Z carries our address, and finding it costs a socket.
    const Ipv4Octets own = letter == 'Z' ? ownAddress() : Ipv4Octets{};
    if (!buildCommand(state_, letter, selectors, own, frame, why)) {
        if (error) *error = why;
        return false;
    }
    return send(std::move(frame), error);
}

DropCounts DeviceLink::dropCounts() const {
    DropCounts all = receiver_.stats().drops;
    for (std::size_t i = 0; i < kDropReasons; ++i)
        all[i] += parserDrops_[i];
    return all;
}

int DeviceLink::deliverPending() {
    // Taken even when nobody watches: they would otherwise keep waitForFrames() answering at once.
    receiver_.takeDrops(drops_);
    for (const DropRecord& d : drops_) {
        if (dropObserver_) dropObserver_(d);
        if (traffic_) traffic_->dropped(d);
        if (d.reason == DropReason::WrongSender) connection_.onForeignReply();
    }
    drops_.clear();
    receiver_.takeFrames(pending_);
    int n = 0;
    while (!pending_.empty()) {
        std::string frame = std::move(pending_.front());
        pending_.pop_front();
        // The receive thread's assembler has already checked every checksum; a second check here
        // would double the cost of each status report.
        DispatchResult r = dispatcher_.dispatchAccepted(frame, clock_.now());
        ++n;
        if (traffic_) traffic_->received(frame, r);
        const std::size_t kept = std::min<std::size_t>(r.dropCount, DispatchResult::kKeptDrops);
        for (std::size_t i = 0; i < kept; ++i) {
            const ReportDrop& d = r.drops[i];
            ++parserDrops_[static_cast<std::size_t>(d.reason)];
            if (dropObserver_) dropObserver_(DropRecord{d.reason, r.letter, d.section, {}});
        }
        connection_.onReport(r);
        if (observer_) observer_(frame, r);
    }
    return n;
}

} // namespace quorvel
