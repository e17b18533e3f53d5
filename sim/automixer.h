// The device's automatic microphone mixer over channels 1..8, as the status report shows it
// (j = 20 the open channels, j = 21 the channel kept open by LAST HOLD). It runs on the times it
// is handed, so a test walks hold times through without waiting.
//
// A channel wants to open while its meter is above its threshold (meter - 60 dB against
// automixThreshold - 80 dB; a meter of 0 is no signal at all) and for holdTime x 50 ms after.
// Of the channels that want, at most maxOpenChannels are open: priority channels first (they
// take the place of an open channel without priority), then in the order they began to want,
// ties to the lower channel. A muted channel never wants. With lastHold on and nobody wanting,
// the channel that was open last stays open. Manual mode opens all eight.
#pragma once

#include <array>

#include "link/device_state.h"

namespace quorvel::sim {

inline constexpr int kGatedChannels = 8;

class Automixer {
public:
    // meters: inputs 1..8 on the device's meter scale.
    void update(Clock::time_point now, const std::array<int, kGatedChannels>& meters, const DeviceState& s);

    int openMask() const { return openMask_; }       // bit k-1: channel k open
    int heldChannel() const { return heldChannel_; } // kept open by LAST HOLD, 0 none
    int openCount() const { return __builtin_popcount(static_cast<unsigned>(openMask_)); }

    // What the automixer does to channel 1..12's level on its way to the outputs, in dB: a
    // closed channel loses the closed-channel attenuation, an open one the NOM attenuation
    // (10 log10 of the open count, at most the setting). Nothing outside channels 1..8 or in
    // manual mode.
    int gainDb(int channel, const AutomixSettings& a) const;

    // meter - 60 dB is above automixThreshold - 80 dB.
    static bool above(int meter, int threshold) { return meter > 0 && meter - 60 > threshold - 80; }

private:
    bool wanting(int c) const { return wanting_[static_cast<std::size_t>(c - 1)]; }

    std::array<bool, kGatedChannels> wanting_{};
    std::array<bool, kGatedChannels> heard_{}; // ever above: lastAbove_ means something
    std::array<Clock::time_point, kGatedChannels> lastAbove_{};
    std::array<Clock::time_point, kGatedChannels> wantSince_{};
    std::array<Clock::time_point, kGatedChannels> openedAt_{};
    int openMask_ = 0;
    int heldChannel_ = 0;
};

} // namespace quorvel::sim
