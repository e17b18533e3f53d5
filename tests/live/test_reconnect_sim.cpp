// Automatic reconnection against the device simulator over loopback: a device that restarts on
// the same address, one that falls silent for good, and an answer from somebody else. The link
// runs on a manual clock; only real datagrams are waited for, always with a bound.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "link/device_link.h"
#include "ports.h"
#include "sim/simulator.h"

using namespace quorvel;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

struct Client {
    DeviceState state;
    ManualClock clock;
    std::unique_ptr<DeviceLink> link;
    std::vector<LinkEvent> events;
    int names = 0, fullStates = 0, status = 0;

    Client(std::uint16_t port) {
        loadFactoryDefaults(state);
        state.link.hostAddress = "127.0.0.2";
        state.link.udpPort = port;
        LinkOptions o;
        o.timing.restartWait = o.timing.startWait = o.timing.settleWait = 0ms;
        o.autoReconnect = true;
        link = std::make_unique<DeviceLink>(state, clock, o);
        link->setEventSink([this](const LinkEvent& e) { events.push_back(e); });
        link->setReportObserver([this](std::string_view, const DispatchResult& r) {
            names += r.kind == ReportKind::Names;
            fullStates += r.kind == ReportKind::FullState;
            status += r.kind == ReportKind::Status;
        });
    }
    bool pumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = 3000ms) {
        auto end = Steady::now() + limit;
        for (;;) {
            link->deliverPending();
            link->tick();
            if (pred()) return true;
            if (Steady::now() >= end) return false;
            link->waitForFrames(std::min(end, Steady::now() + 10ms));
        }
    }
    void advance(Clock::duration d) {
        clock.advance(d);
        link->tick();
    }
    std::string statusText() const {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->kind == LinkEvent::Kind::StatusLabel) return it->text;
        return {};
    }
    bool online() const { return state.link.linkOnline; }
};

std::unique_ptr<sim::Simulator> startSim(std::uint16_t port, double silentAfter = -1) {
    sim::SimOptions o;
    o.bind = "127.0.0.2";
    o.port = port;
    o.meterHz = 20;
    o.silentAfterSeconds = silentAfter;
    auto s = std::make_unique<sim::Simulator>(o);
    std::string error;
    EXPECT_TRUE(s->start(error)) << error;
    return s;
}

void connectTo(Client& c) {
    c.link->connect();
    ASSERT_TRUE(c.pumpUntil([&] { return c.online() && c.names > 0; }));
}

} // namespace

TEST(ReconnectSimTest, ADeviceRestartedOnTheSameAddressIsOnlineAgainWithItsState) {
    const std::uint16_t port = testPort(4);
    auto device = startSim(port);
    Client c(port);
    connectTo(c);
    device->moveFaderAtDevice(1, 40);
    ASSERT_TRUE(c.pumpUntil([&] { return c.state.in(1).level == 40; }));

    c.events.clear(); // the first CONNECT's popup
    device.reset();   // power cut
    c.advance(10s);
    EXPECT_EQ(c.statusText(), "RECONNECTING");
    EXPECT_FALSE(c.online());

    // Back after a while, with its own (factory) state: the first retry after that finds it.
    c.advance(7s);
    device = startSim(port);
    const int namesBefore = c.names;
    Clock::duration waited{};
    while (!c.online() && waited < 10s) {
        c.advance(250ms);
        waited += 250ms;
        c.pumpUntil([&] { return c.online(); }, 30ms);
    }
    ASSERT_TRUE(c.online());
    EXPECT_LE(waited, 10s); // simulated time
    EXPECT_EQ(c.statusText(), "ONLINE");
    EXPECT_EQ(c.state.in(1).level, device->snapshot().in(1).level);
    EXPECT_FALSE(c.link->connection().reconnecting());
    // As at a first connection: the names report, then Q 1, and the device reports again.
    ASSERT_TRUE(c.pumpUntil([&] { return c.names > namesBefore; }));
    const int statusBefore = c.status;
    ASSERT_TRUE(c.pumpUntil([&] { return c.status > statusBefore; }));
    EXPECT_EQ(device->subscribedClients(), 1);
    for (const LinkEvent& e : c.events) {
        EXPECT_NE(e.kind, LinkEvent::Kind::MessageBox);
        EXPECT_NE(e.kind, LinkEvent::Kind::BusyPopup);
    }
    c.link->connect(); // DISCONNECT
    EXPECT_TRUE(c.pumpUntil([&] { return device->subscribedClients() == 0; }));
}

TEST(ReconnectSimTest, ASilentDeviceGetsAHandshakeEveryFiveSecondsUntilDisconnect) {
    const std::uint16_t port = testPort(5);
    auto device = startSim(port, 0.4);
    Client c(port);
    connectTo(c);
    // Let it fall silent, then let the watchdog see it.
    c.pumpUntil([] { return false; }, 600ms);
    const auto sentBefore = c.link->senderStats().framesSent;
    c.advance(10s);
    ASSERT_TRUE(c.pumpUntil([&] { return c.link->senderStats().framesSent >= sentBefore + 2; }));
    EXPECT_EQ(c.statusText(), "RECONNECTING");
    c.advance(5s);
    ASSERT_TRUE(c.pumpUntil([&] { return c.link->senderStats().framesSent >= sentBefore + 4; }));
    EXPECT_TRUE(c.link->connection().reconnecting());

    c.link->connect(); // the button reads DISCONNECT: it lets the device go
    EXPECT_FALSE(c.link->connection().reconnecting());
    EXPECT_EQ(c.statusText(), "OFFLINE");
    ASSERT_TRUE(c.link->drain(1000ms));
    const auto after = c.link->senderStats().framesSent;
    c.advance(20s);
    EXPECT_EQ(c.link->senderStats().framesSent, after);
}

TEST(ReconnectSimTest, AnAnswerFromAnotherAddressEndsTheRetries) {
    const std::uint16_t port = testPort(6);
    auto device = startSim(port);
    Client c(port);
    connectTo(c);
    device.reset();
    c.advance(10s);
    ASSERT_TRUE(c.link->connection().reconnecting());

    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    from.sin_port = htons(testPort(7));
    inet_pton(AF_INET, "127.0.0.3", &from.sin_addr);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
    to.sin_port = htons(c.link->localPort());
    inet_pton(AF_INET, c.link->bindAddress().c_str(), &to.sin_addr);
    const std::string text = "%Z,01,0000#";
    ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ::close(fd);

    ASSERT_TRUE(c.pumpUntil([&] { return !c.link->connection().reconnecting(); }));
    EXPECT_EQ(c.statusText(), "OFFLINE");
    EXPECT_FALSE(c.link->socketReady());
    EXPECT_FALSE(c.online());
}
