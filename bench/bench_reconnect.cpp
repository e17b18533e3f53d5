// Reconnection latency: how long after a device comes back on its address the link is online
// again with its full state, and then has its names report (after which it sends Q 1), over 20
// restarts of the simulator on loopback.
//
// Timings are shortened through ConnectionTiming (watchdog 300 ms, a retry every 100 ms) so that
// 20 tries take seconds; the latency is then the wait for the next retry plus the exchange. With
// the application's 5 s between retries the wait part scales to 0..5 s, the exchange does not.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "link/device_link.h"
#include "sim/simulator.h"

using namespace quorvel;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

std::unique_ptr<sim::Simulator> startSim(std::uint16_t port) {
    sim::SimOptions o;
    o.bind = "127.0.0.2";
    o.port = port;
    o.meterHz = 20;
    auto s = std::make_unique<sim::Simulator>(o);
    std::string error;
    if (!s->start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        std::exit(1);
    }
    return s;
}

template <class Pred> bool pumpUntil(DeviceLink& link, Pred pred, std::chrono::milliseconds limit) {
    const auto end = Steady::now() + limit;
    for (;;) {
        link.deliverPending();
        link.tick();
        if (pred()) return true;
        if (Steady::now() >= end) return false;
        link.waitForFrames(std::min(end, Steady::now() + 1ms));
    }
}

double ms(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void summary(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const double median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    std::printf("%-34s median %7.1f ms   worst %7.1f ms   best %7.1f ms   (n=%zu)\n", what, median, v.back(),
                v.front(), v.size());
}

} // namespace

int main() {
    const auto port = static_cast<std::uint16_t>(43000 + getpid() % 2000);
    DeviceState state;
    loadFactoryDefaults(state);
    state.link.hostAddress = "127.0.0.2";
    state.link.udpPort = port;
    SteadyLinkClock clock;
    LinkOptions o;
    o.timing.restartWait = o.timing.startWait = o.timing.settleWait = 0ms;
    o.timing.watchdog = 300ms;
    o.timing.reconnectInterval = 100ms;
    o.autoReconnect = true;
    DeviceLink link(state, clock, o);
    int names = 0;
    link.setReportObserver(
        [&](std::string_view, const DispatchResult& r) { names += r.kind == ReportKind::Names; });

    auto device = startSim(port);
    link.connect();
    if (!pumpUntil(
            link, [&] { return state.link.linkOnline && names > 0; }, 3000ms)) {
        std::fprintf(stderr, "no first connection\n");
        return 1;
    }

    std::vector<double> online, named;
    constexpr int kTries = 20;
    for (int i = 0; i < kTries; ++i) {
        device.reset();
        if (!pumpUntil(
                link, [&] { return link.connection().reconnecting(); }, 3000ms)) {
            std::fprintf(stderr, "try %d: silence not noticed\n", i);
            return 1;
        }
        // Back at varying points of the retry cycle; the link keeps retrying into the void meanwhile.
        pumpUntil(
            link, [] { return false; }, std::chrono::milliseconds(50 + 7 * i));
        const int namesBefore = names;
        // From the moment the device starts coming back: its socket may take a retry while it is
        // still starting up.
        const auto back = Steady::now();
        device = startSim(port);
        if (!pumpUntil(
                link, [&] { return state.link.linkOnline; }, 3000ms)) {
            std::fprintf(stderr, "try %d: not online again\n", i);
            return 1;
        }
        online.push_back(ms(Steady::now() - back));
        if (!pumpUntil(
                link, [&] { return names > namesBefore; }, 3000ms)) {
            std::fprintf(stderr, "try %d: no names report\n", i);
            return 1;
        }
        named.push_back(ms(Steady::now() - back));
    }
    std::printf("reconnection after the device returns, %d tries, retry every %lld ms:\n", kTries,
                static_cast<long long>(o.timing.reconnectInterval.count()));
    summary("online with the full state", online);
    summary("names report taken (Q 1 follows)", named);
    return 0;
}
