// The demo finds loopback addresses of its own beside other demos and simulators.
#include <gtest/gtest.h>

#include <unistd.h>

#include "app/demo_device.h"
#include "link/udp_transport.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

// Unique per test process, so parallel test binaries (and a running demo) never share a port.
const std::uint16_t kPort = static_cast<std::uint16_t>(40000 + getpid() % 20000);

sim::SimOptions options() {
    sim::SimOptions o;
    o.port = kPort;
    o.meterHz = 1;
    return o;
}

} // namespace

TEST(DemoDevice, TakesTheFirstFreeAddressBesideASimulatorAndAnotherDemo) {
    // A simulator already holds 127.0.0.2, as a developer's quorvel-sim would.
    sim::SimOptions held = options();
    held.bind = "127.0.0.2";
    sim::Simulator blocker(held);
    std::string error;
    ASSERT_TRUE(blocker.start(error)) << error;

    DemoDevice first;
    ASSERT_TRUE(startDemoDevice(options(), first, error)) << error;
    EXPECT_EQ(first.deviceAddress, "127.0.0.3");
    EXPECT_EQ(first.localAddress, "127.0.0.1");
    ASSERT_TRUE(first.simulator);

    // The first demo's window has bound its socket by now.
    UdpTransport firstApp;
    ASSERT_TRUE(firstApp.open(first.localAddress, kPort, error)) << error;

    DemoDevice second;
    ASSERT_TRUE(startDemoDevice(options(), second, error)) << error;
    EXPECT_EQ(second.deviceAddress, "127.0.0.4");
    // 127.0.0.1..4 are all taken (two applications' sockets, two simulators and the blocker).
    EXPECT_EQ(second.localAddress, "127.0.0.5");
    UdpTransport secondApp;
    EXPECT_TRUE(secondApp.open(second.localAddress, kPort, error)) << error;
}

TEST(DemoDevice, SaysWhyWhenTheRangeIsFull) {
    sim::SimOptions held = options();
    held.bind = "127.0.0.2";
    sim::Simulator blocker(held);
    std::string error;
    ASSERT_TRUE(blocker.start(error)) << error;
    DemoDevice demo;
    EXPECT_FALSE(startDemoDevice(options(), demo, error, 2, 2));
    EXPECT_NE(error.find("127.0.0.2"), std::string::npos) << error;
    EXPECT_FALSE(demo.simulator);
    EXPECT_TRUE(demo.deviceAddress.empty() && demo.localAddress.empty());
}
