// Device search: one datagram socket on the chosen interface both sends the search frames to the
// hosts of its subnet and hears the answers, on a worker thread. The device answers to the source
// of the request, so the socket that sweeps is the one that must listen.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/commands.h"

namespace quorvel {

// An answer longer than this is not a search answer; the receive buffer keeps one byte more so
// that an oversized datagram is recognised instead of being cut to a plausible frame.
inline constexpr std::size_t kMaxAnswerBytes = 128;

struct SearchInterface {
    std::string name;
    in_addr address{};
    in_addr netmask{};
};

// Every IPv4 interface that is up, in the order the system lists them.
std::vector<SearchInterface> ipv4Interfaces();

// `from` empty: the first interface that is up and not loopback. Otherwise the interface holding
// that address; a loopback address not listed itself is taken as 127.0.0.0/8 (the kernel delivers
// the whole block locally). nullopt with a reason when there is none.
std::optional<SearchInterface> chooseInterface(std::string_view from, std::string& error);

// The hosts a search reaches from `own`: a.b.c.2 .. a.b.c.254 of its own /24, minus itself and
// minus anything outside its subnet or on its subnet's network or broadcast address (a /25 ends
// at .127). A wider subnet is still only searched within the /24.
std::vector<in_addr> sweepTargets(const in_addr& own, const in_addr& netmask);

// "%R,01,05," + own octets as %03d + "," + port + "," + checksum + "#".
std::string buildSearchFrame(const Ipv4Octets& own, int port);

// A datagram is an answer when it is at most kMaxAnswerBytes (trailing zero bytes aside), a valid
// frame of letter R, and its second data field is exactly four decimal digits reading 5.
bool isSearchAnswer(std::string_view datagram);

struct FoundDevice {
    std::string ip;
    int port = 0;
    std::chrono::steady_clock::duration after{}; // since the sweep began
};

struct DiscoveryOptions {
    SearchInterface from;
    std::uint16_t port = kDevicePort;       // where devices listen, and where the socket binds
    std::uint16_t bindPort = kDevicePort;   // 0: any (tests that share a host)
    std::chrono::microseconds gap{5000};    // between two search frames
    std::chrono::milliseconds linger{2000}; // listening after the last frame
    bool loopbackOnly = false;              // refuse an interface outside 127.0.0.0/8
};

struct DiscoveryResult {
    int framesSent = 0;
    int targets = 0;
    int answers = 0;      // datagrams that passed the check (duplicates included)
    int refused = 0;      // datagrams that failed it
    bool stopped = false; // ended by stop() before its time
    std::string error;    // a send that failed, the first one
    std::chrono::steady_clock::duration sweepTime{};
};

class Discovery {
public:
    // All three run on the worker thread. found: once per IP, in order of arrival.
    using FoundFn = std::function<void(const FoundDevice&)>;
    using ProgressFn = std::function<void(int sent, int total)>;
    using DoneFn = std::function<void(const DiscoveryResult&)>;

    Discovery() = default;
    ~Discovery(); // stops
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    // Opens and binds the socket here, so a failure is known before anything is sent: then it
    // returns false with the reason, and no sweep runs.
    bool start(const DiscoveryOptions& options, FoundFn found, ProgressFn progress, DoneFn done,
               std::string& error);
    void stop(); // wakes the worker, joins it; idempotent
    bool running() const { return running_.load(); }

private:
    void run(DiscoveryOptions options, std::vector<in_addr> targets, FoundFn found, ProgressFn progress,
             DoneFn done);

    int fd_ = -1;
    int stopFd_ = -1;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

} // namespace quorvel
