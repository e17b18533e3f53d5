// The OSC surface: a UDP socket on its own thread (it sleeps in poll until a datagram or the owner
// wakes it), the dispatcher that turns messages into edits, and feedback. Every client that sent
// anything is registered (at most kMaxClients; one that subscribed is never pushed out by a
// newcomer), and every change of a field, whoever made it, goes back to each of them on the
// field's own addresses, so motorised faders and tablet layouts follow. Feedback only ever goes to
// the address a client's datagrams came from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "osc/osc_dispatch.h"
#include "remote/remote_host.h"

namespace quorvel::osc {

inline constexpr std::size_t kMaxClients = 16;
inline constexpr double kMaxMeterRate = 100; // meters a second; status reports bound it anyway

struct OscEndpoint {
    std::string address = "127.0.0.1";
    std::uint16_t port = 0;
};
// "PORT" (on 127.0.0.1) or "ADDR:PORT", ADDR dotted IPv4, PORT 1..65535. False with one line.
bool parseOscEndpoint(std::string_view text, OscEndpoint& out, std::string& error);
// OSC has no token: anyone who reaches the port may edit. The warning to print when the address is
// not loopback; empty for loopback.
std::string offLoopbackWarning(std::string_view address, std::uint16_t port);

struct OscServerOptions {
    OscEndpoint endpoint;      // port 0: any free port (tests)
    bool loopbackOnly = false; // feedback to a client outside 127.0.0.0/8 is refused
    std::size_t maxClients = kMaxClients;
};

struct OscServerStats {
    std::uint64_t datagramsSent = 0;
    std::uint64_t sendFailures = 0;
    std::uint64_t refusedDestinations = 0; // loopback-only: feedback off loopback held back
    std::uint64_t clientsRefused = 0;      // every slot held by a subscriber
    std::uint64_t repliesDropped = 0;      // a client's pending replies were at their bound
};

class OscServer : public remote::RemoteListener {
public:
    // On the owner thread. nullptr with one line in error when the socket cannot be had.
    static std::unique_ptr<OscServer> start(remote::RemoteHost& host, const OscServerOptions& options,
                                            std::string& error);
    ~OscServer() override; // on the owner thread; stops the I/O thread
    OscServer(const OscServer&) = delete;
    OscServer& operator=(const OscServer&) = delete;

    std::uint16_t port() const;
    const std::string& address() const;
    std::size_t clientCount() const;
    DispatchStats dispatchStats() const;
    OscServerStats stats() const;

    // On the owner thread: the value of `field` (every value when nullopt) to one client, as a
    // query's answer goes.
    void tell(const ClientAddress& to, std::optional<FieldId> field);

    // RemoteListener, on the owner thread.
    void fieldsChanged(const ChangeSet& changes) override;
    void metersUpdated() override;

private:
    struct Impl;
    explicit OscServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// What the application and quorvelctl serve call: an OSC server on address:port over the host,
// feedback under the environment's loopback guard. The caller hands it every change and meter
// update it tells its other listeners.
std::unique_ptr<OscServer> startOscBridge(remote::RemoteHost& host, const std::string& address,
                                          std::uint16_t port, std::string& error);

// The same from the option's text, "PORT" or "ADDR:PORT" (quorvelctl serve --osc); the error
// names the option's fault or the socket's.
std::unique_ptr<OscServer> startOscBridge(remote::RemoteHost& host, std::string_view option,
                                          std::string& error);

} // namespace quorvel::osc
