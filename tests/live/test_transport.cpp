// Transport, receive thread and paced sender over real loopback sockets, with plain sockets
// standing in for the device and for a stranger.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/clock.h"
#include "link/device_link.h"
#include "link/frame.h"
#include "link/paced_sender.h"
#include "link/udp_transport.h"
#include "ports.h"

using namespace quorvel;
using namespace std::chrono_literals;

namespace {

// A bound datagram socket on a loopback address, for playing the device or an intruder.
struct Peer {
    int fd = -1;
    Peer(const char* addr, std::uint16_t port) {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, addr, &sa.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) ADD_FAILURE() << "bind " << addr;
    }
    ~Peer() { ::close(fd); }
    void sendTo(const char* addr, std::uint16_t port, std::string_view data) const {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, addr, &sa.sin_addr);
        ::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    }
    // Next datagram within the time limit, or "" when none came.
    std::string receive(std::chrono::milliseconds within = 1000ms) const {
        timeval tv{0, static_cast<suseconds_t>(within.count() * 1000)};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        char buf[4096];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    }
};

std::vector<std::string> collect(ReceiveThread& rx, std::size_t want) {
    std::vector<std::string> got;
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
        rx.waitForFrames(deadline);
        std::deque<std::string> q;
        rx.takeFrames(q);
        for (auto& f : q)
            got.push_back(f);
    }
    return got;
}

} // namespace

TEST(LinkAddresses, OnlyDottedDecimalIpv4IsAccepted) {
    EXPECT_TRUE(isValidIpv4("192.168.1.106"));
    EXPECT_TRUE(isValidIpv4("127.0.0.2"));
    // inet_addr would take the first three as some other host, and the last as broadcast.
    for (const char* bad : {"192.168.1", "0x7f.0.0.1", "1.2.3.256", "", " 127.0.0.1", "127.0.0.1 ",
                            "localhost", "255.255.255.2555", "1.2.3.4.5"})
        EXPECT_FALSE(isValidIpv4(bad)) << bad;
    EXPECT_TRUE(isLoopbackIpv4("127.255.0.9"));
    EXPECT_FALSE(isLoopbackIpv4("128.0.0.1"));
    EXPECT_EQ(defaultBindAddress("127.0.0.2"), "127.0.0.1");
    EXPECT_EQ(defaultBindAddress("192.168.1.106"), "0.0.0.0");
}

TEST(LinkTransport, LoopbackGuardAndMalformedAddressesNeverReachTheSocket) {
    ASSERT_TRUE(loopbackOnlyFromEnvironment()) << "tests must run with QUORVEL_LOOPBACK_ONLY=1";
    UdpTransport t;
    std::string error;
    ASSERT_TRUE(t.open("127.0.0.1", testPort(0), error)) << error;
    EXPECT_FALSE(t.sendTo("192.168.1.106", testPort(1), "%Q,01,00,25E0#", error));
    EXPECT_NE(error.find("QUORVEL_LOOPBACK_ONLY"), std::string::npos) << error;
    EXPECT_FALSE(t.sendTo("192.168.1", testPort(1), "%Q,01,00,25E0#", error));
    EXPECT_NE(error.find("malformed"), std::string::npos) << error;

    // Through the whole link: refused before queuing, so the sender never sees them.
    DeviceState s;
    s.link.hostAddress = "192.168.1.106";
    s.link.udpPort = testPort(2);
    SteadyLinkClock clock;
    DeviceLink link(s, clock);
    std::vector<std::string> failures;
    link.setSendFailureHandler([&](const std::string& e) { failures.push_back(e); });
    EXPECT_FALSE(link.send({"%Q,01,00,25E0#", {}, false}));
    s.link.hostAddress = "10.0.0";
    EXPECT_FALSE(link.send({"%Q,01,00,25E0#", {}, false}));
    EXPECT_TRUE(link.drain(500ms));
    EXPECT_EQ(link.senderStats().datagramsSent, 0u);
    EXPECT_EQ(link.refusedFrames(), 2u);
    EXPECT_EQ(failures.size(), 2u);
}

TEST(LinkTransport, SendWithoutSocketFails) {
    UdpTransport t;
    std::string error;
    EXPECT_FALSE(t.sendTo("127.0.0.2", testPort(0), "%Q,01,00,25E0#", error));
    EXPECT_FALSE(error.empty());
}

