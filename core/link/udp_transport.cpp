#include "link/udp_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "link/reports.h"

namespace quorvel {

namespace {

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

std::string defaultBindAddress(std::string_view deviceAddress) {
    return isLoopbackIpv4(deviceAddress) ? "127.0.0.1" : "0.0.0.0";
}

// ---------------------------------------------------------------------------------------------

UdpTransport::UdpTransport() : loopbackOnly_(loopbackOnlyFromEnvironment()) {}

UdpTransport::~UdpTransport() {
    close();
}

bool UdpTransport::open(const std::string& bindAddress, std::uint16_t port, std::string& error) {
    close();
    in_addr local{};
    if (!parseIpv4(bindAddress, local)) {
        error = "malformed local address '" + bindAddress + "'";
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        error = errnoText("socket");
        return false;
    }
    // Reports can come in bursts faster than a busy owner thread takes them (the full-state
    // report, meter floods); a deep queue keeps the kernel from dropping them.
    // The forced size passes net.core.rmem_max when we may; otherwise the kernel caps the request.
    int rcv = kReceiveBufferBytes;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &rcv, sizeof rcv) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = local;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        error = errnoText(("bind " + bindAddress + ":" + std::to_string(port)).c_str());
        ::close(fd);
        return false;
    }
    std::lock_guard lock(mutex_);
    fd_.store(fd);
    return true;
}

void UdpTransport::close() {
    std::lock_guard lock(mutex_);
    int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
}

bool UdpTransport::isOpen() const {
    return fd_.load() >= 0;
}

std::uint16_t UdpTransport::localPort() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    int fd = fd_.load();
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

bool UdpTransport::checkDestination(std::string_view host, std::string& error) const {
    in_addr a{};
    if (!parseIpv4(host, a)) {
        error = "malformed device address '" + std::string(host) + "': not sent";
        return false;
    }
    return checkDestination(a, error);
}

bool UdpTransport::checkDestination(const in_addr& address, std::string& error) const {
    if (loopbackOnly_ && !isLoopback(address)) {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &address, text, sizeof text);
        error = "QUORVEL_LOOPBACK_ONLY is set: refusing to send to " + std::string(text) +
                " (only 127.0.0.0/8 is allowed)";
        return false;
    }
    return true;
}

bool UdpTransport::sendTo(std::string_view host, std::uint16_t port, std::string_view data,
                          std::string& error) {
    sockaddr_in sa{};
    if (!parseIpv4(host, sa.sin_addr)) {
        error = "malformed device address '" + std::string(host) + "': not sent";
        return false;
    }
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    return sendTo(sa, data, error);
}

bool UdpTransport::sendTo(const sockaddr_in& sa, std::string_view data, std::string& error) {
    // Checked again for every datagram, however the address was obtained: the guard is the last
    // thing between a test and the LAN, and an integer compare costs nothing.
    if (!checkDestination(sa.sin_addr, error)) return false;
    std::lock_guard lock(mutex_);
    int fd = fd_.load();
    if (fd < 0) {
        error = "no socket: the link is not connected";
        return false;
    }
    ssize_t n;
    do {
        n = ::sendto(fd, data.data(), data.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa),
                     sizeof sa);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        error = errnoText("sendto");
        return false;
    }
    if (static_cast<std::size_t>(n) != data.size()) {
        error = "sendto: short datagram";
        return false;
    }
    return true;
}

void UdpTransport::discardPending() {
    int fd = fd_.load();
    if (fd < 0) return;
    char buf[kMaxDatagram];
    while (::recv(fd, buf, sizeof buf, MSG_DONTWAIT) >= 0) {
    }
}

// ---------------------------------------------------------------------------------------------

ReceiveThread::ReceiveThread() = default;

ReceiveThread::~ReceiveThread() {
    stop();
}

bool ReceiveThread::start(int fd, const in_addr& device, std::string& error) {
    stop();
    if (fd < 0) {
        error = "no socket";
        return false;
    }
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) {
        error = errnoText("eventfd");
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        frames_.clear();
    }
    running_.store(true);
    thread_ = std::thread([this, fd, device] { run(fd, device); });
    return true;
}

void ReceiveThread::stop() {
    if (thread_.joinable()) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto r = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    if (stopFd_ >= 0) {
        ::close(stopFd_);
        stopFd_ = -1;
    }
    {
        // Frames cut before the stop but not yet taken belong to the session being ended: a
        // full-state report handed over after DISCONNECT or "CANNOT CONNECT." would put the link
        // back online, and a names report would ask the device to resume its reports.
        std::lock_guard lock(mutex_);
        frames_.clear();
        drops_.clear();
    }
    running_.store(false);
    cv_.notify_all();
}

