// The built-in demo device: an in-process simulator on the first free loopback address, and a
// local address for the application's own socket that no other demo or simulator holds. Two
// demos, or a demo beside a simulator on 127.0.0.2, then each find a pair of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sim/simulator.h"

namespace quorvel::ui {

struct DemoDevice {
    std::unique_ptr<sim::Simulator> simulator;
    std::string deviceAddress; // where the simulator listens
    std::string localAddress;  // what the application's socket binds to
};

inline constexpr int kDemoFirstHost = 2;
inline constexpr int kDemoLastHost = 254;

// Tries 127.0.0.first .. 127.0.0.last for the simulator (options.bind is replaced), then
// 127.0.0.1 and the rest of that range for the application's socket on the same port. On failure
// says why and leaves out empty.
bool startDemoDevice(sim::SimOptions options, DemoDevice& out, std::string& error,
                     int firstHost = kDemoFirstHost, int lastHost = kDemoLastHost);

} // namespace quorvel::ui
