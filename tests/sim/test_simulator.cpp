// The simulator over real loopback sockets, driven the way the application drives a device.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "link/commands.h"
#include "link/frame.h"
#include "link/gbk.h"
#include "link/reports.h"
#include "simulator.h"

using namespace quorvel;
using namespace quorvel::sim;
using namespace std::chrono_literals;

namespace {

// A bare UDP peer on 127.0.0.1 that sends frames and collects whole frames back.
class Peer {
public:
    explicit Peer(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        int bytes = 1 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
        to_.sin_family = AF_INET;
        to_.sin_port = htons(port);
        inet_pton(AF_INET, "127.0.0.2", &to_.sin_addr);
    }
    ~Peer() { ::close(fd_); }

    void sendRaw(std::string_view d) {
        ::sendto(fd_, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to_), sizeof to_);
    }
    // As the application sends: frames above 256 bytes in 256-byte pieces.
    void send(const std::string& frame) {
        for (const std::string& p : splitPieces(frame))
            sendRaw(p);
    }

    // Collects frames until pred says enough or the time is up; returns what arrived.
    std::vector<std::string> until(const std::function<bool(const std::vector<std::string>&)>& pred,
                                   std::chrono::milliseconds limit = 3000ms) {
        std::vector<std::string> got;
        auto end = std::chrono::steady_clock::now() + limit;
        char buf[2049];
        while (!pred(got)) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            ssize_t n = ::recv(fd_, buf, 2048, 0);
            if (n <= 0) continue;
            buf[n] = '\0';
            assembler_.feed(std::string_view(buf), [&](std::string_view f) { got.emplace_back(f); });
        }
        return got;
    }
    std::vector<std::string> during(std::chrono::milliseconds t) {
        return until([](const auto&) { return false; }, t);
    }
    std::string first(char letter, std::chrono::milliseconds limit = 3000ms) {
        auto got = until([&](const auto& v) { return !v.empty() && v.back()[1] == letter; }, limit);
        return !got.empty() && got.back()[1] == letter ? got.back() : std::string{};
    }
    std::string handshake() { return send(buildZ({127, 0, 0, 1}, 39020)), first('Z'); }

private:
    int fd_ = -1;
    sockaddr_in to_{};
    FrameAssembler assembler_;
};

int count(const std::vector<std::string>& frames, char letter) {
    return static_cast<int>(
        std::count_if(frames.begin(), frames.end(), [&](const std::string& f) { return f[1] == letter; }));
}

// Port 0: the kernel picks a free one, so parallel test processes never meet.
SimOptions options() {
    SimOptions o;
    o.port = 0;
    o.meterHz = 50;
    return o;
}

// Started on a free port; the test stops at the first failed assertion if it cannot start.
struct Running {
    explicit Running(SimOptions o) : sim(std::move(o)) {
        std::string error;
        started = sim.start(error);
        EXPECT_TRUE(started) << error;
    }
    Simulator sim;
    bool started = false;
};

bool waitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit = 2000ms) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

} // namespace

TEST(Simulator, HandshakeGivesFullStateNamesVersionThenStatus) {
    SimOptions o = options();
    o.units = 2;
    o.hardwareVersion = "41";
    Running r(o);
    ASSERT_TRUE(r.started);
    Peer peer(r.sim.boundPort());
    peer.send(buildZ({127, 0, 0, 1}, 39020));
    auto got = peer.until([](const auto& v) { return count(v, 'Q') >= 3; });
    ASSERT_GE(got.size(), 6u);
    // In this order: full state, names, hardware version, then status reports.
    EXPECT_EQ(got[0][1], 'Z');
    EXPECT_EQ(got[1][1], 'Y');
    EXPECT_EQ(got[2].substr(0, 9), "%z,01,41,");
    EXPECT_EQ(got[3][1], 'Q');

    DeviceState app;
    ReportDispatcher dispatch(app);
    EXPECT_TRUE(dispatch.dispatch(got[0], Clock::now()).wentOnline);
    EXPECT_TRUE(dispatch.dispatch(got[1], Clock::now()).sendResumeReports);
    EXPECT_EQ(app.unitCount, 2);
    EXPECT_EQ(app.units, r.sim.snapshot().units); // empty slots travel as FF, read back as 0
    const DeviceState device = r.sim.snapshot();
    EXPECT_EQ(nameView(app.in(1).name), nameView(device.in(1).name));
    EXPECT_EQ(nameView(app.out(5).name), "D 1");
    EXPECT_EQ(app.in(7).level, device.in(7).level);
    EXPECT_EQ(dispatch.dispatch(got[3], Clock::now()).kind, ReportKind::Status);
    EXPECT_EQ(r.sim.subscribedClients(), 1);
}

