// The paced sender on a hand-moved clock: which frames replace which, and how many reach the wire
// per pause, without a thread or a real wait.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/clock.h"
#include "link/commands.h"
#include "link/paced_sender.h"

using namespace quorvel;
using namespace std::chrono_literals;

namespace {

struct Wire {
    ManualClock clock;
    std::vector<std::string> sent;
    std::vector<Clock::time_point> at;
    std::function<void(std::string_view)> onSend; // runs inside the send, as the socket would
    PacedSender sender{[this](const Destination&, std::string_view d, std::string&) {
                           sent.emplace_back(d);
                           at.push_back(clock.now());
                           if (onSend) onSend(d);
                           return true;
                       },
                       clock, PacedSender::Threading::Manual};
    Destination to = *makeDestination("127.0.0.2", 1);

    void queue(std::string text, std::chrono::milliseconds pause, bool pieces = false) {
        sender.enqueue({std::move(text), pause, pieces}, to);
    }
    // Moves the clock in steps of 1 ms, sending whatever falls due.
    void run(std::chrono::milliseconds d) {
        for (auto t = 0ms; t < d; t += 1ms) {
            clock.advance(1ms);
            sender.pump();
        }
    }
};

DeviceState defaults() {
    DeviceState s;
    loadFactoryDefaults(s);
    return s;
}

} // namespace

TEST(SenderCoalescing, FastDragSendsTheFirstStepAtOnceThenOnePerPauseAndEndsOnTheLastValue) {
    Wire w;
    DeviceState s = defaults();
    // A linked fader: every frame is followed by the member pause.
    s.in(3).level = 0;
    w.queue(buildA(s, 3), 10ms);
    ASSERT_EQ(w.sent.size(), 1u) << "the first step must not wait";
    EXPECT_EQ(w.sent[0], buildA(s, 3));

    // One move a millisecond for 95 ms.
    for (int i = 1; i <= 95; ++i) {
        s.in(3).level = i % 71;
        w.queue(buildA(s, 3), 10ms);
        w.run(1ms);
    }
    w.run(20ms);
    ASSERT_GE(w.sent.size(), 2u);
    EXPECT_EQ(w.sent.back(), buildA(s, 3)) << "the value the drag stopped at goes out last";
    EXPECT_LE(w.sent.size(), 11u);
    for (std::size_t i = 1; i < w.at.size(); ++i)
        EXPECT_GE(w.at[i] - w.at[i - 1], 10ms) << "frame " << i << " came inside the pause";
    EXPECT_EQ(w.sender.stats().coalesced + w.sent.size(), 96u) << "every move either went or was replaced";
    EXPECT_TRUE(w.sender.settled());
}

// A queued member copy carries the group pause; the member's own fader sends without one. The
// newer value takes the copy's place and its pause, or the next member would follow too soon.
TEST(SenderCoalescing, AReplacementKeepsTheLongerPause) {
    Wire w;
    DeviceState s = defaults();
    w.queue(buildA(s, 1), 10ms); // goes at once; the line is busy for 10 ms
    w.queue(buildA(s, 2), 10ms); // member copies wait
    w.queue(buildA(s, 3), 10ms);
    s.in(2).level = 33;
    w.queue(buildA(s, 2), 0ms); // the member's own strip, no pause asked
    w.run(60ms);
    ASSERT_EQ(w.sent.size(), 3u);
    EXPECT_EQ(w.sent[1], buildA(s, 2));
    EXPECT_GE(w.at[2] - w.at[1], 10ms) << "the copy's pause was lost with its text";
}

TEST(SenderCoalescing, GroupMembersKeepTheirOrderAndEachGetsItsLastValue) {
    Wire w;
    DeviceState s = defaults();
    auto move = [&](int level) {
        for (int ch : {1, 2, 3}) {
            s.in(ch).level = level;
            w.queue(buildA(s, ch), 10ms);
        }
    };
    move(10); // A1 goes at once, A2 and A3 wait
    move(11);
    move(12); // replaces the waiting A2, A3 and the new A1 in place
    w.run(100ms);
    std::vector<std::string> want;
    DeviceState v = defaults();
    v.in(1).level = 10;
    want.push_back(buildA(v, 1));
    for (int ch : {2, 3, 1}) {
        v.in(ch).level = 12;
        want.push_back(buildA(v, ch));
    }
    EXPECT_EQ(w.sent, want);
}

