// The link against the device simulator over loopback. The connection machine runs on a manual
// clock (retries and watchdog in simulated time); only real datagrams are waited for, always with
// a bound.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/device_link.h"
#include "link/field_registry.h"
#include "link/frame.h"
#include "link/state_json.h"
#include "ports.h"
#include "sim/simulator.h"

using namespace quorvel;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

LinkOptions quickOptions() {
    LinkOptions o;
    o.timing.restartWait = o.timing.startWait = o.timing.settleWait = 0ms;
    return o;
}

// One client of the simulator: state, clock, link and what the link told its owner.
struct Client {
    DeviceState state;
    ManualClock clock;
    std::unique_ptr<DeviceLink> link;
    std::vector<LinkEvent> events;
    std::vector<std::pair<std::string, DispatchResult>> reports;

    Client(const char* device, std::uint16_t port, LinkOptions options = quickOptions()) {
        loadFactoryDefaults(state);
        state.link.hostAddress = device;
        state.link.udpPort = port;
        link = std::make_unique<DeviceLink>(state, clock, options);
        link->setEventSink([this](const LinkEvent& e) { events.push_back(e); });
        link->setReportObserver(
            [this](std::string_view f, const DispatchResult& r) { reports.emplace_back(f, r); });
    }
    // Delivers frames until pred holds or the real time limit passes.
    bool pumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = 3000ms) {
        auto end = Steady::now() + limit;
        for (;;) {
            link->deliverPending();
            link->tick();
            if (pred()) return true;
            if (Steady::now() >= end) return false;
            link->waitForFrames(std::min(end, Steady::now() + 20ms));
        }
    }
    void pumpFor(std::chrono::milliseconds d) {
        pumpUntil([] { return false; }, d);
    }
    void advance(Clock::duration d) {
        clock.advance(d);
        link->tick();
    }
    int count(ReportKind k) const {
        int n = 0;
        for (const auto& r : reports)
            n += r.second.kind == k;
        return n;
    }
    int countEvents(LinkEvent::Kind k, const std::string& text) const {
        int n = 0;
        for (const auto& e : events)
            n += e.kind == k && e.text == text;
        return n;
    }
    bool online() const { return state.link.linkOnline; }
};

std::unique_ptr<sim::Simulator> startSim(sim::SimOptions o) {
    auto s = std::make_unique<sim::Simulator>(std::move(o));
    std::string error;
    EXPECT_TRUE(s->start(error)) << error;
    return s;
}

sim::SimOptions simOptions(std::uint16_t port, const char* bind = "127.0.0.2") {
    sim::SimOptions o;
    o.bind = bind;
    o.port = port;
    return o;
}

// The device-side fields: everything but what the link keeps for itself and what moves on its
// own (meters, open flags).
bool comparable(const FieldInfo& f) {
    for (const char* skip : {"meter", "channelOpen", "lastOpen", "reportNumber"})
        if (f.path.find(skip) != std::string::npos) return false;
    return true;
}

std::string fieldText(const DeviceState& s, const FieldInfo& f) {
    return f.kind == FieldKind::Name ? std::string(FieldRegistry::getName(s, f))
                                     : std::to_string(FieldRegistry::get(s, f));
}

std::string frameOf(std::string body) {
    char cs[8];
    std::snprintf(cs, sizeof cs, "%04X#", frameChecksum(body));
    return body + cs;
}

} // namespace

