// The traffic log of a live link against the simulator over loopback: what the file holds for
// a handshake, reports, corrupted datagrams and a name sent in pieces.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "../live/ports.h"
#include "link/commands.h"
#include "link/device_link.h"
#include "link/frame.h"
#include "log/traffic_log.h"
#include "sim/simulator.h"

using namespace quorvel;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

namespace {

struct Rig {
    fs::path file;
    DeviceState state;
    ManualClock clock;
    sim::Simulator device;
    TrafficLog log{10ms};
    std::unique_ptr<DeviceLink> link;
    int dispatched = 0;

    explicit Rig(sim::SimOptions so, int offset) : device(withPort(so, offset)) {
        file = fs::temp_directory_path() /
               ("quorvel-traffic-" + std::to_string(::getpid()) + "-" + std::to_string(offset) + ".log");
        fs::remove(file);
        std::string error;
        EXPECT_TRUE(device.start(error)) << error;
        EXPECT_TRUE(log.openFile(file, error)) << error;
        loadFactoryDefaults(state);
        state.link.hostAddress = "127.0.0.2";
        state.link.udpPort = testPort(offset);
        LinkOptions o;
        o.timing.restartWait = o.timing.startWait = o.timing.settleWait = 0ms;
        link = std::make_unique<DeviceLink>(state, clock, o);
        link->setTrafficLog(&log);
    }
    ~Rig() {
        link.reset();
        fs::remove(file);
    }
    static sim::SimOptions withPort(sim::SimOptions so, int offset) {
        so.bind = "127.0.0.2";
        so.port = testPort(offset);
        return so;
    }
    bool pumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = 3000ms) {
        const auto end = Steady::now() + limit;
        for (;;) {
            dispatched += link->deliverPending();
            link->tick();
            if (pred()) return true;
            if (Steady::now() >= end) return false;
            link->waitForFrames(std::min(end, Steady::now() + 20ms));
        }
    }
    // A damaged reply to Z leaves the handshake to its retry, ten (simulated) seconds on.
    bool connect() {
        link->connect();
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (pumpUntil([&] { return state.link.linkOnline; }, 500ms)) return true;
            clock.advance(10s);
            link->tick();
        }
        return false;
    }
    std::vector<std::string> lines() {
        EXPECT_TRUE(log.flush());
        std::vector<std::string> out;
        std::ifstream in(file);
        for (std::string l; std::getline(in, l);)
            out.push_back(l);
        return out;
    }
};

bool hasLine(const std::vector<std::string>& lines, const std::string& body) {
    for (const auto& l : lines)
        if (l.size() > 16 && l.compare(16, body.size(), body) == 0) return true;
    return false;
}

} // namespace

TEST(TrafficLogLive, EveryFrameOneLineWithDropReasonsUnderCorruption) {
    sim::SimOptions so;
    so.meterHz = 50;
    so.corrupt = 0.25;
    so.seed = 7;
    Rig rig(so, 0);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(rig.pumpUntil(
        [&] { return rig.link->dropCounts()[static_cast<int>(DropReason::BadChecksum)] >= 3; }, 5000ms));
    ASSERT_TRUE(rig.link->drain(1s));
    const auto lines = rig.lines();

    const std::regex format(R"(^(\d\d):(\d\d):(\d\d)\.(\d{6}) ([<>!]) (.+)$)");
    int sent = 0, accepted = 0, badChecksum = 0;
    for (const std::string& l : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, format)) << l;
        EXPECT_LT(std::stoi(m[1]), 24);
        const char dir = m.str(5)[0];
        const std::string text = m[6];
        if (dir == '>') {
            ++sent;
            EXPECT_TRUE(validateFrame(text)) << l;
        } else if (dir == '<') {
            ++accepted;
            // Only frames that passed the checksum are accepted.
            EXPECT_TRUE(validateFrame(text)) << l;
        } else {
            EXPECT_NE(text.find(" dropped: "), std::string::npos) << l;
            badChecksum += text.ends_with(" dropped: bad checksum");
        }
    }
    // Handshake, report start, and the reports themselves (status ones included).
    EXPECT_TRUE(hasLine(lines, "> %Z,"));
    EXPECT_TRUE(hasLine(lines, "> %Q,01,01,"));
    EXPECT_TRUE(hasLine(lines, "< %Z,"));
    EXPECT_TRUE(hasLine(lines, "< %Q,"));
    EXPECT_GE(badChecksum, 3);
    EXPECT_EQ(static_cast<std::uint64_t>(sent), rig.link->senderStats().framesSent);
    EXPECT_LE(accepted, rig.dispatched);
    EXPECT_GT(accepted, 0);
}

TEST(TrafficLogLive, NameSentInPiecesIsOneLineAndUnhookedLinkLogsNothing) {
    sim::SimOptions so;
    so.meterHz = 0;
    Rig rig(so, 1);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(rig.link->drain(1s));
    const auto datagramsBefore = rig.link->senderStats().datagramsSent;
    const int channel = 3;
    const int selectors[] = {channel};
    ASSERT_TRUE(rig.link->sendCommand('V', selectors));
    ASSERT_TRUE(rig.link->drain(2s));
    EXPECT_EQ(rig.link->senderStats().datagramsSent - datagramsBefore,
              splitPieces(buildV(rig.state, channel)).size());
    ASSERT_GT(splitPieces(buildV(rig.state, channel)).size(), 1u);

    auto lines = rig.lines();
    int v = 0;
    for (const auto& l : lines)
        if (l.compare(16, 4, "> %V") == 0) {
            ++v;
            EXPECT_EQ(l.substr(18), buildV(rig.state, channel));
        }
    EXPECT_EQ(v, 1);

    // Unhooked: the link goes on, the log hears nothing more.
    rig.link->setTrafficLog(nullptr);
    const std::size_t count = lines.size();
    ASSERT_TRUE(rig.link->sendCommand('V', selectors));
    ASSERT_TRUE(rig.link->drain(2s));
    EXPECT_EQ(rig.lines().size(), count);
}