TEST(LinkReceiveThread, AssemblesFramesOnlyFromTheDeviceAndCutsAtZero) {
    const std::uint16_t port = testPort(0);
    UdpTransport t;
    std::string error;
    ASSERT_TRUE(t.open("127.0.0.1", port, error)) << error;
    Peer device("127.0.0.2", port);
    Peer stranger("127.0.0.3", port);
    ReceiveThread rx;
    int wakes = 0;
    std::mutex m;
    rx.setWake([&] {
        std::lock_guard lock(m);
        ++wakes;
    });
    in_addr dev{};
    inet_pton(AF_INET, "127.0.0.2", &dev);
    ASSERT_TRUE(rx.start(t.fd(), dev, error)) << error;

    const std::string q0 = "%Q,01,00,25E0#", q1 = "%Q,01,01,B5E1#";
    stranger.sendTo("127.0.0.1", port, q1);                           // dropped: not the device
    device.sendTo("127.0.0.1", port, "junk#" + q0.substr(0, 5));      // split across datagrams
    device.sendTo("127.0.0.1", port, q0.substr(5) + q1);              // ... and two in one
    device.sendTo("127.0.0.1", port, q0 + std::string(1, '\0') + q1); // text ends at the zero byte
    device.sendTo("127.0.0.1", port, "%Q,01,01,b5e1#");               // lower-case checksum
    auto got = collect(rx, 3);
    EXPECT_EQ(got, (std::vector<std::string>{q0, q1, q0}));
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(rx.hasFrames());
    ReceiveStats st = rx.stats();
    EXPECT_EQ(st.foreignDropped, 1u);
    EXPECT_EQ(st.framesAccepted, 3u);
    // Each text thrown away is counted by its reason and kept for the owner to show.
    auto count = [&](DropReason why) { return st.drops[static_cast<std::size_t>(why)]; };
    EXPECT_EQ(count(DropReason::WrongSender), 1u);
    EXPECT_EQ(count(DropReason::NoStart), 1u);
    EXPECT_EQ(count(DropReason::BadChecksum), 1u);
    std::vector<DropRecord> drops;
    rx.takeDrops(drops);
    ASSERT_EQ(drops.size(), 3u);
    EXPECT_EQ(drops[0].reason, DropReason::WrongSender);
    EXPECT_EQ(drops[0].text, "from 127.0.0.3");
    EXPECT_EQ(drops[2].text, "%Q,01,01,b5e1#");
    drops.clear();
    rx.takeDrops(drops);
    EXPECT_TRUE(drops.empty());
    {
        std::lock_guard lock(m);
        EXPECT_GE(wakes, 1);
    }

    // A full 2048-byte datagram whose "#" is its very last byte is taken whole.
    std::string big = std::string(2048 - q1.size(), 'x') + q1;
    ASSERT_EQ(big.size(), 2048u);
    device.sendTo("127.0.0.1", port, big);
    EXPECT_EQ(collect(rx, 1), (std::vector<std::string>{q1}));

    // Stopping wakes the thread rather than waiting for traffic that never comes (the bound is
    // only there to fail instead of hanging).
    auto t0 = std::chrono::steady_clock::now();
    rx.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_FALSE(rx.running());
}

TEST(LinkPacedSender, PausesFollowTheirFramesAndFailuresAreCounted) {
    struct Sent {
        std::string data;
        std::chrono::steady_clock::time_point at;
    };
    std::mutex m;
    std::vector<Sent> sent;
    PacedSender sender([&](const Destination&, std::string_view d, std::string& error) {
        std::lock_guard lock(m);
        sent.push_back({std::string(d), std::chrono::steady_clock::now()});
        if (d == "fail") {
            error = "refused";
            return false;
        }
        return true;
    });
    Destination to{"127.0.0.2", 1};
    sender.enqueue({"Z", 10ms, false}, to);
    sender.enqueue({"A", 0ms, false}, to);
    sender.enqueue({"B", 0ms, false}, to);
    sender.enqueue({std::string(600, 'v'), 10ms, true}, to); // three pieces, each followed by the pause
    sender.enqueue({"fail", 30ms, false}, to);
    sender.enqueue({"after", 0ms, false}, to);
    // Nobody waits for the wire: the paced frames are still to go when the last enqueue returns.
    {
        std::lock_guard lock(m);
        EXPECT_LT(sent.size(), 8u);
    }
    ASSERT_TRUE(sender.drain(2s));

    std::lock_guard lock(m);
    ASSERT_EQ(sent.size(), 8u);
    EXPECT_GE(sent[1].at - sent[0].at, 10ms); // Z .. A
    EXPECT_EQ(sent[3].data.size(), 256u);
    EXPECT_EQ(sent[5].data.size(), 88u);
    EXPECT_GE(sent[4].at - sent[3].at, 10ms);
    EXPECT_GE(sent[5].at - sent[4].at, 10ms);
    EXPECT_GE(sent[6].at - sent[5].at, 10ms);
    EXPECT_GE(sent[7].at - sent[6].at, 30ms); // a failed frame still keeps its pause
    SenderStats st = sender.stats();
    EXPECT_EQ(st.failures, 1u);
    EXPECT_EQ(st.framesSent, 5u);
    EXPECT_EQ(st.lastError, "refused");
}

