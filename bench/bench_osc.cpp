// OSC figures on loopback:
//   message to wire  from a surface sending /quorvel/input/3/level/raw to the A frame arriving at
//                    a socket standing in for the device, through the server's thread, the owner
//                    thread's drain, the edit operation and the paced sender; a second client is
//                    subscribed, so the feedback is part of the path;
//   decode           one datagram through liblo's decoding and the address space, alone;
//   idle cost        CPU of the process over two seconds with every client slot taken and
//                    nothing moving (the owner loop of this program stopped first).
#include <arpa/inet.h>
#include <lo/lo.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "link/paced_sender.h"
#include "osc/osc_server.h"
#include "state_host.h"

using namespace quorvel;
using Steady = std::chrono::steady_clock;

namespace {

int udpSocket(const char* addr) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    inet_pton(AF_INET, addr, &sa.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        std::perror("bind");
        std::exit(1);
    }
    return fd;
}

std::uint16_t portOf(int fd) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    return ntohs(sa.sin_port);
}

std::string serialise(const char* path, std::int32_t v) {
    lo_message m = lo_message_new();
    lo_message_add_int32(m, v);
    std::size_t len = 0;
    void* b = lo_message_serialise(m, path, nullptr, &len);
    std::string s(static_cast<const char*>(b), len);
    std::free(b);
    lo_message_free(m);
    return s;
}

void print(const char* what, std::vector<double> us) {
    std::sort(us.begin(), us.end());
    std::printf("%-18s median %8.1f us   p99 %8.1f us   (%zu runs)\n", what, us[us.size() / 2],
                us[std::min(us.size() - 1, us.size() * 99 / 100)], us.size());
}

} // namespace

int main() {
    const int device = udpSocket("127.0.0.2"); // stands in for the mixer
    const int out = udpSocket("127.0.0.1");
    const auto to = makeDestination("127.0.0.2", portOf(device));
    PacedSender sender([out](const Destination& d, std::string_view datagram, std::string&) {
        return ::sendto(out, datagram.data(), datagram.size(), 0,
                        reinterpret_cast<const sockaddr*>(&d.address),
                        sizeof d.address) == static_cast<ssize_t>(datagram.size());
    });
    CallbackSink sink([&](OutgoingFrame f) { sender.enqueue(std::move(f), *to); });
    osc::rig::StateHost host(sink);

    osc::OscServerOptions o;
    o.loopbackOnly = true;
    std::string error;
    auto server = osc::OscServer::start(host, o, error);
    if (!server) {
        std::fprintf(stderr, "bench_osc: %s\n", error.c_str());
        return 1;
    }
    host.setListener(server.get());

    std::atomic<bool> stop{false};
    std::thread owner([&] {
        while (!stop.load()) {
            host.waitPosted(std::chrono::milliseconds(5));
            host.pump();
        }
    });

    sockaddr_in srv{};
    srv.sin_family = AF_INET;
    srv.sin_port = htons(server->port());
    inet_pton(AF_INET, "127.0.0.1", &srv.sin_addr);
    const int tablet = udpSocket("127.0.0.1");
    const std::string subscribe = [] {
        lo_message m = lo_message_new();
        std::size_t len = 0;
        void* b = lo_message_serialise(m, "/quorvel/subscribe", nullptr, &len);
        std::string s(static_cast<const char*>(b), len);
        std::free(b);
        lo_message_free(m);
        return s;
    }();
    ::sendto(tablet, subscribe.data(), subscribe.size(), 0, reinterpret_cast<sockaddr*>(&srv), sizeof srv);
    std::thread drainTablet([&] { // a tablet that reads its feedback
        char buf[65536];
        while (!stop.load()) {
            pollfd p{tablet, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) (void)::recv(tablet, buf, sizeof buf, 0);
        }
    });

    const int surface = udpSocket("127.0.0.1");
    const std::string messages[2] = {serialise("/quorvel/input/3/level/raw", 40),
                                     serialise("/quorvel/input/3/level/raw", 41)};
    std::vector<double> wire;
    char buf[256];
    for (int i = 0; i < 3000; ++i) {
        const std::string& m = messages[i % 2];
        const auto t0 = Steady::now();
        ::sendto(surface, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&srv), sizeof srv);
        pollfd p{device, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) {
            std::fprintf(stderr, "bench_osc: no frame for message %d\n", i);
            return 1;
        }
        (void)::recv(device, buf, sizeof buf, 0);
        if (i >= 100) wire.push_back(std::chrono::duration<double, std::micro>(Steady::now() - t0).count());
    }
    print("message to wire", wire);

    std::vector<double> decode;
    const std::string& m = messages[0];
    for (int round = 0; round < 200; ++round) {
        const auto t0 = Steady::now();
        int n = 0;
        for (int i = 0; i < 1000; ++i)
            osc::forEachMessage(m.data(), m.size(),
                                [&](std::string_view, const osc::Request& r) { n += r.raw; });
        decode.push_back(std::chrono::duration<double, std::micro>(Steady::now() - t0).count() / 1000);
        if (n == 0) std::puts("");
    }
    print("decode", decode);
    std::printf("feedback datagrams sent %llu, coalesced %llu\n",
                static_cast<unsigned long long>(server->stats().datagramsSent),
                static_cast<unsigned long long>(server->dispatchStats().coalesced));

    stop.store(true);
    owner.join();
    drainTablet.join();

    std::vector<int> idle;
    const std::string hello = serialise("/quorvel/input/1/level/raw", 10);
    for (std::size_t i = 0; i + 2 < osc::kMaxClients; ++i) {
        idle.push_back(udpSocket("127.0.0.1"));
        ::sendto(idle.back(), hello.data(), hello.size(), 0, reinterpret_cast<sockaddr*>(&srv), sizeof srv);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    host.pump();
    auto cpu = [] {
        rusage u{};
        ::getrusage(RUSAGE_SELF, &u);
        return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
               (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
    };
    const double before = cpu();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::printf("idle cost          %.2f ms CPU in 2 s with %zu clients registered\n", cpu() - before,
                server->clientCount());
    for (int fd : idle)
        ::close(fd);
    host.setListener(nullptr);
    server.reset();
    ::close(device);
    ::close(out);
    ::close(tablet);
    ::close(surface);
    return 0;
}