TEST(LinkWithDevice, HandshakeBringsStateNamesAndThenReports) {
    const auto port = testPort(0);
    sim::SimOptions so = simOptions(port);
    so.units = 2;
    auto device = startSim(so);
    Client c("127.0.0.2", port);
    c.link->connect();
    EXPECT_TRUE(c.state.link.handshakePending);
    ASSERT_TRUE(c.pumpUntil([&] { return c.online(); }));
    EXPECT_FALSE(c.state.link.handshakePending);
    EXPECT_TRUE(c.state.link.handshakeDone);
    EXPECT_EQ(c.state.link.handshakeAttempts, 0);
    EXPECT_EQ(c.countEvents(LinkEvent::Kind::ConnectButton, "DISCONNECT"), 1);
    EXPECT_EQ(c.countEvents(LinkEvent::Kind::StatusLabel, "ONLINE"), 1);

    // The device answers Z with the full state and the names, and only then starts its reports.
    ASSERT_TRUE(c.pumpUntil([&] { return c.count(ReportKind::Status) >= 3; }));
    ASSERT_GE(c.count(ReportKind::Names), 1);
    std::size_t names = 0, firstStatus = 0;
    for (std::size_t i = 0; i < c.reports.size(); ++i) {
        if (c.reports[i].second.kind == ReportKind::Names && !names) names = i;
        if (c.reports[i].second.kind == ReportKind::Status && !firstStatus) firstStatus = i;
    }
    EXPECT_LT(names, firstStatus);
    EXPECT_GE(device->commandsApplied(), 2u); // Q 0 and Q 1

    DeviceState dev = device->snapshot();
    EXPECT_EQ(nameView(c.state.in(1).name), nameView(dev.in(1).name));
    EXPECT_EQ(c.state.units, dev.units);
    EXPECT_EQ(c.state.in(5).level, dev.in(5).level);

    // DISCONNECT: Q 0 reaches the device and the reports stop.
    c.link->connect();
    EXPECT_FALSE(c.online());
    EXPECT_FALSE(c.link->socketReady());
    ASSERT_TRUE(c.link->drain(1s));
    std::size_t before = c.reports.size();
    c.pumpFor(200ms);
    EXPECT_EQ(c.reports.size(), before);
}

TEST(LinkWithDevice, DeviceAnsweringOnlyTheSecondHandshake) {
    const auto port = testPort(0);
    sim::SimOptions so = simOptions(port);
    so.answerHandshake = 2;
    auto device = startSim(so);
    Client c("127.0.0.2", port);
    c.link->connect();
    EXPECT_FALSE(c.pumpUntil([&] { return c.online(); }, 300ms));
    c.advance(9900ms);
    EXPECT_EQ(c.state.link.handshakeAttempts, 0);
    c.advance(100ms); // ten simulated seconds: the second Z
    ASSERT_TRUE(c.pumpUntil([&] { return c.online(); }));
    EXPECT_EQ(c.state.link.handshakeAttempts, 1);
}

TEST(LinkWithDevice, SilentDeviceEndsInCannotConnect) {
    const auto port = testPort(0);
    sim::SimOptions so = simOptions(port);
    so.answerHandshake = 99;
    auto device = startSim(so);
    Client c("127.0.0.2", port);
    c.link->connect();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(c.pumpUntil([&] { return c.online(); }, 150ms));
        EXPECT_EQ(c.countEvents(LinkEvent::Kind::MessageBox, "CANNOT CONNECT."), 0);
        c.advance(10s);
    }
    EXPECT_EQ(c.countEvents(LinkEvent::Kind::MessageBox, "CANNOT CONNECT."), 1);
    EXPECT_FALSE(c.state.link.handshakePending);
    EXPECT_TRUE(c.state.link.handshakeDone);
    EXPECT_FALSE(c.link->socketReady());
    ASSERT_TRUE(c.link->drain(1s));
    EXPECT_EQ(c.link->senderStats().framesSent, 4u); // Q 0 and three Z
}