TEST(Simulator, CommandsShowInTheNextFullState) {
    Running r(options());
    ASSERT_TRUE(r.started);
    Peer peer(r.sim.boundPort());
    DeviceState app;
    ASSERT_TRUE(parseFullStateReport(peer.handshake(), app));

    app.in(3).level = 17;
    app.in(3).mute = 1;
    app.out(6).geq[30].gain = 20;
    app.units[1] = {4, 0, 0, 13, 0};
    setName(app.in(9).name, *utf8ToGbk("\xE8\xAE\xB2\xE5\x8F\xB0 9"));
    const std::uint64_t before = r.sim.commandsApplied();
    for (const std::string& f : {buildA(app, 3), buildH(app, 6), buildX(app, 2), buildV(app, 9)})
        peer.send(f);
    ASSERT_TRUE(waitFor([&] { return r.sim.commandsApplied() == before + 4; }));

    DeviceState again;
    ASSERT_TRUE(parseFullStateReport(peer.handshake(), again));
    EXPECT_EQ(again.in(3).level, 17);
    EXPECT_EQ(again.in(3).mute, 1);
    EXPECT_EQ(again.out(6).geq[30].gain, 20);
    // Names and units come with the names report that follows.
    std::string y = peer.first('Y');
    ASSERT_TRUE(parseNamesReport(y, again));
    EXPECT_EQ(nameView(again.in(9).name), nameView(app.in(9).name));
    EXPECT_EQ(r.sim.snapshot().units[1], app.units[1]);
}

TEST(Simulator, StopAndResumeReportsAndServeTwoClients) {
    Running r(options());
    ASSERT_TRUE(r.started);
    Peer a(r.sim.boundPort()), b(r.sim.boundPort());
    ASSERT_FALSE(a.handshake().empty());
    ASSERT_FALSE(b.handshake().empty());
    EXPECT_EQ(r.sim.subscribedClients(), 2);

    // A fader moved by one client reaches the other in a levels report, not the mover.
    DeviceState app;
    loadFactoryDefaults(app);
    app.out(2).level = 33;
    a.send(buildA(app, 14));
    std::string p = b.first('P');
    ASSERT_FALSE(p.empty());
    DeviceState seen;
    ASSERT_TRUE(parseLevelsReport(p, seen));
    EXPECT_EQ(seen.out(2).level, 33);
    EXPECT_EQ(count(a.during(150ms), 'P'), 0);

    // Q 0 silences only that client.
    a.send(buildQ(0));
    ASSERT_TRUE(waitFor([&] { return r.sim.subscribedClients() == 1; }));
    a.during(50ms); // what was already on its way
    EXPECT_EQ(a.during(200ms).size(), 0u);
    EXPECT_GE(count(b.during(200ms), 'Q'), 3);

    // A fader moved at the device reaches every subscriber.
    a.send(buildQ(1));
    ASSERT_TRUE(waitFor([&] { return r.sim.subscribedClients() == 2; }));
    r.sim.moveFaderAtDevice(1, 5);
    for (Peer* peer : {&a, &b}) {
        DeviceState s;
        ASSERT_TRUE(parseLevelsReport(peer->first('P'), s));
        EXPECT_EQ(s.in(1).level, 5);
    }
}