void ReceiveThread::setWake(Wake wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

void ReceiveThread::takeFrames(std::deque<std::string>& out) {
    std::lock_guard lock(mutex_);
    if (out.empty()) {
        out.swap(frames_);
    } else {
        for (auto& f : frames_)
            out.push_back(std::move(f));
        frames_.clear();
    }
}

bool ReceiveThread::hasFrames() const {
    std::lock_guard lock(mutex_);
    return !frames_.empty();
}

bool ReceiveThread::waitForFrames(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    // Without a receiver this simply sleeps to the deadline, so a naive owner loop cannot spin.
    return cv_.wait_until(lock, deadline, [this] { return !frames_.empty() || !drops_.empty(); });
}

ReceiveStats ReceiveThread::stats() const {
    ReceiveStats st{datagrams_.load(), foreign_.load(), accepted_.load(), {}};
    for (std::size_t i = 0; i < kDropReasons; ++i)
        st.drops[i] = dropCounts_[i].load(std::memory_order_relaxed);
    return st;
}

void ReceiveThread::takeDrops(std::vector<DropRecord>& out) {
    // Called for every batch of frames; drops are rare, so the common case takes no lock.
    if (!dropsPending_.load(std::memory_order_acquire)) return;
    std::lock_guard lock(mutex_);
    dropsPending_.store(false, std::memory_order_relaxed);
    for (auto& d : drops_)
        out.push_back(std::move(d));
    drops_.clear();
}

void ReceiveThread::noteDrop(DropReason why, std::string text) {
    dropCounts_[static_cast<std::size_t>(why)].fetch_add(1, std::memory_order_relaxed);
    // Enough to show what it was; a flood of junk must not be copied whole.
    constexpr std::size_t kShown = 80;
    if (text.size() > kShown) text.resize(kShown);
    std::lock_guard lock(mutex_);
    if (drops_.size() >= kKeptDrops) drops_.pop_front();
    drops_.push_back({why, 0, 0, std::move(text)});
    dropsWaiting_ = true;
    dropsPending_.store(true, std::memory_order_release);
}

void ReceiveThread::run(int fd, in_addr device) {
    FrameAssembler assembler; // a fresh leftover for every receive thread
    assembler.setDropHandler(
        [this](DropReason why, std::string_view text) { noteDrop(why, std::string(text)); });
    // One byte more than the largest datagram, so that a full one is still terminated.
    char buf[kMaxDatagram + 1];
    std::vector<std::string> batch;
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    for (;;) {
        int r = ::poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents) break;
        if (fds[0].revents & (POLLERR | POLLNVAL)) {
            if (fds[0].revents & POLLNVAL) break;
        }
        // Take everything that waits before handing over, so that one wake-up covers a burst.
        for (int n = 0; n < 256; ++n) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t got =
                ::recvfrom(fd, buf, kMaxDatagram, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
            if (got < 0) break; // would block, or an ICMP error from an earlier send: nothing to read
            if (got == 0) continue;
            datagrams_.fetch_add(1, std::memory_order_relaxed);
            // Anyone on the network could otherwise rewrite our state: only the device speaks.
            if (from.sin_family != AF_INET || from.sin_addr.s_addr != device.s_addr) {
                foreign_.fetch_add(1, std::memory_order_relaxed);
                char who[INET_ADDRSTRLEN] = "?";
                inet_ntop(AF_INET, &from.sin_addr, who, sizeof who);
                noteDrop(DropReason::WrongSender, "from " + std::string(who));
                continue;
            }
            buf[got] = '\0';
            std::string_view text(buf, std::strlen(buf)); // the text ends at the first zero byte
            assembler.feed(text, [&](std::string_view frame) { batch.emplace_back(frame); });
        }
        if (batch.empty() && !dropsWaiting_) continue;
        Wake wake;
        {
            std::lock_guard lock(mutex_);
            // Drops alone only stir waitForFrames() (the CLI monitor shows them as they happen);
            // the owner's loop is not woken for them, so a stranger flooding the port costs the
            // UI thread nothing. Its drops go out with the device's next frames.
            bool wasEmpty = frames_.empty();
            for (auto& f : batch)
                frames_.push_back(std::move(f));
            if (wasEmpty && !batch.empty()) wake = wake_;
            dropsWaiting_ = false;
        }
        accepted_.fetch_add(batch.size(), std::memory_order_relaxed);
        batch.clear();
        cv_.notify_all();
        if (wake) wake();
    }
    running_.store(false);
    cv_.notify_all();
}

} // namespace quorvel