TEST(LinkWithDevice, ReportsReceivedBeforeAStopAreNeverActedOn) {
    const auto port = testPort(0);
    {
        // The device answers the third Z, but the answer is only parsed after the third time-out
        // has given up: the link must stay down, not come online behind "CANNOT CONNECT.".
        sim::SimOptions so = simOptions(port);
        so.answerHandshake = 3;
        auto device = startSim(so);
        Client c("127.0.0.2", port);
        c.link->connect();
        c.advance(10s);
        c.advance(10s);
        ASSERT_TRUE(c.link->waitForFrames(Steady::now() + 3s));
        c.advance(10s);
        EXPECT_EQ(c.countEvents(LinkEvent::Kind::MessageBox, "CANNOT CONNECT."), 1);
        EXPECT_EQ(c.link->deliverPending(), 0);
        EXPECT_FALSE(c.online());
        EXPECT_EQ(c.countEvents(LinkEvent::Kind::ConnectButton, "DISCONNECT"), 0);
    }
    {
        // DISCONNECT with reports still waiting: none of them is parsed afterwards (a names report
        // among them would send Q 1 and start the device streaming again).
        auto device = startSim(simOptions(port));
        Client c("127.0.0.2", port);
        c.link->connect();
        ASSERT_TRUE(c.pumpUntil([&] { return c.online() && c.count(ReportKind::Status) > 0; }));
        ASSERT_TRUE(c.link->waitForFrames(Steady::now() + 3s));
        c.link->connect();
        EXPECT_EQ(c.link->deliverPending(), 0);
        EXPECT_FALSE(c.online());
        ASSERT_TRUE(c.link->drain(1s));
        auto until = Steady::now() + 1s;
        while (device->subscribedClients() > 0 && Steady::now() < until)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(device->subscribedClients(), 0);
    }
}

TEST(LinkWithDevice, ReleasedSocketFreesTheLinkPortAndConnectReopensIt) {
    const auto port = testPort(0);
    auto device = startSim(simOptions(port));
    Client c("127.0.0.2", port);
    c.link->connect();
    ASSERT_TRUE(c.pumpUntil([&] { return c.online(); }));
    c.link->closeLink();

    auto bindsLinkPort = [&] {
        int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, c.link->bindAddress().c_str(), &a.sin_addr);
        bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    };
    EXPECT_FALSE(bindsLinkPort()); // stopped, but the socket still holds the port
    EXPECT_TRUE(c.link->releaseSocket(1s));
    EXPECT_TRUE(bindsLinkPort());
    // The last Q 0 went out before the close.
    auto until = Steady::now() + 1s;
    while (device->subscribedClients() > 0 && Steady::now() < until)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(device->subscribedClients(), 0);

    c.link->connect();
    ASSERT_TRUE(c.pumpUntil([&] { return c.online(); }));
}

TEST(LinkWithDevice, WatchdogWhenTheDeviceFallsSilent) {
    const auto port = testPort(0);
    sim::SimOptions so = simOptions(port);
    so.silentAfterSeconds = 0.5;
    auto device = startSim(so);
    Client c("127.0.0.2", port);
    c.link->connect();
    ASSERT_TRUE(c.pumpUntil([&] { return c.online(); }));
    c.pumpFor(700ms); // past the point where the device stops sending
    c.advance(9900ms);
    EXPECT_EQ(c.countEvents(LinkEvent::Kind::StatusLabel, "OFFLINE"), 0);
    c.advance(200ms);
    EXPECT_EQ(c.countEvents(LinkEvent::Kind::StatusLabel, "OFFLINE"), 1);
    EXPECT_TRUE(c.online());
    c.advance(10s);
    EXPECT_EQ(c.countEvents(LinkEvent::Kind::StatusLabel, "OFFLINE"), 2);
    // Commands still go out while the display says offline.
    EXPECT_TRUE(c.link->sendCommand('Q', std::vector<int>{1}));
}

