// The remote-control API's figures: a set from a TCP client until the device has applied its
// frame, with ten other clients taking meters at the device's rate; and the CPU that 64 idle
// clients cost a served link. Prints figures, never fails on them.
#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../tests/remote/tcp_client.h"
#include "link/device_link.h"
#include "remote/api_server.h"
#include "remote/link_host.h"
#include "sim/simulator.h"

using namespace quorvel;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

double usBetween(Steady::time_point a, Steady::time_point b) {
    return std::chrono::duration<double, std::micro>(b - a).count();
}

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Served {
    DeviceState state;
    SteadyLinkClock clock;
    std::unique_ptr<DeviceLink> link;
    std::unique_ptr<remote::LinkHost> host;
    std::unique_ptr<remote::ApiServer> server;
    std::thread owner;

    Served(std::uint16_t port, bool connect) {
        loadFactoryDefaults(state);
        state.link.hostAddress = "127.0.0.2";
        state.link.udpPort = port;
        LinkOptions lo;
        lo.timing.restartWait = lo.timing.startWait = lo.timing.settleWait = 0ms;
        link = std::make_unique<DeviceLink>(state, clock, lo);
        host = std::make_unique<remote::LinkHost>(state, *link);
        remote::ApiOptions ao;
        ao.port = 0;
        server = std::make_unique<remote::ApiServer>(*host, ao);
        std::string error;
        if (!server->start(error)) {
            std::fprintf(stderr, "api: %s\n", error.c_str());
            std::exit(1);
        }
        host->addListener(&server->handler());
        if (connect) host->post([this] { host->connect(); });
        owner = std::thread([this] { host->run(); });
    }
    ~Served() {
        host->stop();
        owner.join();
        server->stop();
        link->closeLink();
        link->drain(500ms);
    }
};

void setToWire(std::uint16_t port, int n) {
    sim::SimOptions so;
    so.bind = "127.0.0.2";
    so.port = port;
    so.meterHz = 20;
    sim::Simulator device(so);
    std::string error;
    if (!device.start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        std::exit(1);
    }
    Served served(port, true);
    test::LineClient c(served.server->port());
    const auto giveUp = Steady::now() + 5s;
    while (c.request(R"({"jsonrpc":"2.0","id":0,"method":"status"})").find(R"("online":true)") ==
           std::string::npos) {
        if (Steady::now() > giveUp) {
            std::fprintf(stderr, "set to wire: no handshake\n");
            std::exit(1);
        }
        std::this_thread::sleep_for(20ms);
    }
    // Ten meter subscribers, read by a thread of their own so that they never back up.
    std::vector<std::unique_ptr<test::LineClient>> meters;
    for (int i = 0; i < 10; ++i) {
        meters.push_back(std::make_unique<test::LineClient>(served.server->port()));
        meters.back()->request(R"({"jsonrpc":"2.0","id":1,"method":"subscribe","params":{"meters":20}})");
    }
    std::atomic<bool> stop{false};
    std::atomic<long> meterLines{0};
    std::thread reader([&] {
        std::vector<pollfd> fds;
        for (auto& m : meters)
            fds.push_back({m->fd(), POLLIN, 0});
        char buf[65536];
        while (!stop) {
            if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
            for (auto& p : fds)
                if (p.revents & POLLIN) {
                    const ssize_t got = ::recv(p.fd, buf, sizeof buf, MSG_DONTWAIT);
                    for (ssize_t k = 0; k < got; ++k)
                        meterLines += buf[k] == '\n';
                }
        }
    });
    std::this_thread::sleep_for(300ms);

    std::vector<double> lat;
    for (int i = 0; i < n; ++i) {
        const std::uint64_t before = device.commandsApplied();
        const std::string line = R"({"jsonrpc":"2.0","id":2,"method":"set","params":{"input[1].level":)" +
                                 std::to_string(i % 2 ? 30 : 31) + "}}";
        const auto t0 = Steady::now();
        c.sendLine(line);
        while (device.commandsApplied() == before) {
            if (usBetween(t0, Steady::now()) > 1e6) {
                std::fprintf(stderr, "set %d never applied\n", i);
                std::exit(1);
            }
        }
        lat.push_back(usBetween(t0, Steady::now()));
        c.readLine();
    }
    stop = true;
    reader.join();
    std::sort(lat.begin(), lat.end());
    std::printf(
        "API set to frame applied at the device (%d sets, 10 clients on meters at 20/s, %ld meter lines): "
        "median %.1f us, p99 %.1f us\n",
        n, meterLines.load(), lat[lat.size() / 2], lat[std::min(lat.size() - 1, lat.size() * 99 / 100)]);
}

void idleClients(std::uint16_t port) {
    Served served(port, false); // offline: nothing but the clients themselves
    std::this_thread::sleep_for(200ms);
    double t0 = cpuSeconds();
    std::this_thread::sleep_for(2s);
    const double none = cpuSeconds() - t0;
    std::vector<std::unique_ptr<test::LineClient>> clients;
    for (int i = 0; i < 64; ++i)
        clients.push_back(std::make_unique<test::LineClient>(served.server->port()));
    while (served.server->connectedClients() < 64)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(200ms);
    t0 = cpuSeconds();
    std::this_thread::sleep_for(2s);
    const double idle = cpuSeconds() - t0;
    std::printf("CPU over 2 s: no clients %.4f s, 64 idle clients %.4f s\n", none, idle);
}

} // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 500;
    const auto port = static_cast<std::uint16_t>(46000 + ::getpid() % 1000);
    setToWire(port, n);
    idleClients(port);
    return 0;
}