TEST(DeviceLinkWire, HandshakeNamesTheBoundAddressAndPageEditsWaitForOnline) {
    const std::uint16_t port = testPort(3);
    Peer device("127.0.0.2", port);
    DeviceState s;
    loadFactoryDefaults(s);
    s.link.hostAddress = "127.0.0.2";
    s.link.udpPort = port;
    ManualClock clock;
    LinkOptions options;
    options.bindAddress = "127.0.0.4";
    DeviceLink link(s, clock, options);

    // Offline, a page edit is refused rather than sent.
    std::string error;
    const int channel[] = {3};
    EXPECT_FALSE(link.sendCommand('A', channel, &error));
    EXPECT_EQ(error, "not connected");

    link.connect();
    clock.advance(500ms);
    link.tick();
    EXPECT_TRUE(link.socketReady());
    EXPECT_EQ(link.bindAddress(), "127.0.0.4");
    clock.advance(500ms);
    link.tick();
    EXPECT_EQ(device.receive(), "%Q,01,00,25E0#");
    std::string z = device.receive();
    EXPECT_EQ(z.rfind("%Z,01,05,127000000004," + std::to_string(port) + ",", 0), 0u) << z;
    EXPECT_TRUE(validateFrame(z)) << z;
    link.closeLink();
    EXPECT_EQ(device.receive(), "%Q,01,00,25E0#");
    // Done once the queue is out, without anyone having waited for it.
    const auto limit = std::chrono::steady_clock::now() + 1s;
    while (!link.closeFinished() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(link.closeFinished());
}

TEST(DeviceLinkWire, SendQueuesToTheAddressOfTheMomentAndCountsWhatIsRefused) {
    const std::uint16_t port = testPort(4);
    Peer first("127.0.0.2", port), second("127.0.0.3", port);
    DeviceState s;
    loadFactoryDefaults(s);
    s.link.hostAddress = "127.0.0.2";
    s.link.udpPort = port;
    ManualClock clock;
    LinkOptions options;
    options.bindAddress = "127.0.0.1";
    DeviceLink link(s, clock, options);
    // The refusal below is the point of the test: the guard is on whatever the environment says.
    link.transport().setLoopbackOnly(true);
    std::string error;
    ASSERT_TRUE(link.transport().open("127.0.0.1", testPort(5), error)) << error;
    std::vector<std::string> failures;
    link.setSendFailureHandler([&](const std::string& e) { failures.push_back(e); });

    // Offline on purpose: the edit operation has decided already, the link just queues.
    EXPECT_TRUE(link.send({"%Q,01,00,25E0#", {}, false}));
    EXPECT_EQ(first.receive(), "%Q,01,00,25E0#");
    s.link.hostAddress = "127.0.0.3"; // the settings page changed it between two edits
    EXPECT_TRUE(link.send({"%Q,01,01,B5E1#", {}, false}));
    EXPECT_EQ(second.receive(), "%Q,01,01,B5E1#");
    s.link.hostAddress = "127.0.0";
    EXPECT_FALSE(link.send({"%Q,01,01,B5E1#", {}, false}, &error));
    EXPECT_NE(error.find("malformed"), std::string::npos) << error;
    s.link.hostAddress = "10.1.2.3";
    EXPECT_FALSE(link.send({"%Q,01,01,B5E1#", {}, false}, &error));
    EXPECT_NE(error.find("QUORVEL_LOOPBACK_ONLY"), std::string::npos) << error;
    EXPECT_EQ(link.sendFailures(), 2u);
    EXPECT_EQ(failures.size(), 2u);

    // A socket that fails the datagram counts as well.
    s.link.hostAddress = "127.0.0.2";
    link.transport().close();
    EXPECT_TRUE(link.send({"%Q,01,00,25E0#", {}, false}));
    ASSERT_TRUE(link.drain(1s));
    EXPECT_EQ(link.sendFailures(), 3u);
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_NE(failures[2].find("no socket"), std::string::npos) << failures[2];
}