TEST(LinkWithDevice, EveryCommandLetterRoundTrips) {
    const auto port = testPort(0);
    sim::SimOptions so = simOptions(port);
    so.units = 4; // unit assignments are only reported for attached units
    auto device = startSim(so);
    Client c("127.0.0.2", port);
    c.link->connect();
    ASSERT_TRUE(c.pumpUntil([&] { return c.online() && c.count(ReportKind::Names) > 0; }));

    const std::vector<std::string> edits = {
        "input[3].level=33",
        "input[3].mute=1",
        "output[2].level=44", // A
        "input[2].routeToOutput[1]=1",
        "input[2].routeToOutput[8]=0", // B
        "input[4].compEnabled=1",
        "input[4].compRatio=40",
        "input[4].compAttack=20", // C
        "output[3].limiter[1]=1",
        "output[3].limiter[2]=9", // D
        "input[5].lpfOn=1",
        "input[5].lpfFreq=12000",
        "input[5].lpfSlope=4", // E
        "input[6].hpfOn=1",
        "input[6].hpfFreq=150", // F
        "input[7].peq[2].bandFreq=1234",
        "input[7].peq[2].bandGain=180",
        "input[7].peq[2].bandQ=25", // G
        "output[4].geqOn=1",
        "output[4].geq[6]=200",    // H
        "output[2].lineLevel=1",   // I
        "output[3].outSwitchJ=25", // J
        "output[4].outSwitchK=1",  // K
        "input[8].automixThreshold=55",
        "input[8].priority=1", // L
        "automix.maxOpenChannels=3",
        "automix.holdTime=20", // M
        "automix.energy=100",
        "automix.compareCount=10", // N
        "input[9].danteSource=2",
        "input[1].phantom=1",
        "input[9].gainStep=1", // O
        "input[1].name=Lectern",
        "output[1].name=Hall", // V
        "units[2][1]=3",
        "units[2][5]=13", // X
    };
    // Store everything first: a command carries the values as they are when it is built.
    std::vector<const FieldInfo*> fields;
    std::vector<std::tuple<char, int, int>> carriers;
    std::string error;
    for (const std::string& e : edits) {
        const FieldInfo* f = nullptr;
        ASSERT_TRUE(assignField(c.state, e, error, &f)) << error;
        fields.push_back(f);
        std::tuple<char, int, int> key{f->carrier.letter, f->carrier.selector, f->carrier.selector2};
        if (std::find(carriers.begin(), carriers.end(), key) == carriers.end()) carriers.push_back(key);
    }
    std::string letters;
    for (const auto& [letter, sel1, sel2] : carriers) {
        const std::vector<int> sel = carrierSelectors(Carrier{letter, sel1, sel2});
        ASSERT_TRUE(c.link->sendCommand(letter, sel, &error)) << letter << ": " << error;
        if (letters.find(letter) == std::string::npos) letters += letter;
    }
    EXPECT_EQ(letters, "ABCDEFGHIJKLMNOVX");
    const std::uint64_t before = device->commandsApplied();
    ASSERT_TRUE(c.link->sendCommand('W', std::vector<int>{2}, &error)) << error; // CALL changes no field
    ASSERT_TRUE(c.link->drain(3s));
    EXPECT_EQ(c.link->senderStats().failures, 0u);

    auto settled = [&] { return device->commandsApplied() >= before + 1; };
    ASSERT_TRUE(c.pumpUntil(settled));
    c.pumpFor(50ms);
    DeviceState dev = device->snapshot();
    for (const FieldInfo* f : fields)
        EXPECT_EQ(fieldText(dev, *f), fieldText(c.state, *f)) << f->path;

    // A second client reads it all back from the device's own reports.
    // Same port on a loopback address of its own, as a second machine would have.
    LinkOptions second = quickOptions();
    second.bindAddress = "127.0.0.4";
    Client other("127.0.0.2", port, second);
    other.link->connect();
    ASSERT_TRUE(other.pumpUntil([&] { return other.online() && other.count(ReportKind::Names) > 0; }));
    for (const FieldInfo* f : fields)
        EXPECT_EQ(fieldText(other.state, *f), fieldText(c.state, *f)) << f->path << " in the reports";
}