TEST(SenderCoalescing, PiecesBareFramesAndUnreadableTextNeverMerge) {
    Wire w;
    DeviceState s = defaults();
    w.queue(buildZ({127, 0, 0, 1}, 39020), 10ms); // keeps the line busy so the rest queues
    const std::vector<std::pair<std::string, bool>> twice = {{buildV(s, 1), true},
                                                             {buildA(s, 27), false},
                                                             {buildQ(1), false},
                                                             {buildW(2), false},
                                                             {buildX(s, 2), false},
                                                             {buildZ({127, 0, 0, 1}, 39020), false},
                                                             {"%A,01,0g,00,3C,0000#", false},
                                                             {"%A,01,03", false},
                                                             {"not a frame", false}};
    std::size_t datagrams = 1;
    for (const auto& [text, pieces] : twice) {
        w.queue(text, 10ms, pieces);
        w.queue(text, 10ms, pieces);
        datagrams += 2 * (pieces ? splitPieces(text).size() : 1);
    }
    w.run(1s);
    EXPECT_EQ(w.sent.size(), datagrams);
    EXPECT_EQ(w.sender.stats().coalesced, 0u);
    EXPECT_EQ(w.sender.stats().framesSent, 1 + 2 * twice.size());
}

TEST(SenderCoalescing, AReplacementNeverOvertakesAFrameThatSharesItsFields) {
    Wire w;
    DeviceState s = defaults();
    w.queue(buildQ(1), 10ms);
    // O carries the phantom mask of channels 1..8 whatever its channel: O3 must not jump the O5
    // queued after it with the newer mask.
    s.in(3).gainStep = 1;
    const std::string o3 = buildO(s, 3);
    setPhantomMask(s, 0x10);
    const std::string o5 = buildO(s, 5);
    s.in(3).gainStep = 2;
    const std::string o3b = buildO(s, 3);
    // G carries its channel's PEQ switch in every band; other channels do not hold it back.
    const std::string g11 = buildG(s, 1, 1);
    s.in(1).peqOn = 1;
    const std::string g12 = buildG(s, 1, 2), g21 = buildG(s, 2, 1);
    s.in(1).peq[0].bandFreq += 1;
    const std::string g11b = buildG(s, 1, 1);
    s.in(2).peq[0].bandFreq += 1;
    const std::string g21b = buildG(s, 2, 1); // replaces the waiting G 2/1
    for (const std::string* f : {&o3, &o5, &o3b, &g11, &g12, &g21, &g11b, &g21b})
        w.queue(*f, 0ms);
    w.run(50ms);
    EXPECT_EQ(w.sent, (std::vector<std::string>{buildQ(1), o3, o5, o3b, g11, g12, g21b, g11b}));
    EXPECT_EQ(w.sender.stats().coalesced, 1u);
}

TEST(SenderCoalescing, AFrameOnItsWayIsNeverRewritten) {
    Wire w;
    DeviceState s = defaults();
    w.queue(buildQ(1), 10ms);
    s.in(1).level = 5;
    w.queue(buildA(s, 1), 10ms);
    const std::string first = buildA(s, 1);
    s.in(1).level = 6;
    const std::string second = buildA(s, 1);
    // A new value that arrives while the waiting one is being written goes after it.
    w.onSend = [&](std::string_view d) {
        if (d == first) w.queue(second, 10ms);
    };
    w.run(40ms);
    EXPECT_EQ(w.sent, (std::vector<std::string>{buildQ(1), first, second}));

    // Nor is a frame in pieces cut by clear(): its remaining pieces still go.
    Wire p;
    p.queue(buildQ(1), 10ms);
    p.queue(buildV(s, 2), 10ms, true);
    p.run(11ms); // the first piece is out
    p.sender.clear();
    p.run(50ms);
    EXPECT_EQ(p.sent.size(), 4u);
}

TEST(SenderCoalescing, SettledWaitsForTheLastPause) {
    Wire w;
    w.queue(buildQ(0), 30ms);
    EXPECT_TRUE(w.sender.idle());
    EXPECT_FALSE(w.sender.settled());
    EXPECT_FALSE(w.sender.drain(0ms));
    w.run(29ms);
    EXPECT_FALSE(w.sender.settled());
    w.run(1ms);
    EXPECT_TRUE(w.sender.settled());
    EXPECT_TRUE(w.sender.drain(0ms));
}
