// Meter motion and the automixer's gating, as the device would report them: a few channels
// carry speech (syllables, phrases, pauses) or talk steadily, the rest sit at the noise floor or
// are silent, and the automixer (automixer.h) opens channels on the meters' own clock.
#pragma once

#include <array>
#include <random>
#include <vector>

#include "automixer.h"
#include "link/device_state.h"

namespace quorvel::sim {

inline constexpr int kMeterMax = 90; // the device's meter scale
inline constexpr int kAutomixChannels = kGatedChannels;
inline constexpr int kSteadyTalkerMeter = 40; // -20 dB

class SpeechMeters {
public:
    explicit SpeechMeters(unsigned seed);

    // Moves time on by dt seconds and recomputes meters and gates from the model's settings.
    void step(double dt, const DeviceState& s);

    const int (&meters() const)[20] { return meters_; }     // inputs 1..12, outputs 1..8
    int openMask() const { return automix_.openMask(); }    // bit k-1: channel k open
    int lastOpen() const { return automix_.heldChannel(); } // kept open by LAST HOLD, 0 none

    // These channels talk steadily at kSteadyTalkerMeter and every other is silent, instead of
    // the speech motion; an empty list returns to it.
    void setSteadyTalkers(std::vector<int> channels) { steady_ = std::move(channels); }

    // For tests: set input channel levels (0..90) directly instead of speech, a negative value
    // returns the channel to its own motion.
    void force(int channel, int meter) { forced_[static_cast<size_t>(channel - 1)] = meter; }

private:
    struct Talker {
        int channel = 0;
        bool talking = false;
        double left = 0;       // seconds left in this phrase or pause
        double syllable = 0.2; // seconds per syllable
        double phase = 0;      // 0..1 within the syllable
        double peak = 0.8;     // this syllable's loudness, 0..1
        int voice = 75;        // the talker's loud level on the meter scale
    };
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    void advance(Talker& t, double dt);

    std::mt19937 rng_;
    std::array<Talker, 3> talkers_;
    std::array<int, kAnalogInputs> forced_;
    std::vector<int> steady_;
    Automixer automix_;
    Clock::time_point now_{}; // the meters' own time, moved on by each step
    int meters_[20] = {};
};

} // namespace quorvel::sim