TEST(LinkWithDevice, MetersAndChannelOpenFlagsArrive) {
    const auto port = testPort(0);
    auto device = startSim(simOptions(port));
    Client c("127.0.0.2", port);
    c.link->connect();
    ASSERT_TRUE(c.pumpUntil([&] { return c.online(); }));
    c.state.automix.manualMode = 0;
    c.state.automix.maxOpenChannels = 2;
    ASSERT_TRUE(c.link->sendCommand('M', {}));
    int metered = 0, opened = 0, tooMany = 0;
    c.link->setReportObserver([&](std::string_view, const DispatchResult& r) {
        if (r.kind != ReportKind::Status) return;
        int open = 0;
        for (int ch = 1; ch <= 12; ++ch)
            metered += c.state.in(ch).meter > 0;
        for (int ch = 1; ch <= 8; ++ch)
            open += c.state.in(ch).channelOpen;
        opened += open > 0;
        tooMany += open > 2;
    });
    // The simulated talkers take a moment to start.
    EXPECT_TRUE(c.pumpUntil([&] { return opened > 0 && metered > 0; }, 8000ms));
    c.pumpFor(500ms);
    EXPECT_GT(metered, 0);
    EXPECT_GT(opened, 0);
    EXPECT_EQ(tooMany, 0);
}

TEST(LinkWithDevice, FaultyLineNeverCorruptsTheState) {
    const auto port = testPort(0);
    auto clean = startSim(simOptions(port, "127.0.0.2"));
    sim::SimOptions faulty = simOptions(port, "127.0.0.3");
    faulty.split = true;
    faulty.drop = 0.05;
    faulty.corrupt = 0.1;
    // A full-state report crosses about eight datagrams here and every fault on any of them costs
    // the whole report, so the rates leave a fair chance per attempt; the attempts are cheap.
    faulty.duplicate = 0.1;
    faulty.seed = 7;
    auto noisy = startSim(faulty);

    Client reference("127.0.0.2", port);
    reference.link->connect();
    ASSERT_TRUE(
        reference.pumpUntil([&] { return reference.online() && reference.count(ReportKind::Names) > 0; }));

    LinkOptions own = quickOptions();
    own.bindAddress = "127.0.0.4";
    Client c("127.0.0.3", port, own);
    int rounds = 0;
    while (!c.online() && rounds < 200) {
        if (!c.state.link.handshakePending && !c.link->connection().connecting()) c.link->connect();
        if (c.pumpUntil([&] { return c.online(); }, 150ms)) break;
        c.advance(10s);
        ++rounds;
    }
    ASSERT_TRUE(c.online()) << "no full-state report got through in " << rounds << " rounds";
    c.pumpFor(1500ms); // status, names and levels reports through the faults

    for (const FieldInfo& f : FieldRegistry::instance().fields()) {
        if (!comparable(f)) continue;
        if (f.kind == FieldKind::Name && c.count(ReportKind::Names) == 0) continue;
        EXPECT_EQ(fieldText(c.state, f), fieldText(reference.state, f)) << f.path;
    }
    for (const auto& [frame, r] : c.reports)
        EXPECT_TRUE(validateFrame(frame)) << frame;
    for (int ch = 1; ch <= 12; ++ch)
        EXPECT_LE(c.state.in(ch).meter, 255);
    EXPECT_GT(c.count(ReportKind::Status), 0);
}

