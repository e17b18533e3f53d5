#include "admin/discovery.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "link/frame.h"
#include "link/ipv4.h"

namespace quorvel {
namespace {

std::uint32_t hostOrder(const in_addr& a) {
    return ntohl(a.s_addr);
}

in_addr fromHostOrder(std::uint32_t v) {
    in_addr a{};
    a.s_addr = htonl(v);
    return a;
}

std::string dotted(const in_addr& a) {
    char buf[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

} // namespace

std::vector<SearchInterface> ipv4Interfaces() {
    std::vector<SearchInterface> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return out;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
        SearchInterface s;
        s.name = i->ifa_name ? i->ifa_name : "";
        s.address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr;
        if (i->ifa_netmask) s.netmask = reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr;
        out.push_back(s);
    }
    ::freeifaddrs(list);
    return out;
}

std::optional<SearchInterface> chooseInterface(std::string_view from, std::string& error) {
    const auto all = ipv4Interfaces();
    if (from.empty()) {
        for (const auto& i : all)
            if (!isLoopback(i.address)) return i;
        error = "no IPv4 network interface is up";
        return std::nullopt;
    }
    in_addr want{};
    if (!parseIpv4(from, want)) {
        error = "'" + std::string(from) + "' is not an IPv4 address";
        return std::nullopt;
    }
    for (const auto& i : all)
        if (i.address.s_addr == want.s_addr) return i;
    if (isLoopback(want)) {
        SearchInterface lo;
        lo.name = "lo";
        lo.address = want;
        lo.netmask = fromHostOrder(0xFF000000u);
        return lo;
    }
    error = "no interface has the address " + std::string(from);
    return std::nullopt;
}

std::vector<in_addr> sweepTargets(const in_addr& own, const in_addr& netmask) {
    const std::uint32_t me = hostOrder(own), mask = hostOrder(netmask);
    const std::uint32_t network = me & mask, broadcast = network | ~mask;
    const std::uint32_t base = me & 0xFFFFFF00u;
    std::vector<in_addr> out;
    for (std::uint32_t host = 2; host <= 254; ++host) {
        const std::uint32_t a = base | host;
        if (a == me || (a & mask) != network || a == network || a == broadcast) continue;
        out.push_back(fromHostOrder(a));
    }
    return out;
}

std::string buildSearchFrame(const Ipv4Octets& own, int port) {
    char addr[16];
    std::snprintf(addr, sizeof addr, "%03d%03d%03d%03d", own[0], own[1], own[2], own[3]);
    CommandFrame f('R');
    f.x2(kUnitId).x2(5).raw(addr).comma().dec(port);
    return std::move(f).finish();
}

bool isSearchAnswer(std::string_view datagram) {
    // Zero padding after the frame is how some devices fill a datagram; it is not part of it.
    const std::size_t end = datagram.find('\0');
    if (end != std::string_view::npos) {
        if (datagram.find_first_not_of('\0', end) != std::string_view::npos) return false;
        datagram = datagram.substr(0, end);
    }
    if (datagram.size() > kMaxAnswerBytes || datagram.size() < kMinFrameLength) return false;
    if (datagram[1] != 'R' || !validateFrame(datagram)) return false;
    // "%R," then unit, then the field that must read 5.
    const std::size_t unitEnd = datagram.find(',', 3);
    if (unitEnd == std::string_view::npos) return false;
    const std::size_t fieldEnd = datagram.find(',', unitEnd + 1);
    if (fieldEnd == std::string_view::npos) return false;
    const std::string_view field = datagram.substr(unitEnd + 1, fieldEnd - unitEnd - 1);
    if (field.size() != 4) return false;
    int v = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    return v == 5;
}

Discovery::~Discovery() {
    stop();
}

bool Discovery::start(const DiscoveryOptions& options, FoundFn found, ProgressFn progress, DoneFn done,
                      std::string& error) {
    stop();
    if (options.loopbackOnly && !isLoopback(options.from.address)) {
        error = "refused: searching from " + dotted(options.from.address) +
                " would send outside 127.0.0.0/8 (loopback-only mode)";
        return false;
    }
    std::vector<in_addr> targets = sweepTargets(options.from.address, options.from.netmask);
    // No SO_BROADCAST on this socket: the kernel then refuses any broadcast address outright.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(options.bindPort);
    sa.sin_addr = options.from.address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        error = "cannot bind " + dotted(options.from.address) + ":" + std::to_string(options.bindPort) +
                ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    const int stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    stopFd_ = stopFd;
    running_ = true;
    thread_ = std::thread([this, options, targets = std::move(targets), found = std::move(found),
                           progress = std::move(progress), done = std::move(done)]() mutable {
        run(options, std::move(targets), std::move(found), std::move(progress), std::move(done));
    });
    return true;
}

void Discovery::stop() {
    if (stopFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
    if (stopFd_ >= 0) ::close(stopFd_);
    fd_ = stopFd_ = -1;
    running_ = false;
}

void Discovery::run(DiscoveryOptions options, std::vector<in_addr> targets, FoundFn found,
                    ProgressFn progress, DoneFn done) {
    using Steady = std::chrono::steady_clock;
    DiscoveryResult result;
    result.targets = static_cast<int>(targets.size());
    const std::string frame = buildSearchFrame(octetsOf(options.from.address), options.port);
    std::set<std::string> seen;
    const Steady::time_point begin = Steady::now();
    Steady::time_point due = begin, lingerUntil{};
    std::size_t next = 0;
    // One byte beyond the largest answer: an oversized datagram shows as such, and the text
    // always has room for its terminator.
    char buf[kMaxAnswerBytes + 2];
    for (;;) {
        const Steady::time_point now = Steady::now();
        if (next < targets.size() && now >= due) {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(options.port);
            to.sin_addr = targets[next];
            const ssize_t n = ::sendto(fd_, frame.data(), frame.size(), MSG_NOSIGNAL,
                                       reinterpret_cast<sockaddr*>(&to), sizeof to);
            if (n == static_cast<ssize_t>(frame.size()))
                ++result.framesSent;
            else if (result.error.empty())
                result.error = "send to " + dotted(targets[next]) + ": " + std::strerror(errno);
            ++next;
            if (progress) progress(static_cast<int>(next), static_cast<int>(targets.size()));
            // Measured from the send, so a late wake-up never makes two frames follow closely.
            due = Steady::now() + options.gap;
            if (next == targets.size()) {
                result.sweepTime = Steady::now() - begin;
                lingerUntil = Steady::now() + options.linger;
            }
            continue;
        }
        if (next == targets.size() && now >= lingerUntil) break;
        const Steady::time_point wakeAt = next < targets.size() ? due : lingerUntil;
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(wakeAt - now);
        timespec ts{};
        ts.tv_sec = static_cast<time_t>(wait.count() / 1000000000);
        ts.tv_nsec = static_cast<long>(wait.count() % 1000000000);
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        const int rc = ::ppoll(fds, 2, &ts, nullptr);
        if (rc < 0 && errno != EINTR) break;
        if (fds[1].revents) {
            result.stopped = true;
            break;
        }
        if (!(fds[0].revents & POLLIN)) continue;
        for (;;) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n =
                ::recvfrom(fd_, buf, sizeof buf - 1, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0) break;
            const std::size_t got = std::min(static_cast<std::size_t>(n), sizeof buf - 1);
            buf[got] = '\0';
            if (static_cast<std::size_t>(n) > got || !isSearchAnswer(std::string_view(buf, got))) {
                ++result.refused;
                continue;
            }
            ++result.answers;
            std::string ip = dotted(from.sin_addr);
            if (!seen.insert(ip).second) continue;
            if (found) found(FoundDevice{std::move(ip), options.port, Steady::now() - begin});
        }
    }
    if (next < targets.size()) result.sweepTime = Steady::now() - begin;
    running_ = false;
    if (done) done(result);
}

} // namespace quorvel