TEST(Simulator, StatusBurstReachesSubscribersOnly) {
    SimOptions o = options();
    o.meterHz = 0; // only the burst
    Running r(o);
    ASSERT_TRUE(r.started);
    Peer listener(r.sim.boundPort()), idle(r.sim.boundPort());
    listener.send(buildQ(1));
    idle.send(buildQ(0));
    ASSERT_TRUE(waitFor([&] { return r.sim.commandsApplied() == 2; }));
    r.sim.sendStatusBurst(500);
    EXPECT_EQ(count(listener.until([](const auto& v) { return v.size() >= 500; }), 'Q'), 500);
    EXPECT_TRUE(idle.during(50ms).empty());
}

TEST(Simulator, FaultInjectionNeverDeliversAWrongFrame) {
    { // split: reassembly still gives the whole report
        SimOptions o = options();
        o.split = true;
        o.seed = 3;
        Running r(o);
        ASSERT_TRUE(r.started);
        Peer peer(r.sim.boundPort());
        DeviceState app;
        ASSERT_TRUE(parseFullStateReport(peer.handshake(), app));
        EXPECT_EQ(app.out(1).level, r.sim.snapshot().out(1).level);
    }
    { // corruption and duplication: whatever is accepted is a frame the device really sent
        SimOptions o = options();
        o.corrupt = 0.3;
        o.duplicate = 0.3;
        o.meterHz = 200;
        Running r(o);
        ASSERT_TRUE(r.started);
        Peer peer(r.sim.boundPort());
        peer.send(buildQ(1));
        auto got = peer.during(400ms);
        EXPECT_GT(count(got, 'Q'), 20);
        for (const std::string& f : got) {
            DeviceState s;
            EXPECT_TRUE(parseStatusReport(f, s));
            for (int c = 1; c <= 12; ++c)
                EXPECT_LE(s.in(c).meter, 90);
        }
    }
    { // dropping everything: nothing at all
        SimOptions o = options();
        o.drop = 1;
        Running r(o);
        ASSERT_TRUE(r.started);
        Peer peer(r.sim.boundPort());
        peer.send(buildZ({127, 0, 0, 1}, 39020));
        EXPECT_TRUE(peer.during(200ms).empty());
    }
    { // silence after a while
        SimOptions o = options();
        o.silentAfterSeconds = 0.5;
        Running r(o);
        ASSERT_TRUE(r.started);
        Peer peer(r.sim.boundPort());
        ASSERT_FALSE(peer.handshake().empty());
        std::this_thread::sleep_for(550ms);
        peer.during(30ms);
        EXPECT_TRUE(peer.during(200ms).empty());
    }
}

TEST(Simulator, AnswersOnlyTheChosenHandshake) {
    SimOptions o = options();
    o.answerHandshake = 2;
    Running r(o);
    ASSERT_TRUE(r.started);
    Peer peer(r.sim.boundPort());
    peer.send(buildZ({127, 0, 0, 1}, 39020));
    EXPECT_TRUE(peer.first('Z', 300ms).empty());
    EXPECT_EQ(r.sim.subscribedClients(), 0);
    EXPECT_FALSE(peer.handshake().empty());
    EXPECT_EQ(r.sim.subscribedClients(), 1);
    peer.send(buildZ({127, 0, 0, 1}, 39020));
    EXPECT_TRUE(peer.first('Z', 300ms).empty());
}

TEST(Simulator, SearchAndVersionQueries) {
    SimOptions o = options();
    o.basicVersion = "310";
    Running r(o);
    ASSERT_TRUE(r.started);
    Peer peer(r.sim.boundPort());
    peer.send(std::move(CommandFrame('R').x2(1).x2(5).raw("127000000001,").dec(39020)).finish());
    std::string answer = peer.first('R');
    ASSERT_FALSE(answer.empty());
    EXPECT_EQ(answer.substr(0, 24), "%R,01,0005,127000000002,");
    peer.send(std::move(CommandFrame('r').x2(1).x2(0).raw("127000000001,").dec(39020)).finish());
    EXPECT_EQ(peer.first('r').substr(0, 10), "%r,01,310,");
    EXPECT_EQ(r.sim.subscribedClients(), 0); // neither subscribes
    // Having asked the basic version, this is an updater: its Z is a version query, answered
    // without starting reports, until it asks for them.
    ASSERT_FALSE(peer.handshake().empty());
    EXPECT_EQ(peer.first('z').substr(0, 6), "%z,01,");
    EXPECT_EQ(r.sim.subscribedClients(), 0);
    peer.send(buildQ(1));
    EXPECT_FALSE(peer.first('Q').empty());
}