TEST(LinkWithDevice, DatagramsFromAnotherAddressAreIgnored) {
    const auto port = testPort(0);
    auto device = startSim(simOptions(port));
    Client c("127.0.0.2", port);
    c.link->connect();
    ASSERT_TRUE(c.pumpUntil([&] { return c.online() && c.count(ReportKind::Names) > 0; }));
    const int level2 = c.state.in(2).level;

    // A well-formed levels report that would pull every input down to 5, from 127.0.0.3.
    std::string body = "%P,01,";
    for (int i = 0; i < 8; ++i)
        body += "3C";
    body += ",";
    for (int i = 0; i < 8; ++i)
        body += "00";
    body += ",";
    for (int i = 0; i < 8; ++i)
        body += "00";
    body += ",";
    for (int i = 0; i < 12; ++i)
        body += "05";
    body += ",7,";
    const std::string intruder = frameOf(body);
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    from.sin_port = htons(testPort(2));
    inet_pton(AF_INET, "127.0.0.3", &from.sin_addr);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
    to.sin_port = htons(c.link->localPort());
    inet_pton(AF_INET, c.link->bindAddress().c_str(), &to.sin_addr);
    ::sendto(fd, intruder.data(), intruder.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ::close(fd);

    // The device's own levels report comes after it and is taken.
    const int levelsBefore = c.count(ReportKind::Levels);
    device->moveFaderAtDevice(1, 12);
    ASSERT_TRUE(c.pumpUntil([&] { return c.count(ReportKind::Levels) > levelsBefore; }));
    EXPECT_EQ(c.state.in(1).level, 12);
    EXPECT_EQ(c.state.in(2).level, level2);
    EXPECT_GE(c.link->receiveStats().foreignDropped, 1u);
}

// ---------------------------------------------------------------------------------------------
// quorvelctl against the simulator.

namespace {

struct CtlRun {
    int code = -1;
    std::string out, err;
    double seconds = 0;
};

CtlRun runCtl(const std::vector<std::string>& args) {
    std::string cmd = QUORVELCTL_PATH;
    for (const auto& a : args)
        cmd += " '" + a + "'";
    char errFile[] = "/tmp/quorvelctl-err-XXXXXX";
    int efd = ::mkstemp(errFile);
    ::close(efd);
    cmd += " 2>";
    cmd += errFile;
    CtlRun r;
    auto t0 = Steady::now();
    FILE* p = ::popen(cmd.c_str(), "r");
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int status = ::pclose(p);
    r.seconds = std::chrono::duration<double>(Steady::now() - t0).count();
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    FILE* e = std::fopen(errFile, "r");
    while ((n = std::fread(buf, 1, sizeof buf, e)) > 0)
        r.err.append(buf, n);
    std::fclose(e);
    std::remove(errFile);
    return r;
}

} // namespace

TEST(CtlNetwork, StateSetAndMonitor) {
    const auto port = testPort(0);
    auto device = startSim(simOptions(port));
    const std::string p = std::to_string(port);

    CtlRun state = runCtl({"--host", "127.0.0.2", "--timeout", "5", "state", "--port", p});
    ASSERT_EQ(state.code, 0) << state.err;
    EXPECT_EQ(state.out.front(), '{');
    EXPECT_NE(state.out.find("input"), std::string::npos);

    const std::uint64_t before = device->commandsApplied();
    CtlRun set =
        runCtl({"--host", "127.0.0.2", "set", "input[3].level=12", "automix.maxOpenChannels=2", "--port", p});
    ASSERT_EQ(set.code, 0) << set.err;
    // The datagrams have left when quorvelctl exits; the device may still be taking them.
    auto until = Steady::now() + 2s;
    while (device->commandsApplied() < before + 4 && Steady::now() < until)
        std::this_thread::sleep_for(5ms);
    DeviceState dev = device->snapshot();
    EXPECT_EQ(dev.in(3).level, 12);
    EXPECT_EQ(dev.automix.maxOpenChannels, 2);
    EXPECT_GE(device->commandsApplied(), before + 4); // Q 0, A, M, Q 0

    CtlRun mon = runCtl({"--host", "127.0.0.2", "monitor", "--count", "4", "--port", p});
    ASSERT_EQ(mon.code, 0) << mon.err;
    int lines = 0;
    for (char ch : mon.out)
        lines += ch == '\n';
    EXPECT_EQ(lines, 4);
    EXPECT_EQ(mon.out.rfind("{\"report\":\"Z\"", 0), 0u) << mon.out.substr(0, 80);
}

TEST(CtlNetwork, MonitorDropsNamesWhatItThrewAway) {
    const auto port = testPort(1);
    auto device = startSim(simOptions(port));
    const std::string p = std::to_string(port);
    // A stranger on another loopback address talks to the monitor's socket until it is done.
    std::atomic<bool> done{false};
    std::thread stranger([&] {
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in from{}, to{};
        from.sin_family = to.sin_family = AF_INET;
        inet_pton(AF_INET, "127.0.0.3", &from.sin_addr);
        inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        to.sin_port = htons(port);
        ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
        while (!done) {
            ::sendto(fd, "%Q,01,00,25E0#", 14, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            std::this_thread::sleep_for(20ms);
        }
        ::close(fd);
    });
    CtlRun mon = runCtl({"--host", "127.0.0.2", "monitor", "--drops", "--count", "6", "--port", p});
    done = true;
    stranger.join();
    ASSERT_EQ(mon.code, 0) << mon.err;
    EXPECT_NE(mon.out.find("{\"drop\":\"wrong sender\",\"text\":\"from 127.0.0.3\"}\n"), std::string::npos)
        << mon.out.substr(0, 400);
    int reports = 0;
    for (std::size_t at = 0; (at = mon.out.find("{\"report\":", at)) != std::string::npos; ++at)
        ++reports;
    EXPECT_EQ(reports, 6);

    CtlRun plain = runCtl({"--host", "127.0.0.2", "monitor", "--count", "2", "--port", p});
    EXPECT_EQ(plain.out.find("\"drop\""), std::string::npos);
}

TEST(CtlNetwork, FailuresExitWithoutTouchingTheDevice) {
    const auto port = testPort(0);
    sim::SimOptions so = simOptions(port);
    so.answerHandshake = 99;
    auto device = startSim(so);
    const std::string p = std::to_string(port);

    CtlRun bad = runCtl({"--host", "127.0.0.2", "set", "input[3].level=99", "--port", p});
    EXPECT_EQ(bad.code, 2);
    CtlRun unknown = runCtl({"--host", "127.0.0.2", "set", "input[3].nothing=1", "--port", p});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_EQ(device->commandsApplied(), 0u);

    CtlRun silent = runCtl({"--host", "127.0.0.2", "--timeout", "1.5", "state", "--port", p});
    EXPECT_EQ(silent.code, 1);
    EXPECT_NE(silent.err.find("CANNOT CONNECT."), std::string::npos) << silent.err;
    EXPECT_LT(silent.seconds, 2.5);

    CtlRun lan = runCtl({"--host", "192.168.1.106", "state", "--port", p});
    EXPECT_EQ(lan.code, 1);
    EXPECT_NE(lan.err.find("QUORVEL_LOOPBACK_ONLY"), std::string::npos) << lan.err;
    CtlRun malformed = runCtl({"--host", "192.168.1", "state", "--port", p});
    EXPECT_EQ(malformed.code, 2);
}

// The dynamics actions of set reach the simulator as the pages send them; a malformed one is
// refused before the network is touched.
TEST(CtlNetwork, DynamicsActionsReachTheDevice) {
    const auto port = testPort(0);
    auto device = startSim(simOptions(port));
    const std::string p = std::to_string(port);
    const std::uint64_t before = device->commandsApplied();
    CtlRun set = runCtl({"--host", "127.0.0.2", "set", "reset:comp:input[3]", "drag:comp:input[3]:1:0:-15",
                         "drag:limiter:output[8]:2:-50:-48.5", "--port", p});
    ASSERT_EQ(set.code, 0) << set.err;
    auto until = Steady::now() + 2s;
    while (device->commandsApplied() < before + 5 && Steady::now() < until)
        std::this_thread::sleep_for(5ms);
    const DeviceState dev = device->snapshot();
    EXPECT_EQ(dev.in(3).dynamics.compThreshold, 30);
    EXPECT_EQ(dev.in(3).dynamics.compRatio, 20); // from -30 dB to -15 at 0 dB input: 1:2.0
    EXPECT_EQ(dev.in(3).dynamics.compEnabled, 1);
    EXPECT_EQ(dev.out(8).limiter[4], 115);

    for (const char* badAction :
         {"reset:comp:output[1]", "drag:limiter:output[9]:0:-10:-10", "drag:comp:input[2]:3:-10:-10",
          "drag:comp:input[2]:0:-70:-10", "reset:gate"}) {
        CtlRun bad = runCtl({"--host", "127.0.0.2", "set", badAction, "--port", p});
        EXPECT_EQ(bad.code, 2) << badAction;
        EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1) << bad.err;
    }
}
