// Figures of device administration on loopback:
//   upload     the whole model: frames, datagrams and pauses on a virtual clock; then against the
//              simulator in real time, the wire time and the longest single step the owner thread
//              spends building and queueing a frame (what a UI frame would stall for);
//   discovery  50 simulators spread over 127.0.0.2..254, searched from 127.0.0.1: the sweep's
//              length and when the last device was listed.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "admin/bulk_upload.h"
#include "admin/discovery.h"
#include "link/device_link.h"
#include "link/ipv4.h"
#include "sim/simulator.h"

using namespace quorvel;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

double ms(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void virtualUpload() {
    DeviceState s;
    loadFactoryDefaults(s);
    s.link.linkOnline = true;
    ManualClock clock;
    int datagrams = 0;
    Clock::time_point first{}, last{};
    PacedSender sender(
        [&](const Destination&, std::string_view, std::string&) {
            if (!datagrams++) first = clock.now();
            last = clock.now();
            return true;
        },
        clock, PacedSender::Threading::Manual);
    const Destination to = *makeDestination("127.0.0.2", kDevicePort);
    int frames = 0;
    CallbackSink sink([&](OutgoingFrame f) {
        frames += f.text[0] == '%';
        sender.enqueue(std::move(f), to);
    });
    BulkUpload up(s);
    const Clock::time_point start = clock.now();
    while (!(up.finished() && sender.settled())) {
        up.pump(sink, sender.idle());
        sender.pump();
        clock.advance(1ms);
    }
    std::printf(
        "upload (virtual clock): %d frames, %d datagrams, pauses %.2f s (first to last datagram %.2f s)\n",
        frames, datagrams, ms(clock.now() - start - 1ms) / 1000.0, ms(last - first) / 1000.0);
}

void liveUpload(std::uint16_t port) {
    sim::SimOptions so;
    so.bind = "127.0.0.2";
    so.port = port;
    so.meterHz = 20;
    sim::Simulator dev(so);
    std::string error;
    if (!dev.start(error)) {
        std::printf("upload: simulator: %s\n", error.c_str());
        return;
    }
    DeviceState s;
    loadFactoryDefaults(s);
    s.link.hostAddress = "127.0.0.2";
    s.link.udpPort = port;
    SteadyLinkClock clock;
    LinkOptions lo;
    lo.timing.restartWait = lo.timing.startWait = lo.timing.settleWait = 0ms;
    DeviceLink link(s, clock, lo);
    link.connect();
    const auto deadline = Steady::now() + 10s;
    while (!s.link.linkOnline && Steady::now() < deadline) {
        link.tick();
        link.deliverPending();
        link.waitForFrames(Steady::now() + 5ms);
    }
    if (!s.link.linkOnline) {
        std::printf("upload: the simulator never answered\n");
        return;
    }
    CallbackSink sink([&](OutgoingFrame f) { link.send(std::move(f)); });
    BulkUpload up(s);
    const auto sentBefore = link.senderStats().datagramsSent;
    Steady::duration longest{};
    const Steady::time_point start = Steady::now();
    // As the page's timer does: a look every 2 ms, reports taken in between.
    while (!up.finished() || !link.senderIdle()) {
        const Steady::time_point a = Steady::now();
        up.pump(sink, link.senderIdle());
        longest = std::max(longest, Steady::now() - a);
        link.deliverPending();
        std::this_thread::sleep_for(2ms);
    }
    const Steady::duration wire = Steady::now() - start;
    std::printf(
        "upload (simulator, real time): %llu datagrams in %.2f s on the wire; longest step on the owner "
        "thread %.3f ms; upload %s\n",
        static_cast<unsigned long long>(link.senderStats().datagramsSent - sentBefore), ms(wire) / 1000.0,
        ms(longest), up.completed() ? "complete" : "incomplete");
    link.closeLink();
    link.drain(500ms);
}

void discovery(std::uint16_t port) {
    std::vector<std::unique_ptr<sim::Simulator>> sims;
    for (int host = 2; host <= 254 && sims.size() < 50; host += 5) {
        sim::SimOptions so;
        so.bind = "127.0.0." + std::to_string(host);
        so.port = port;
        so.meterHz = 1;
        auto s = std::make_unique<sim::Simulator>(so);
        std::string error;
        if (!s->start(error)) {
            std::printf("discovery: %s: %s\n", so.bind.c_str(), error.c_str());
            return;
        }
        sims.push_back(std::move(s));
    }
    std::string error;
    DiscoveryOptions o;
    o.from = chooseInterface("127.0.0.1", error).value();
    o.port = o.bindPort = port;
    o.loopbackOnly = true;
    std::mutex mu;
    std::condition_variable cv;
    std::vector<Steady::duration> found;
    std::optional<DiscoveryResult> result;
    Discovery d;
    if (!d.start(
            o,
            [&](const FoundDevice& f) {
                std::lock_guard lock(mu);
                found.push_back(f.after);
            },
            {},
            [&](const DiscoveryResult& r) {
                std::lock_guard lock(mu);
                result = r;
                cv.notify_all();
            },
            error)) {
        std::printf("discovery: %s\n", error.c_str());
        return;
    }
    std::unique_lock lock(mu);
    cv.wait(lock, [&] { return result.has_value(); });
    const Steady::duration lastFound =
        found.empty() ? Steady::duration{} : *std::max_element(found.begin(), found.end());
    std::printf("discovery: %d frames, sweep %.3f s; %zu of %zu devices listed, the last after %.3f s\n",
                result->framesSent, ms(result->sweepTime) / 1000.0, found.size(), sims.size(),
                ms(lastFound) / 1000.0);
}

} // namespace

int main() {
    if (!loopbackOnlyFromEnvironment()) {
        std::fprintf(stderr, "bench_admin: set QUORVEL_LOOPBACK_ONLY=1\n");
        return 2;
    }
    const auto port = static_cast<std::uint16_t>(47000 + ::getpid() % 1000);
    virtualUpload();
    liveUpload(port);
    discovery(static_cast<std::uint16_t>(port + 1));
    return 0;
}
