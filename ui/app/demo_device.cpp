#include "app/demo_device.h"

#include "link/udp_transport.h"

namespace quorvel::ui {
namespace {

std::string loopback(int host) {
    return "127.0.0." + std::to_string(host);
}

// Binding sends nothing; the socket is closed again at once and bound for real on CONNECT.
bool addressFree(const std::string& address, std::uint16_t port) {
    UdpTransport probe;
    std::string ignored;
    if (!probe.open(address, port, ignored)) return false;
    probe.close();
    return true;
}

} // namespace

bool startDemoDevice(sim::SimOptions options, DemoDevice& out, std::string& error, int firstHost,
                     int lastHost) {
    out = DemoDevice{};
    std::string lastWhy;
    for (int h = firstHost; h <= lastHost && !out.simulator; ++h) {
        options.bind = loopback(h);
        auto s = std::make_unique<sim::Simulator>(options);
        if (s->start(lastWhy)) {
            out.simulator = std::move(s);
            out.deviceAddress = options.bind;
        }
    }
    if (!out.simulator) {
        error =
            "no free address in " + loopback(firstHost) + " .. " + loopback(lastHost) + " (" + lastWhy + ")";
        return false;
    }
    const std::uint16_t port = out.simulator->boundPort();
    for (int h = 1; h <= lastHost; ++h) {
        const std::string candidate = loopback(h);
        if (candidate == out.deviceAddress || !addressFree(candidate, port)) continue;
        out.localAddress = candidate;
        return true;
    }
    error = "no free local address for the application's socket on port " + std::to_string(port);
    out = DemoDevice{};
    return false;
}

} // namespace quorvel::ui
