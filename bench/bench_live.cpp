// Figures of the live link against the simulator on loopback:
//   edit to wire   from storing a fader value to the device having applied the A frame,
//                  beside the raw loopback round trip measured in the same run;
//   receive path   100,000 status reports sent back to back, dispatched on the owner thread;
//   idle cost      CPU of the link process with the device reporting 20 times a second, and
//                  its wake-ups while the device is silent.
// The device for the idle figure runs in a child process so that its CPU is not counted.
#include <arpa/inet.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "link/device_link.h"
#include "link/edit_sink.h"
#include "sim/simulator.h"

using namespace quorvel;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

double usBetween(Steady::time_point a, Steady::time_point b) {
    return std::chrono::duration<double, std::micro>(b - a).count();
}

struct Percentiles {
    double median, p99;
};

Percentiles percentiles(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

int udpSocket(const char* addr, std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, addr, &sa.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        std::perror("bind");
        std::exit(1);
    }
    return fd;
}

// Raw datagram ping-pong between two loopback addresses, no framing.
Percentiles rawRoundTrip(std::uint16_t port, int n) {
    int a = udpSocket("127.0.0.1", port), b = udpSocket("127.0.0.2", port);
    sockaddr_in toB{};
    toB.sin_family = AF_INET;
    toB.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.2", &toB.sin_addr);
    std::thread echo([&] {
        char buf[64];
        for (int i = 0; i < n; ++i) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t got = ::recvfrom(b, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (got > 0)
                ::sendto(b, buf, static_cast<std::size_t>(got), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    });
    std::vector<double> rtt;
    const char msg[] = "%A,01,01,00,3C,0000#";
    char buf[64];
    for (int i = 0; i < n; ++i) {
        auto t0 = Steady::now();
        ::sendto(a, msg, sizeof msg - 1, 0, reinterpret_cast<sockaddr*>(&toB), sizeof toB);
        ::recv(a, buf, sizeof buf, 0);
        rtt.push_back(usBetween(t0, Steady::now()));
    }
    echo.join();
    ::close(a);
    ::close(b);
    return percentiles(rtt);
}

// Runs the owner loop until pred holds or the limit passes.
template <class Pred> bool pump(DeviceLink& link, Pred pred, std::chrono::milliseconds limit) {
    auto end = Steady::now() + limit;
    while (!pred()) {
        if (Steady::now() >= end) return false;
        link.tick();
        link.deliverPending();
        if (pred()) break;
        auto until = end;
        if (auto d = link.nextDeadline()) until = std::min(until, std::max(*d, Steady::now()));
        link.waitForFrames(until);
    }
    return true;
}

LinkOptions quick() {
    LinkOptions o;
    o.timing.restartWait = o.timing.startWait = o.timing.settleWait = 0ms;
    return o;
}

bool connectTo(DeviceLink& link, DeviceState& s, bool* names) {
    link.connect();
    return pump(
        link, [&] { return s.link.linkOnline && (!names || *names); }, 5000ms);
}

void editToWire(std::uint16_t port, int n) {
    Percentiles raw = rawRoundTrip(port + 1, n);

    sim::SimOptions so;
    so.bind = "127.0.0.2";
    so.port = port;
    so.meterHz = 0; // a quiet line: only our edits
    sim::Simulator device(so);
    std::string error;
    if (!device.start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        std::exit(1);
    }
    DeviceState s;
    loadFactoryDefaults(s);
    s.link.hostAddress = "127.0.0.2";
    s.link.udpPort = port;
    SteadyLinkClock clock;
    DeviceLink link(s, clock, quick());
    bool names = false;
    link.setReportObserver(
        [&](std::string_view, const DispatchResult& r) { names |= r.kind == ReportKind::Names; });
    if (!connectTo(link, s, &names)) {
        std::fprintf(stderr, "edit to wire: no handshake\n");
        std::exit(1);
    }
    link.drain(1s);
    std::this_thread::sleep_for(50ms);

    std::vector<double> lat, call, floor;
    lat.reserve(static_cast<std::size_t>(n));
    const int channel[] = {1};
    for (int i = 0; i < n; ++i) {
        std::uint64_t before = device.commandsApplied();
        auto t0 = Steady::now();
        s.in(1).level = i % 71;
        link.sendCommand('A', channel);
        call.push_back(usBetween(t0, Steady::now()));
        while (device.commandsApplied() == before) {
            if (usBetween(t0, Steady::now()) > 1e6) {
                std::fprintf(stderr, "edit %d never applied\n", i);
                std::exit(1);
            }
        }
        lat.push_back(usBetween(t0, Steady::now()));
    }
    // The floor set by the device: a ready-made frame from a plain socket until it is applied.
    {
        int fd = udpSocket("127.0.0.1", static_cast<std::uint16_t>(port + 7));
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        inet_pton(AF_INET, "127.0.0.2", &to.sin_addr);
        for (int i = 0; i < n; ++i) {
            s.in(1).level = i % 71;
            std::string frame = buildA(s, 1);
            std::uint64_t before = device.commandsApplied();
            auto t0 = Steady::now();
            ::sendto(fd, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            while (device.commandsApplied() == before && usBetween(t0, Steady::now()) < 1e6) {
            }
            floor.push_back(usBetween(t0, Steady::now()));
        }
        ::close(fd);
    }
    Percentiles e = percentiles(lat), c = percentiles(call), f = percentiles(floor);
    std::printf("edit to wire (%d edits): median %.1f us, p99 %.1f us (of which the store-and-send call: "
                "median %.1f us)\n",
                n, e.median, e.p99, c.median);
    std::printf("ready-made frame from a plain socket to applied: median %.1f us, p99 %.1f us\n", f.median,
                f.p99);
    std::printf("raw loopback round trip (%d): median %.1f us, p99 %.1f us; half median %.1f us -> "
                "edit/half-RTT %.2fx\n",
                n, raw.median, raw.p99, raw.median / 2, e.median / (raw.median / 2));
}

// A linked group of three faders dragged at 1 kHz for a second: every move queues three A frames,
// each followed by the member pause. What reaches the device, and how long after the last move it
// holds the final levels.
void fastDrag(std::uint16_t port) {
    sim::SimOptions so;
    so.bind = "127.0.0.2";
    so.port = port;
    so.meterHz = 0;
    sim::Simulator device(so);
    std::string error;
    if (!device.start(error)) std::exit(1);
    DeviceState s;
    loadFactoryDefaults(s);
    s.link.hostAddress = "127.0.0.2";
    s.link.udpPort = port;
    SteadyLinkClock clock;
    DeviceLink link(s, clock, quick());
    bool names = false;
    link.setReportObserver(
        [&](std::string_view, const DispatchResult& r) { names |= r.kind == ReportKind::Names; });
    if (!connectTo(link, s, &names)) std::exit(1);
    link.drain(1s);
    std::this_thread::sleep_for(50ms);
    const std::uint64_t before = device.commandsApplied();
    const SenderStats s0 = link.senderStats();
    const int moves = 1000;
    auto t0 = Steady::now();
    for (int i = 0; i < moves; ++i) {
        for (int ch = 1; ch <= 3; ++ch) {
            s.in(ch).level = i % 71;
            link.send({buildA(s, ch), kMemberPause, false});
        }
        std::this_thread::sleep_until(t0 + std::chrono::microseconds(1000 * (i + 1)));
    }
    auto last = Steady::now();
    auto settled = [&] {
        DeviceState d = device.snapshot();
        return d.in(1).level == s.in(1).level && d.in(2).level == s.in(2).level &&
               d.in(3).level == s.in(3).level;
    };
    while (!settled() && Steady::now() - last < 60s)
        std::this_thread::sleep_for(100us);
    const double tail = usBetween(last, Steady::now()) / 1000.0;
    link.drain(60s);
    const SenderStats s1 = link.senderStats();
    std::printf("fast drag (3 linked faders, %d moves in %.2f s): %llu of %d frames sent (%llu replaced), "
                "device applied %llu; final levels there %.1f ms after the last move\n",
                moves, usBetween(t0, last) / 1e6,
                static_cast<unsigned long long>(s1.framesSent - s0.framesSent), 3 * moves,
                static_cast<unsigned long long>(s1.coalesced - s0.coalesced),
                static_cast<unsigned long long>(device.commandsApplied() - before), tail);
}

void receivePath(std::uint16_t port, int n) {
    sim::SimOptions so;
    so.bind = "127.0.0.2";
    so.port = port;
    so.meterHz = 0;
    sim::Simulator device(so);
    std::string error;
    if (!device.start(error)) std::exit(1);
    DeviceState s;
    loadFactoryDefaults(s);
    s.link.hostAddress = "127.0.0.2";
    s.link.udpPort = port;
    SteadyLinkClock clock;
    DeviceLink link(s, clock, quick());
    long status = 0;
    bool names = false;
    link.setReportObserver([&](std::string_view, const DispatchResult& r) {
        status += r.kind == ReportKind::Status;
        names |= r.kind == ReportKind::Names;
    });
    if (!connectTo(link, s, &names)) std::exit(1);
    link.drain(1s);
    std::this_thread::sleep_for(50ms);
    link.deliverPending();
    status = 0;
    rusage r0{}, r1{};
    getrusage(RUSAGE_SELF, &r0);
    auto t0 = Steady::now();
    device.sendStatusBurst(n);
    // Ends when all have come, or when the line has been quiet for a while (some were lost).
    auto lastProgress = Steady::now();
    long seen = 0;
    while (status < n) {
        link.waitForFrames(Steady::now() + 20ms);
        link.deliverPending();
        if (status != seen) {
            seen = status;
            lastProgress = Steady::now();
        } else if (Steady::now() - lastProgress > 500ms) {
            break;
        }
    }
    auto t1 = status < n ? lastProgress : Steady::now();
    getrusage(RUSAGE_SELF, &r1);
    double secs = usBetween(t0, t1) / 1e6;
    std::printf("receive path: %ld of %d status reports dispatched in %.3f s = %.0f frames/s "
                "(receiver dropped %llu foreign, %llu datagrams)\n",
                status, n, secs, static_cast<double>(status) / secs,
                static_cast<unsigned long long>(link.receiveStats().foreignDropped),
                static_cast<unsigned long long>(link.receiveStats().datagrams));
}

double cpuSeconds(const rusage& r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// Runs a simulator in a child process until the pipe closes.
pid_t spawnDevice(std::uint16_t port, double hz, double silentAfter, int& keepAlive) {
    int fds[2];
    if (::pipe(fds) != 0) std::exit(1);
    // The child must not inherit (and some exit path write out again) figures already printed.
    std::fflush(stdout);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[1]);
        sim::SimOptions so;
        so.bind = "127.0.0.3";
        so.port = port;
        so.meterHz = hz;
        so.silentAfterSeconds = silentAfter;
        sim::Simulator device(so);
        std::string error;
        if (!device.start(error)) _exit(1);
        char c;
        while (::read(fds[0], &c, 1) > 0) {
        }
        device.stop();
        _exit(0);
    }
    ::close(fds[0]);
    keepAlive = fds[1];
    std::this_thread::sleep_for(200ms);
    return pid;
}

void idleCost(std::uint16_t port, double seconds) {
    int keep = -1;
    pid_t child = spawnDevice(port, 20, -1, keep);
    DeviceState s;
    loadFactoryDefaults(s);
    s.link.hostAddress = "127.0.0.3";
    s.link.udpPort = port;
    SteadyLinkClock clock;
    {
        DeviceLink link(s, clock, quick());
        bool names = false;
        long reports = 0;
        link.setReportObserver([&](std::string_view, const DispatchResult& r) {
            names |= r.kind == ReportKind::Names;
            ++reports;
        });
        if (!connectTo(link, s, &names)) {
            std::fprintf(stderr, "idle: no handshake\n");
            std::exit(1);
        }
        rusage r0{}, r1{};
        getrusage(RUSAGE_SELF, &r0);
        reports = 0;
        auto t0 = Steady::now();
        pump(
            link, [] { return false; }, std::chrono::milliseconds(static_cast<long>(seconds * 1000)));
        getrusage(RUSAGE_SELF, &r1);
        double wall = usBetween(t0, Steady::now()) / 1e6;
        double cpu = cpuSeconds(r1) - cpuSeconds(r0);
        std::printf(
            "idle cost at 20 reports/s: %ld reports in %.1f s, link CPU %.3f s = %.3f %% of one core\n",
            reports, wall, cpu, 100.0 * cpu / wall);
    }
    ::close(keep);
    ::waitpid(child, nullptr, 0);

    // A device that falls silent: the link should not wake at all (the watchdog is 10 s away).
    child = spawnDevice(static_cast<std::uint16_t>(port + 1), 20, 0.3, keep);
    s.link.hostAddress = "127.0.0.3";
    s.link.udpPort = port + 1;
    {
        DeviceLink link(s, clock, quick());
        link.connect();
        pump(
            link, [&] { return s.link.linkOnline; }, 5000ms);
        pump(
            link, [] { return false; }, 500ms); // past the silence point
        rusage r0{}, r1{};
        getrusage(RUSAGE_SELF, &r0);
        auto t0 = Steady::now();
        pump(
            link, [] { return false; }, 3000ms);
        getrusage(RUSAGE_SELF, &r1);
        std::printf("silent line for %.1f s: %ld voluntary context switches, CPU %.4f s\n",
                    usBetween(t0, Steady::now()) / 1e6, r1.ru_nvcsw - r0.ru_nvcsw,
                    cpuSeconds(r1) - cpuSeconds(r0));
    }
    ::close(keep);
    ::waitpid(child, nullptr, 0);
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QUORVEL_LOOPBACK_ONLY") == nullptr) ::setenv("QUORVEL_LOOPBACK_ONLY", "1", 1);
    int edits = argc > 1 ? std::atoi(argv[1]) : 10000;
    int burst = argc > 2 ? std::atoi(argv[2]) : 100000;
    double idle = argc > 3 ? std::atof(argv[3]) : 10.0;
    const auto base = static_cast<std::uint16_t>(42000 + ::getpid() % 1000 * 8);
    // The idle figure forks; do it before this process has any threads.
    idleCost(base, idle);
    editToWire(static_cast<std::uint16_t>(base + 2), edits);
    receivePath(static_cast<std::uint16_t>(base + 4), burst);
    fastDrag(static_cast<std::uint16_t>(base + 6));
    return 0;
}
