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
    for (int c = 0; c < kAnalogInputs; ++c) {
        if (forced_[static_cast<size_t>(c)] >= 0) in[c] = forced_[static_cast<size_t>(c)];
        meters_[c] = std::clamp(in[c], 0, kMeterMax);
    }
    gate(dt, s);

    // Outputs follow the loudest routed, unmuted source after both faders; a closed automix
    // channel is attenuated by the closed-channel setting.
    for (int o = 1; o <= kOutputRecords; ++o) {
        const OutputChannel& out = s.out(o);
        int best = 0;
        if (!out.mute) {
            for (int c = 1; c <= kAnalogInputs; ++c) {
                const InputChannel& ch = s.in(c);
                if (ch.mute || !ch.routeToOutput[static_cast<size_t>(o - 1)]) continue;
                int v = meters_[c - 1] + (ch.level - 60) + (out.level - 60);
                if (c <= kAutomixChannels && !s.automix.manualMode && !(openMask_ >> (c - 1) & 1))
                    v -= 60 - s.automix.closedChannelAttenuation;
                best = std::max(best, v);
            }
        }
        meters_[kAnalogInputs + o - 1] = std::clamp(best, 0, kMeterMax);
    }
}

void SpeechMeters::gate(double dt, const DeviceState& s) {
    const AutomixSettings& a = s.automix;
    if (a.manualMode) {
        // Manual mixing: the automixer does not gate, every channel passes.
        openMask_ = (1 << kAutomixChannels) - 1;
        return;
    }
    const double holdSeconds = std::max(1, a.holdTime) * 0.05;
    struct Candidate {
        int channel;
        int priority;
        int meter;
        bool wasOpen;
    };
    Candidate list[kAutomixChannels];
    int n = 0;
    for (int c = 1; c <= kAutomixChannels; ++c) {
        const InputChannel& ch = s.in(c);
        double& hold = hold_[static_cast<size_t>(c - 1)];
        hold = std::max(0.0, hold - dt);
        if (ch.mute) {
            hold = 0;
            continue;
        }
        if (meters_[c - 1] > ch.automixThreshold) hold = holdSeconds;
        if (hold > 0) list[n++] = {c, ch.priority ? 1 : 0, meters_[c - 1], (openMask_ >> (c - 1) & 1) != 0};
    }
    // Priority channels first, then the open ones keep their place (no flutter between two
    // equal talkers), then the loudest.
    auto before = [](const Candidate& x, const Candidate& y) {
        if (x.priority != y.priority) return x.priority > y.priority;
        if (x.wasOpen != y.wasOpen) return x.wasOpen;
        return x.meter > y.meter;
    };
    for (int i = 1; i < n; ++i) // eight at most: an insertion sort is plenty
        for (int j = i; j > 0 && before(list[j], list[j - 1]); --j)
            std::swap(list[j], list[j - 1]);
    const int maxOpen = std::clamp(a.maxOpenChannels, 1, kAutomixChannels);
    int mask = 0;
    for (int i = 0; i < n && i < maxOpen; ++i) {
        int c = list[i].channel;
        mask |= 1 << (c - 1);
        if (!list[i].wasOpen) lastOpen_ = c;
    }
    // With last hold on, the room never goes silent: the last talker stays open.
    if (mask == 0 && a.lastHold && lastOpen_ != 0 && !s.in(lastOpen_).mute) mask = 1 << (lastOpen_ - 1);
    openMask_ = mask;
}

} // namespace quorvel::sim
