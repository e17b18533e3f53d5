// quorvel-sim: the device side of every exchange, on loopback, for demos and tests.
// One thread serves every client from a single UDP socket with poll() and a timer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/device_state.h"

namespace quorvel::sim {

struct SimOptions {
    std::string bind = "127.0.0.2";
    std::uint16_t port =
        39020;           // the device listens here and sends reports to the client's source address/port
    double meterHz = 20; // status reports per second to each subscribed client
    bool wiggle = false; // move a fader now and then as a person at the device would
    double drop = 0, corrupt = 0, duplicate = 0; // probabilities 0..1 per outgoing datagram
    bool split = false;                          // cut frames across datagrams at random points
    int answerHandshake = 0;                     // 0: answer every Z; N: answer only the N-th Z
    double silentAfterSeconds = -1;     // < 0: never; otherwise stop all sending after that many seconds
    int units = 0;                      // conference units reported (0..4)
    std::string basicVersion = "250";   // answer to %r
    std::string hardwareVersion = "32"; // answer to the %Z version query
    std::string firmwareDir;            // where received images are stored (empty: not stored)
    int firmwareFail = 0;               // non-zero: U answers this code
    std::vector<int> dropAcks;          // block frames (1 = the first T received) left unanswered
    unsigned seed = 1;                  // for the fault injection and meter motion
    bool verbose = false;               // one line on stderr per handshake, call and firmware step
    std::vector<int> talkers;           // channels that talk steadily at -20 dB, the rest silent;
                                        // empty: a few channels carry speech
};

// True when QUORVEL_LOOPBACK_ONLY is set to anything but "" or "0".
bool loopbackOnly();
// Dotted IPv4 text inside 127.0.0.0/8.
bool isLoopbackAddress(const std::string& dotted);

class Simulator {
public:
    explicit Simulator(SimOptions options);
    ~Simulator(); // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool start(std::string& error); // binds, starts its own thread; returns at once
    void stop();                    // joins; idempotent
    DeviceState snapshot() const;   // thread-safe copy of the device model
    void
    moveFaderAtDevice(int channel,
                      int level); // channel 1..12 inputs, 13..20 outputs; sends P to every subscribed client
    std::uint64_t commandsApplied() const; // frames A..O, Q, V, W, X, a, v, y applied so far

    // Further members for tests and benchmarks.
    std::uint16_t boundPort() const; // the port actually bound (useful with port 0)
    int subscribedClients() const;
    // Sends count status reports to every subscribed client back to back, on the simulator's
    // thread, ignoring meterHz; for receive-path benchmarks. Returns at once.
    void sendStatusBurst(int count);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace quorvel::sim
