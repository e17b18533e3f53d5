#include "meters.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quorvel::sim {

SpeechMeters::SpeechMeters(unsigned seed) : rng_(seed) {
    const int channels[] = {1, 2, 4}; // a panel of three, the others sit unused
    for (size_t i = 0; i < talkers_.size(); ++i) {
        Talker& t = talkers_[i];
        t.channel = channels[i];
        t.voice = 68 + static_cast<int>(uniform(0, 14));
        t.left = uniform(0.2, 3.0); // staggered, so they do not all start together
    }
    forced_.fill(-1);
}

void SpeechMeters::advance(Talker& t, double dt) {
    t.left -= dt;
    if (t.left <= 0) {
        t.talking = !t.talking;
        // Phrases of one to four seconds; pauses long enough for the others to take a turn.
        t.left = t.talking ? uniform(1.0, 4.0) : uniform(0.8, 5.0);
        t.phase = 0;
    }
    if (!t.talking) return;
    t.phase += dt / t.syllable;
    if (t.phase >= 1.0) {
        t.phase = std::fmod(t.phase, 1.0);
        t.syllable = uniform(0.12, 0.3); // four to eight syllables a second
        t.peak = uniform(0.55, 1.0);
    }
}

void SpeechMeters::step(double dt, const DeviceState& s) {
    dt = std::clamp(dt, 0.0, 1.0);
    int in[kAnalogInputs];
    for (int c = 0; c < kAnalogInputs; ++c)
        in[c] = 2 + static_cast<int>(uniform(0, 4)); // noise floor
    for (Talker& t : talkers_) {
        advance(t, dt);
        if (!t.talking) continue;
        // A syllable rises and falls; the gaps between syllables do not reach the floor.
        double env = std::pow(std::sin(std::numbers::pi * t.phase), 0.6) * t.peak;
        int v = static_cast<int>(10 + env * (t.voice - 10) + uniform(-2, 2));
        in[t.channel - 1] = std::max(in[t.channel - 1], v);
    }
    if (!steady_.empty()) {
        for (int c = 0; c < kAnalogInputs; ++c)
            in[c] = 0;
        for (int c : steady_)
            if (c >= 1 && c <= kAnalogInputs) in[c - 1] = kSteadyTalkerMeter;
    }
    for (int c = 0; c < kAnalogInputs; ++c) {
        if (forced_[static_cast<size_t>(c)] >= 0) in[c] = forced_[static_cast<size_t>(c)];
        meters_[c] = std::clamp(in[c], 0, kMeterMax);
    }
    now_ += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(dt));
    std::array<int, kGatedChannels> gated{};
    for (int c = 0; c < kGatedChannels; ++c)
        gated[static_cast<size_t>(c)] = meters_[c];
    automix_.update(now_, gated, s);

    // Outputs follow the loudest routed, unmuted source after both faders and the automixer
    // (closed-channel and NOM attenuation).
    for (int o = 1; o <= kOutputRecords; ++o) {
        const OutputChannel& out = s.out(o);
        int best = 0;
        if (!out.mute) {
            for (int c = 1; c <= kAnalogInputs; ++c) {
                const InputChannel& ch = s.in(c);
                if (ch.mute || !ch.routeToOutput[static_cast<size_t>(o - 1)]) continue;
                const int v =
                    meters_[c - 1] + (ch.level - 60) + (out.level - 60) + automix_.gainDb(c, s.automix);
                best = std::max(best, v);
            }
        }
        meters_[kAnalogInputs + o - 1] = std::clamp(best, 0, kMeterMax);
    }
}

} // namespace quorvel::sim
