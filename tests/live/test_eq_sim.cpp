// The equaliser operations against the device simulator: what the device holds after a band
// edit, BYPASS on and off, RESET and a graphic-equaliser drag, and what a second client reads
// back from the device's own full-state report.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "link/device_link.h"
#include "link/edit.h"
#include "link/edit_sink.h"
#include "ports.h"
#include "processing/geq_ops.h"
#include "processing/peq_ops.h"
#include "sim/simulator.h"

using namespace quorvel;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

struct Client {
    DeviceState state;
    ManualClock clock;
    std::unique_ptr<DeviceLink> link;

    Client(const char* bind, std::uint16_t port) {
        loadFactoryDefaults(state);
        state.link.hostAddress = "127.0.0.2";
        state.link.udpPort = port;
        LinkOptions o;
        o.timing.restartWait = o.timing.startWait = o.timing.settleWait = 0ms;
        o.bindAddress = bind;
        link = std::make_unique<DeviceLink>(state, clock, o);
    }
    bool pumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = 3000ms) {
        const auto end = Steady::now() + limit;
        for (;;) {
            link->deliverPending();
            link->tick();
            if (pred()) return true;
            if (Steady::now() >= end) return false;
            link->waitForFrames(std::min(end, Steady::now() + 20ms));
        }
    }
};

} // namespace

TEST(EqWithDevice, OperationsReachTheDeviceAndReadBack) {
    const auto port = testPort(5);
    sim::SimOptions so;
    so.bind = "127.0.0.2";
    so.port = port;
    sim::Simulator device(so);
    std::string error;
    ASSERT_TRUE(device.start(error)) << error;

    Client c("127.0.0.1", port);
    c.link->connect();
    ASSERT_TRUE(c.pumpUntil([&] { return c.state.link.linkOnline; }));
    // The link answers the names report with Q 1; let that reach the device before counting.
    const auto namesBefore = device.commandsApplied();
    c.pumpUntil([&] { return device.commandsApplied() > namesBefore; }, 1000ms);
    CallbackSink sink([&](OutgoingFrame f) { EXPECT_TRUE(c.link->send(std::move(f), &error)) << error; });
    // Every frame sent, then until the device has taken as many commands as went out.
    std::uint64_t sent = device.commandsApplied();
    CallbackSink counted([&](OutgoingFrame f) {
        ++sent;
        sink.queue(std::move(f));
    });
    auto settle = [&] {
        ASSERT_TRUE(c.link->drain(3s));
        ASSERT_TRUE(c.pumpUntil([&] { return device.commandsApplied() >= sent; }));
    };

    applyEdit(c.state, counted, "input[3].peq[2].bandGain", 151);
    applyEdit(c.state, counted, "input[3].hpfOn", 1);
    applyEdit(c.state, counted, "input[3].hpfFreq", 120);
    settle();
    DeviceState dev = device.snapshot();
    EXPECT_EQ(dev.in(3).peq[1].bandGain, 150); // the lowest bit is lost on the wire
    EXPECT_EQ(dev.in(3).hpfFreq, 120);

    PeqBypass bypass;
    bypass.set(c.state, counted, 3, true);
    settle();
    dev = device.snapshot();
    EXPECT_EQ(dev.in(3).hpfOn, 0);
    EXPECT_EQ(dev.in(3).hpfFreq, 20);
    bypass.set(c.state, counted, 3, false);
    settle();
    dev = device.snapshot();
    EXPECT_EQ(dev.in(3).hpfOn, 1);
    EXPECT_EQ(dev.in(3).hpfFreq, 120);
    EXPECT_EQ(c.state.in(3).peq[1].bandGain, 151); // restored exactly on this side

    DragPacer pacer;
    geqDragPoint(c.state, counted, pacer, c.clock.now(), 2, 3, 3.3, true);
    settle();
    EXPECT_EQ(device.snapshot().out(2).geq[3].gain, 182);

    peqReset(c.state, counted, 4);
    settle();
    dev = device.snapshot();
    for (int b = 0; b < kPeqBands; ++b)
        EXPECT_EQ(dev.in(4).peq[static_cast<std::size_t>(b)].bandFreq,
                  kPeqResetFreq[static_cast<std::size_t>(b)]);

    // A second client reads the same values from the device's full state.
    Client other("127.0.0.4", port);
    other.link->connect();
    ASSERT_TRUE(other.pumpUntil([&] { return other.state.link.linkOnline; }));
    EXPECT_EQ(other.state.in(3).hpfFreq, 120);
    EXPECT_EQ(other.state.in(3).hpfOn, 1);
    EXPECT_EQ(other.state.in(3).peq[1].bandGain, 150);
    EXPECT_EQ(other.state.out(2).geq[3].gain, 182);

    // quorvelctl reads the curve from the device and resets the channel there.
    const std::string ctl = std::string(QUORVELCTL_PATH) + " --host 127.0.0.2 --bind 127.0.0.5 --timeout 5 ";
    const std::string p = " --port " + std::to_string(port);
    std::string curve;
    if (FILE* f = popen((ctl + "curve 'input[3]'" + p).c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;)
            curve.append(buf, n);
        EXPECT_EQ(pclose(f), 0);
    }
    ASSERT_EQ(std::count(curve.begin(), curve.end(), '\n'), 241);
    // The device's 120 Hz high-pass is in it: 20 Hz lies far below 0 dB.
    EXPECT_LT(std::stod(curve.substr(curve.find(' ') + 1)), -20.0);
    EXPECT_EQ(std::system((ctl + "set 'reset:peq:input[3]'" + p + " >/dev/null").c_str()), 0);
    ASSERT_TRUE(c.pumpUntil([&] { return device.snapshot().in(3).hpfOn == 0; }));
    EXPECT_EQ(device.snapshot().in(3).hpfFreq, 20);
}
