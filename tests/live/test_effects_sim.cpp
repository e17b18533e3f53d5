// Sends and effects end to end: quorvelctl set against the simulator on loopback, and the state
// read back from the device's own report.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/commands.h"
#include "link/edit.h"
#include "link/reports.h"
#include "ports.h"
#include "sim/report_builder.h"
#include "sim/simulator.h"

using namespace quorvel;
using namespace std::chrono_literals;

namespace {

struct CtlResult {
    int code = -1;
    std::string out;
};

CtlResult ctl(const std::vector<std::string>& args) {
    std::string cmd = QUORVELCTL_PATH;
    for (const auto& a : args)
        cmd += " '" + a + "'";
    cmd += " 2>/dev/null";
    CtlResult r;
    FILE* p = ::popen(cmd.c_str(), "r");
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        r.out.append(buf, n);
    const int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace

TEST(EffectsWithDevice, FrameCommandBuildsTheNewLetters) {
    EXPECT_EQ(ctl({"frame", "a", "3", "--set", "input[3].sendLevel[4]=25"}).out,
              "%a,01,03,00,00,00,19,00,00,00,00,00,6A66#\n");
    EXPECT_EQ(ctl({"frame", "y", "--set", "input[17].effectParams[1]=500"}).out,
              "%y,01,01F4,00E8,26,4E20,00,00,A56F#\n");
    EXPECT_EQ(ctl({"frame", "v"}).out.substr(0, 32), "%v,01,3D,30,2F,32,03,4E20,00,00,");
    EXPECT_EQ(ctl({"frame", "a", "19"}).code, 2);
}

// The dry run must show what set would send: a threshold under SYNC is nine L with their pauses,
// SYNC starts off, and a slot nothing carries is refused as set refuses it.
TEST(EffectsWithDevice, DryRunFollowsTheRulesOfSet) {
    const CtlResult sweep =
        ctl({"set", "--dry-run", "automix.syncThresholds=1", "input[8].automixThreshold=60"});
    ASSERT_EQ(sweep.code, 0);
    auto s = std::make_unique<DeviceState>();
    loadFactoryDefaults(*s);
    for (int c = 1; c <= 8; ++c)
        s->in(c).automixThreshold = 60;
    std::string expected = buildL(*s, 8) + " 0\n";
    for (int c = 1; c <= 8; ++c)
        expected += buildL(*s, c) + " 10\n";
    EXPECT_EQ(sweep.out, expected);
    EXPECT_EQ(ctl({"set", "--dry-run", "input[3].automixThreshold=60"}).out, "%L,01,03,3C,00,E15B# 0\n");
    EXPECT_EQ(ctl({"set", "--dry-run", "input[3].effectParams[1]=60"}).code, 2);
}

TEST(EffectsWithDevice, SetSendsTheFramesAndStateReadsThemBack) {
    const std::uint16_t port = testPort(7);
    sim::SimOptions o;
    o.bind = "127.0.0.2";
    o.port = port;
    sim::Simulator device(o);
    std::string error;
    ASSERT_TRUE(device.start(error)) << error;

    // What set sends is the edit applied to the state the device reported, as the link gets it.
    DeviceState seen;
    loadFactoryDefaults(seen);
    ReportDispatcher d(seen);
    ASSERT_EQ(d.dispatch(sim::buildFullStateReport(device.snapshot(), "QUORVEL"), Clock::now()).kind,
              ReportKind::FullState);
    RecordingSink sink;
    ASSERT_TRUE(applyAssignment(seen, sink, "input[3].sendLevel[4]=25").applied);
    ASSERT_TRUE(applyAssignment(seen, sink, "input[17].effectParams[1]=500").applied);
    ASSERT_EQ(sink.frames.size(), 4u);
    EXPECT_EQ(sink.frames[0].text.substr(0, 9), "%I,01,03,");
    EXPECT_EQ(sink.frames[1].text, "%a,01,03,00,00,00,19,00,00,00,00,00,6A66#");
    EXPECT_EQ(sink.frames[2].text, buildN(seen));
    EXPECT_EQ(sink.frames[3].text, "%y,01,01F4,00E8,26,4E20,00,00,A56F#");

    const std::string p = std::to_string(port);
    const CtlResult set = ctl({"--host", "127.0.0.2", "--timeout", "5", "set", "input[3].sendLevel[4]=25",
                               "input[17].effectParams[1]=500", "input[18].effectInputMute=1", "--port", p});
    ASSERT_EQ(set.code, 0);
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (device.snapshot().in(18).unused != 1 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(5ms);
    const DeviceState dev = device.snapshot();
    EXPECT_EQ(dev.in(3).sendLevel[3], 25);
    EXPECT_EQ(dev.in(17).effectParams[0], 500);
    EXPECT_EQ(dev.in(18).unused, 1);

    const CtlResult state = ctl({"--host", "127.0.0.2", "--timeout", "5", "state", "--port", p});
    ASSERT_EQ(state.code, 0);
    EXPECT_NE(state.out.find("\"sendLevel\":[0,0,0,25,0,0,0,0,0]"), std::string::npos);
    EXPECT_NE(state.out.find("\"effectParams\":[500,232,38,20000"), std::string::npos);

    // Slots that carry nothing are a usage error, and nothing is sent.
    for (const char* bad : {"input[3].sendLevel[10]=1", "input[17].effectParams[5]=1",
                            "input[18].effectParams[1]=20", "input[4].effectInputMute=1"})
        EXPECT_EQ(ctl({"--host", "127.0.0.2", "--timeout", "2", "set", bad, "--port", p}).code, 2) << bad;
}