namespace {

// Sends one frame the way the firmware sender does: 256-byte pieces, the last zero-padded.
void sendPadded(Peer& peer, const std::string& frame) {
    for (size_t at = 0; at < frame.size(); at += 256) {
        std::string piece = frame.substr(at, 256);
        piece.resize(256, '\0');
        peer.sendRaw(piece);
    }
}

std::string blockFrame(int target, int index, const std::string& bytes) {
    std::string data;
    for (size_t k = 0; k < 1024; ++k)
        appendX2(data, k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0);
    return std::move(CommandFrame('T').x2(1).dec(target).x2(index).raw(data).comma()).finish();
}

} // namespace

TEST(Simulator, FirmwareTransferStoresTheImageOrReportsTheError) {
    const auto dir = std::filesystem::temp_directory_path() / ("quorvel-sim-fw-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    SimOptions o = options();
    o.firmwareDir = dir.string();
    Running r(o);
    ASSERT_TRUE(r.started);
    Peer peer(r.sim.boundPort());

    std::string file(1500, '\0');
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<char>(i * 7 + 3);
    const std::uint16_t crc = frameChecksum(file);
    std::string image = file + static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xFF);

    auto transfer = [&](const std::string& img, int target) {
        peer.send(std::move(CommandFrame('S').x2(1).dec(target).x2(2).raw("005DC,")).finish());
        EXPECT_NE(peer.first('S').find("%S"), std::string::npos);
        for (int i = 0; i < 2; ++i) {
            sendPadded(peer, blockFrame(target, i, img.substr(static_cast<size_t>(i) * 1024, 1024)));
            EXPECT_EQ(peer.first('Y').substr(0, 2), "%Y") << "block " << i;
        }
        peer.send(std::move(CommandFrame('U').x2(1).dec(target)).finish());
        return peer.first('U');
    };
    std::string u = transfer(image, 1);
    ASSERT_GE(u.size(), 8u);
    EXPECT_EQ(u.substr(6, 2), "00");
    std::ifstream in(dir / "digital.bin", std::ios::binary);
    std::string stored((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(stored, file);

    image[1400] = static_cast<char>(image[1400] ^ 0x40);
    u = transfer(image, 0);
    ASSERT_GE(u.size(), 8u);
    EXPECT_EQ(u.substr(6, 2), "01");
    EXPECT_FALSE(std::filesystem::exists(dir / "dsp.bin"));
    std::filesystem::remove_all(dir);
}

TEST(Simulator, LoopbackGuardRefusesOtherAddresses) {
    ASSERT_TRUE(loopbackOnly()) << "tests run with QUORVEL_LOOPBACK_ONLY=1";
    SimOptions o = options();
    o.bind = "0.0.0.0";
    Simulator sim(o);
    std::string error;
    EXPECT_FALSE(sim.start(error));
    EXPECT_NE(error.find("127.0.0.0/8"), std::string::npos);
    EXPECT_TRUE(isLoopbackAddress("127.4.5.6"));
    EXPECT_FALSE(isLoopbackAddress("128.0.0.1"));
    EXPECT_FALSE(isLoopbackAddress("192.168.1.106"));

    // The guard reads the variable as the application's transport does: any value but "" or "0".
    const std::string saved = std::getenv("QUORVEL_LOOPBACK_ONLY");
    ::setenv("QUORVEL_LOOPBACK_ONLY", "yes", 1);
    EXPECT_TRUE(loopbackOnly());
    EXPECT_FALSE(sim.start(error));
    ::setenv("QUORVEL_LOOPBACK_ONLY", "0", 1);
    EXPECT_FALSE(loopbackOnly());
    ::setenv("QUORVEL_LOOPBACK_ONLY", saved.c_str(), 1);
}
