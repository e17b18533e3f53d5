// The simulator's automixer on a hand-moved clock: who opens, who waits, how long a channel
// holds, what LAST HOLD keeps and what the outputs lose.
#include <gtest/gtest.h>

#include "automixer.h"
#include "meters.h"

using namespace quorvel;
using namespace quorvel::sim;
using namespace std::chrono_literals;

namespace {

constexpr int kTalking = 40; // -20 dB, above the factory threshold of -40 dB

struct Room {
    DeviceState s;
    Automixer mix;
    std::array<int, kGatedChannels> meters{};
    Clock::time_point now = Clock::time_point{} + 1h;

    Room() {
        loadFactoryDefaults(s);
        s.automix.lastHold = 0;
        s.automix.maxOpenChannels = 2;
    }
    void talk(std::initializer_list<int> channels, int level = kTalking) {
        for (int c : channels)
            meters[static_cast<std::size_t>(c - 1)] = level;
    }
    void stop(std::initializer_list<int> channels) { talk(channels, 0); }
    void step(Clock::duration d = 50ms) {
        now += d;
        mix.update(now, meters, s);
    }
    std::vector<int> open() const {
        std::vector<int> out;
        for (int c = 1; c <= kGatedChannels; ++c)
            if (mix.openMask() >> (c - 1) & 1) out.push_back(c);
        return out;
    }
};

using Open = std::vector<int>;

} // namespace

TEST(Automixer, MaxOpenFirstComeAndTiesToTheLowerChannel) {
    Room r;
    r.talk({6, 4, 7}); // together: the lower channels win
    r.step();
    EXPECT_EQ(r.open(), (Open{4, 6}));
    r.talk({2}); // later, and lower: it still waits for its turn
    r.step();
    EXPECT_EQ(r.open(), (Open{4, 6}));
    r.stop({4});
    r.step(10ms); // within the hold time channel 4 keeps its place
    EXPECT_EQ(r.open(), (Open{4, 6}));
    r.step(50ms); // 7 came before 2
    EXPECT_EQ(r.open(), (Open{6, 7}));
    r.s.automix.maxOpenChannels = 8;
    r.step();
    EXPECT_EQ(r.open(), (Open{2, 6, 7}));
}

TEST(Automixer, PriorityPreemptsAndGivesThePlaceBack) {
    Room r;
    r.s.automix.maxOpenChannels = 1;
    r.talk({3});
    r.step();
    r.talk({5});
    r.step();
    EXPECT_EQ(r.open(), (Open{3}));
    r.s.in(5).priority = 1;
    r.step();
    EXPECT_EQ(r.open(), (Open{5})) << "priority takes the place of an open channel";
    r.stop({5});
    r.step(40ms);
    EXPECT_EQ(r.open(), (Open{5}));
    r.step(20ms);
    EXPECT_EQ(r.open(), (Open{3})) << "the channel still talking comes back";
}

TEST(Automixer, ThresholdAndHoldTime) {
    Room r;
    r.s.in(1).automixThreshold = 60; // -20 dB: a talker at exactly -20 dB is not above it
    r.talk({1});
    r.step();
    EXPECT_TRUE(r.open().empty());
    r.s.in(1).automixThreshold = 59;
    r.step();
    EXPECT_EQ(r.open(), (Open{1}));
    EXPECT_FALSE(Automixer::above(0, 0)) << "no signal is never above";

    r.s.automix.holdTime = 100; // 5000 ms
    r.stop({1});
    r.step(4999ms);
    EXPECT_EQ(r.open(), (Open{1}));
    r.step(1ms);
    EXPECT_TRUE(r.open().empty());

    r.talk({2});
    r.s.in(2).mute = 1;
    r.step();
    EXPECT_TRUE(r.open().empty()) << "a muted channel never opens";
}

TEST(Automixer, LastHoldKeepsTheLastOpenedChannelAndNamesIt) {
    Room r;
    r.s.automix.lastHold = 1;
    r.talk({2});
    r.step();
    r.talk({6});
    r.step();
    EXPECT_EQ(r.mix.heldChannel(), 0);
    r.stop({2, 6});
    r.step(100ms);
    EXPECT_EQ(r.open(), (Open{6}));
    EXPECT_EQ(r.mix.heldChannel(), 6);
    r.step(10s);
    EXPECT_EQ(r.open(), (Open{6})) << "held for as long as nobody talks";

    r.talk({1});
    r.step();
    EXPECT_EQ(r.open(), (Open{1}));
    EXPECT_EQ(r.mix.heldChannel(), 0);

    r.s.automix.lastHold = 0;
    r.stop({1});
    r.step(100ms);
    EXPECT_TRUE(r.open().empty());
}

TEST(Automixer, ManualOpensAllEightAndTheOutputsShowTheAttenuation) {
    Room r;
    r.s.automix.closedChannelAttenuation = 20; // -40 dB
    r.s.automix.nomAttenuation = 27;           // at most -3 dB
    r.s.automix.maxOpenChannels = 4;
    r.talk({1, 2, 3});
    r.step();
    EXPECT_EQ(r.mix.gainDb(5, r.s.automix), -40);
    EXPECT_EQ(r.mix.gainDb(1, r.s.automix), -3) << "three open: 5 dB, capped at the setting";
    EXPECT_EQ(r.mix.gainDb(10, r.s.automix), 0);
    r.s.automix.nomAttenuation = 30;
    EXPECT_EQ(r.mix.gainDb(1, r.s.automix), 0);

    r.s.automix.manualMode = 1;
    r.step();
    EXPECT_EQ(r.mix.openMask(), 0xFF);
    EXPECT_EQ(r.mix.gainDb(5, r.s.automix), 0);

    // Through the meters: steady talkers at -20 dB, one open, the closed one 60 dB down.
    SpeechMeters m(1);
    DeviceState d;
    loadFactoryDefaults(d);
    m.setSteadyTalkers({1, 3});
    m.step(0.05, d);
    EXPECT_EQ(m.meters()[0], kSteadyTalkerMeter);
    EXPECT_EQ(m.meters()[1], 0);
    EXPECT_EQ(m.openMask(), 1);
    EXPECT_EQ(m.meters()[kAnalogInputs], kSteadyTalkerMeter);
    d.in(1).mute = 1;
    m.step(0.05, d);
    m.step(0.05, d);
    EXPECT_EQ(m.openMask(), 1 << 2);
}
