// The equaliser pages' operations without a window: which frames leave, in which order, with
// which pauses, and what is stored, for a channel alone, linked, offline and at the channel limits.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/commands.h"
#include "link/edit.h"
#include "link/field_registry.h"
#include "processing/geq_ops.h"
#include "processing/geq_text.h"
#include "processing/peq_ops.h"
#include "processing/peq_text.h"

namespace quorvel {
namespace {

using std::chrono::milliseconds;

struct Rig {
    Rig() {
        loadFactoryDefaults(*s);
        s->link.linkOnline = true;
    }
    std::unique_ptr<DeviceState> s = std::make_unique<DeviceState>();
    RecordingSink sink;
    // "G03.1 20" : letter, selector (and band), pause.
    std::vector<std::string> wire() const {
        std::vector<std::string> out;
        for (const OutgoingFrame& f : sink.frames) {
            std::string t = f.text.substr(1, 1) + f.text.substr(6, 2);
            if (f.text[1] == 'G') t += "." + std::to_string(std::stoi(f.text.substr(12, 2), nullptr, 16));
            out.push_back(t + " " + std::to_string(f.pauseAfter.count()));
        }
        return out;
    }
};

void link(DeviceState& s, bool input, std::initializer_list<int> records, bool eqOn = true) {
    for (int r : records)
        s.controlGroups[0][static_cast<std::size_t>(input ? r - 1 : cg::kFirstOutput + r - 1)] = 1;
    s.controlGroups[0][cg::kMemberCount] = static_cast<std::int32_t>(records.size());
    s.controlGroups[0][cg::kLinkEq] = eqOn ? 1 : 0;
}

using Wire = std::vector<std::string>;

TEST(PeqOps, FreshStateHoldsTheResetValues) {
    Rig a, b;
    a.s->in(3).peq[1].bandGain = 40;
    a.s->in(3).hpfOn = 1;
    peqReset(*a.s, a.sink, 3);
    EXPECT_TRUE(peqBlockOf(a.s->in(3)) == peqBlockOf(b.s->in(3)));
    EXPECT_EQ(b.s->in(1).hpfType, 2);
    EXPECT_EQ(b.s->in(1).lpfType, 2);
    EXPECT_EQ(b.s->in(1).peqOn, 1);
    EXPECT_EQ(b.s->out(1).geqOn, 1);
}

TEST(PeqOps, ResetAndBypassOrderAndPauses) {
    Rig r;
    peqReset(*r.s, r.sink, 3);
    EXPECT_EQ(r.wire(), (Wire{"G03.1 20", "G03.2 20", "G03.3 20", "G03.4 20", "E03 20", "F03 20"}));

    // Channels without filters send no E or F; G goes for every channel up to 18.
    for (int ch : {10, 18}) {
        Rig t;
        peqReset(*t.s, t.sink, ch);
        char c[3];
        std::snprintf(c, sizeof c, "%02X", ch);
        const std::string x(c);
        EXPECT_EQ(t.wire(),
                  (Wire{"G" + x + ".1 20", "G" + x + ".2 20", "G" + x + ".3 20", "G" + x + ".4 20"}));
    }

    Rig b;
    PeqBypass bypass;
    bypass.set(*b.s, b.sink, 2, true);
    EXPECT_EQ(b.wire(), (Wire{"E02 20", "F02 20", "G02.1 20", "G02.2 20", "G02.3 20", "G02.4 20"}));
    Rig b16;
    bypass.set(*b16.s, b16.sink, 16, true);
    EXPECT_EQ(b16.wire(), (Wire{"G10.1 20", "G10.2 20", "G10.3 20", "G10.4 20"}));
}

TEST(PeqOps, BypassRestoresExactlyAndEndsOnAnyOtherChange) {
    Rig r;
    InputChannel& ch = r.s->in(4);
    ch.peq[0] = {63, 277, 7, 0, 0, 1};
    ch.peq[3] = {12000, 11, 200, 0, 0, 2};
    ch.hpfOn = 0; // a switched-off filter keeps its frequency and slope through the bypass
    ch.hpfFreq = 180;
    ch.hpfSlope = 6;
    ch.lpfOn = 1;
    ch.lpfFreq = 9000;
    ch.lpfSlope = 8;
    const PeqBlock before = peqBlockOf(ch);
    PeqBypass bypass;
    bypass.set(*r.s, r.sink, 4, true);
    EXPECT_TRUE(bypass.active(*r.s, 4));
    EXPECT_EQ(ch.peq[0].bandGain, 150);
    EXPECT_EQ(ch.peq[0].bandFreq, 63);
    EXPECT_EQ(ch.lpfOn, 0);
    EXPECT_EQ(ch.lpfFreq, 20000);
    EXPECT_EQ(ch.hpfFreq, 20);

    // Another channel's bypass has its own save area.
    r.s->in(5).peq[2].bandGain = 10;
    bypass.set(*r.s, r.sink, 5, true);
    bypass.set(*r.s, r.sink, 4, false);
    EXPECT_TRUE(peqBlockOf(ch) == before);
    bypass.set(*r.s, r.sink, 5, false);
    EXPECT_EQ(r.s->in(5).peq[2].bandGain, 10);

    // A knob turned while bypassed ends it: switching off keeps the new value.
    bypass.set(*r.s, r.sink, 4, true);
    applyEdit(*r.s, r.sink, "input[4].peq[2].bandGain", 200);
    EXPECT_FALSE(bypass.active(*r.s, 4));
    r.sink.frames.clear();
    bypass.set(*r.s, r.sink, 4, false);
    EXPECT_EQ(ch.peq[1].bandGain, 200);
    EXPECT_EQ(ch.peq[0].bandGain, 150);
    EXPECT_TRUE(r.sink.frames.empty());
}

TEST(PeqOps, BlockCopiesGoToLinkedChannelsWith50ms) {
    Rig r;
    link(*r.s, true, {2, 3, 10});
    r.s->in(2).peq[0].bandGain = 10;
    r.s->in(2).hpfOn = 1;
    ChangeSet changed;
    std::string error;
    InputChannel src = r.s->in(2);
    src.peq[1].bandGain = 260;
    src.hpfFreq = 90;
    ASSERT_TRUE(peqRecall(*r.s, r.sink, 2, peqDataText(src), changed, error)) << error;
    EXPECT_EQ(r.wire(), (Wire{"G02.1 20", "G02.2 20", "G02.3 20", "G02.4 20", "E02 20", "F02 20", "G03.1 50",
                              "G03.2 50", "G03.3 50", "G03.4 50", "E03 50", "F03 50", "G0A.1 50", "G0A.2 50",
                              "G0A.3 50", "G0A.4 50"}));
    EXPECT_EQ(r.s->in(3).peq[1].bandGain, 260);
    EXPECT_EQ(r.s->in(3).hpfFreq, 90);
    EXPECT_EQ(r.s->in(10).peq[1].bandGain, 260);
    EXPECT_EQ(r.s->in(10).hpfFreq, 20); // no filters there: kept its own
    EXPECT_TRUE(changed.contains(*FieldRegistry::instance().idOf("input[10].peq[2].bandGain")));

    // Switch off: only the channel itself. Offline: the copy is stored, nothing is sent.
    Rig off;
    link(*off.s, true, {2, 3}, false);
    peqReset(*off.s, off.sink, 2);
    EXPECT_EQ(off.wire().size(), 6u);
    Rig offline;
    offline.s->link.linkOnline = false;
    link(*offline.s, true, {2, 3});
    offline.s->in(2).peq[0].bandGain = 10;
    offline.s->in(3).peq[0].bandGain = 10;
    peqReset(*offline.s, offline.sink, 2);
    EXPECT_TRUE(offline.sink.frames.empty());
    EXPECT_EQ(offline.s->in(3).peq[0].bandGain, 150);
}

TEST(PeqOps, KnobEditsCopyPerFieldWith10ms) {
    Rig r;
    link(*r.s, true, {1, 2, 12});
    applyEdit(*r.s, r.sink, "input[1].peq[3].bandQ", 55);
    EXPECT_EQ(r.wire(), (Wire{"G01.3 0", "G02.3 10", "G0C.3 10"}));
    r.sink.frames.clear();
    applyEdit(*r.s, r.sink, "input[1].hpfFreq", 300);
    EXPECT_EQ(r.wire(), (Wire{"F01 0", "F02 10"}));
    EXPECT_EQ(r.s->in(12).hpfFreq, 20);
}

TEST(PeqOps, RecallClampsAndRefusesDamagedText) {
    Rig r;
    InputChannel wild = r.s->in(1);
    wild.peq[0].bandGain = 0xFFF;
    wild.peq[1].bandQ = 0;
    wild.peq[2].bandFreq = 0xFFFF;
    wild.hpfSlope = 40;
    ChangeSet changed;
    std::string error;
    ASSERT_TRUE(peqRecall(*r.s, r.sink, 1, peqDataText(wild), changed, error));
    EXPECT_EQ(r.s->in(1).peq[0].bandGain, 300);
    EXPECT_EQ(r.s->in(1).peq[1].bandQ, 1);
    EXPECT_EQ(r.s->in(1).peq[2].bandFreq, 20000);
    EXPECT_EQ(r.s->in(1).hpfSlope, 8);
    const PeqBlock kept = peqBlockOf(r.s->in(1));
    r.sink.frames.clear();
    EXPECT_FALSE(peqRecall(*r.s, r.sink, 1, "00ZZ", changed, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(peqBlockOf(r.s->in(1)) == kept);
    EXPECT_TRUE(r.sink.frames.empty());
}

TEST(PeqOps, KnobPositionsAndSlopes) {
    EXPECT_EQ(frequencyOfKnob(30), 20);
    EXPECT_EQ(frequencyOfKnob(130), 200);
    EXPECT_EQ(frequencyOfKnob(330), 19953);
    // Rounded, not truncated: a position shows the frequency it stores (below 100 Hz whole hertz
    // are coarser than a step, so there it is within one).
    for (int p = kFreqKnobMin; p <= kFreqKnobMax; ++p) {
        if (p >= 100)
            EXPECT_EQ(knobOfFrequency(frequencyOfKnob(p)), p) << p;
        else
            EXPECT_NEAR(knobOfFrequency(frequencyOfKnob(p)), p, 1) << p;
    }
    EXPECT_EQ(knobOfFrequency(204), 131);
    EXPECT_EQ(knobOfFrequency(0), 30);
    EXPECT_EQ(knobOfFrequency(20000), 330);
    EXPECT_EQ(slopeLabel(0), "-12dB/Oct");
    EXPECT_EQ(slopeLabel(6), "-48dB/Oct");
}

TEST(PeqOps, HandleDragsStoreTheNearestStepAndArePaced) {
    Rig r;
    DragPacer pacer;
    Clock::time_point t = Clock::time_point{} + std::chrono::hours(5);
    r.s->spanTime = 100;
    // -3.0000001 dB is -3.0, not -3.1; beyond the range it stops at the edge.
    peqDragHandle(*r.s, r.sink, pacer, t, 1, 0, 1015.4, -3.0000001, false);
    EXPECT_EQ(r.s->in(1).peq[0].bandGain, 120);
    EXPECT_EQ(r.s->in(1).peq[0].bandFreq, 1015);
    EXPECT_EQ(r.wire(), (Wire{"G01.1 0"}));
    for (int i = 1; i <= 10; ++i) // every 30 ms for 300 ms
        peqDragHandle(*r.s, r.sink, pacer, t + milliseconds(30 * i), 1, 0, 1000, 40.0, false);
    EXPECT_EQ(r.s->in(1).peq[0].bandGain, 300);
    // 0, 120, 240 ms went out; 300 waits.
    EXPECT_EQ(r.sink.frames.size(), 3u);
    EXPECT_TRUE(pacer.pending());
    peqFlushDrag(*r.s, r.sink, pacer, t + milliseconds(450));
    EXPECT_EQ(r.sink.frames.size(), 3u);
    peqFlushDrag(*r.s, r.sink, pacer, t + milliseconds(501));
    EXPECT_EQ(r.sink.frames.size(), 4u);
    EXPECT_EQ(r.sink.frames.back().text, buildG(*r.s, 1, 1));
    EXPECT_FALSE(pacer.pending());

    // Filters: F for the HPF, E for the LPF, none on a channel without them.
    Rig f;
    DragPacer p2;
    peqDragHandle(*f.s, f.sink, p2, t, 2, kHpfHandle, 95.6, 0, true);
    peqDragHandle(*f.s, f.sink, p2, t, 2, kLpfHandle, 1e9, 0, true);
    peqDragHandle(*f.s, f.sink, p2, t, 9, kLpfHandle, 500, 0, true);
    EXPECT_EQ(f.wire(), (Wire{"F02 0", "E02 0"}));
    EXPECT_EQ(f.s->in(2).hpfFreq, 96);
    EXPECT_EQ(f.s->in(2).lpfFreq, 20000);
    EXPECT_EQ(f.s->in(9).lpfFreq, 20000);
}

TEST(DragPacer, ClockSteppingBackStillDeliversTheLastValue) {
    DragPacer p;
    Clock::time_point t = Clock::time_point{} + std::chrono::hours(24);
    EXPECT_TRUE(p.move(t, 100, false));
    EXPECT_FALSE(p.move(t + milliseconds(50), 100, false));
    // The clock jumps back by an hour: the drag goes on as if from there.
    const Clock::time_point back = t - std::chrono::hours(1);
    EXPECT_FALSE(p.move(back, 100, false));
    EXPECT_FALSE(p.flushDue(back + milliseconds(150)));
    EXPECT_TRUE(p.flushDue(back + milliseconds(201)));
    EXPECT_FALSE(p.pending());
    EXPECT_TRUE(p.move(back + milliseconds(300), 100, true));
    // A span of 0 lets every move through.
    DragPacer q;
    EXPECT_TRUE(q.move(t, 0, false));
    EXPECT_TRUE(q.move(t + milliseconds(1), 0, false));
}

TEST(GeqOps, DragsResetsAndCopies) {
    Rig r;
    link(*r.s, false, {1, 3});
    DragPacer pacer;
    const Clock::time_point t = Clock::time_point{} + std::chrono::hours(1);
    geqDragPoint(*r.s, r.sink, pacer, t, 1, 0, 15.0, true);
    EXPECT_EQ(r.s->out(1).geq[0].gain, 300);
    EXPECT_EQ(r.s->out(3).geq[0].gain, 300);
    geqDragPoint(*r.s, r.sink, pacer, t, 1, 0, -15.0, true);
    EXPECT_EQ(r.s->out(1).geq[0].gain, 0);
    EXPECT_EQ(r.wire(), (Wire{"H01 0", "H03 10", "H01 0", "H03 10"}));
    r.sink.frames.clear();
    geqDragPoint(*r.s, r.sink, pacer, t, 1, 31, 3.0, true);
    geqDragPoint(*r.s, r.sink, pacer, t, 1, -1, 3.0, true);
    EXPECT_TRUE(r.sink.frames.empty());

    r.s->out(1).geq[7].gain = 20;
    r.s->out(1).geqOn = 1;
    geqReset(*r.s, r.sink, 1);
    EXPECT_EQ(r.s->out(1).geq[7].gain, 150);
    EXPECT_EQ(r.s->out(1).geqOn, 1);
    EXPECT_EQ(r.wire(), (Wire{"H01 0", "H03 10"}));

    r.sink.frames.clear();
    r.s->out(1).geq[4].gain = 20;
    geqResetPoint(*r.s, r.sink, 1, 4);
    EXPECT_EQ(r.s->out(1).geq[4].gain, 150);
    EXPECT_EQ(r.wire(), (Wire{"H01 0", "H03 10"}));

    // Odd gains lose their lowest bit on the wire.
    r.s->out(2).geq[0].gain = 151;
    EXPECT_EQ(buildH(*r.s, 2).substr(12, 2), "4B");
}

TEST(GeqOps, DrawIsPacedAndCopiesTheWholeCurveOnRelease) {
    Rig r;
    link(*r.s, false, {2, 4});
    r.s->spanTime = 100;
    DragPacer pacer;
    const Clock::time_point t = Clock::time_point{} + std::chrono::hours(1);
    std::array<std::optional<double>, kGeqBands> step{};
    for (int i = 0; i < 8; ++i) {
        step.fill(std::nullopt);
        step[static_cast<std::size_t>(i)] = i - 4.0;
        geqDrawStep(*r.s, r.sink, pacer, t + milliseconds(20 * i), 2, step);
    }
    EXPECT_EQ(r.s->out(2).geq[7].gain, 180);
    EXPECT_EQ(r.s->out(4).geq[7].gain, 150); // members follow on release
    EXPECT_EQ(r.wire(), (Wire{"H02 0", "H02 0"}));
    geqDrawRelease(*r.s, r.sink, pacer, t + milliseconds(200), 2);
    EXPECT_EQ(r.wire(), (Wire{"H02 0", "H02 0", "H02 0", "H04 10"}));
    for (int b = 0; b < kGeqBands; ++b)
        EXPECT_EQ(r.s->out(4).geq[static_cast<std::size_t>(b)].gain,
                  r.s->out(2).geq[static_cast<std::size_t>(b)].gain);
    EXPECT_FALSE(pacer.pending());
}

TEST(GeqOps, RecallClampsAndCopies) {
    Rig r;
    link(*r.s, false, {5, 6});
    std::array<GeqSlot, kGeqBands> g{};
    for (auto& x : g)
        x.gain = 150;
    g[0].gain = 0x7FFF;
    g[30].gain = 10;
    ChangeSet changed;
    std::string error;
    ASSERT_TRUE(geqRecall(*r.s, r.sink, 5, geqDataText(g), changed, error));
    EXPECT_EQ(r.s->out(5).geq[0].gain, 300);
    EXPECT_EQ(r.s->out(6).geq[30].gain, 10);
    EXPECT_EQ(r.wire(), (Wire{"H05 0", "H06 10"}));
    EXPECT_FALSE(geqRecall(*r.s, r.sink, 5, "12", changed, error));
}

} // namespace
} // namespace quorvel

namespace quorvel {
namespace {

// Typed values of the equaliser readouts: read in the unit shown, clamped there, then applied as
// a knob release would be (the frame at once, the linked channels' copies after it).
TEST(EqTypedEntry, ReadoutKindsTakeValuesInTheirUnit) {
    Rig r;
    link(*r.s, true, {5, 6});
    // Band 1 of channel 5: slot 0 the gain, slot 1 (the second entry field) the frequency.
    ASSERT_TRUE(applyTypedValue(*r.s, r.sink, 4, 22, 1, "2k").applied);
    EXPECT_EQ(r.s->in(5).peq[0].bandFreq, 2000);
    EXPECT_EQ(r.s->in(6).peq[0].bandFreq, 2000);
    EXPECT_EQ(r.wire(), (Wire{"G05.1 0", "G06.1 10"}));
    ASSERT_TRUE(applyTypedValue(*r.s, r.sink, 4, 25, 1, "45 kHz").applied);
    EXPECT_EQ(r.s->in(5).peq[3].bandFreq, 20000);
    ASSERT_TRUE(applyTypedValue(*r.s, r.sink, 4, 23, 0, "-20").applied);
    EXPECT_EQ(r.s->in(5).peq[1].bandGain, 0);
    ASSERT_TRUE(applyTypedValue(*r.s, r.sink, 4, 13, 0, "0").applied); // band 3 Q: clamped to 0.1
    EXPECT_EQ(r.s->in(5).peq[2].bandQ, 1);
    ASSERT_TRUE(applyTypedValue(*r.s, r.sink, 4, 27, 0, "80Hz").applied);
    EXPECT_EQ(r.s->in(5).hpfFreq, 80);
    ASSERT_TRUE(applyTypedValue(*r.s, r.sink, 4, 28, 0, "12.5k").applied);
    EXPECT_EQ(r.s->in(5).lpfFreq, 12500);
    EXPECT_FALSE(applyTypedValue(*r.s, r.sink, 4, 22, 1, "5 dB").applied); // a unit of another kind

    // Output kinds 5..35 are the 31 bands of the graphic equaliser.
    ASSERT_TRUE(applyTypedValue(*r.s, r.sink, 18 + 2, 35, 0, "+16").applied);
    EXPECT_EQ(r.s->out(3).geq[30].gain, 300);
    ASSERT_TRUE(applyTypedValue(*r.s, r.sink, 18 + 2, 5, 0, "-3.04dB").applied);
    EXPECT_EQ(r.s->out(3).geq[0].gain, 120);
    EXPECT_EQ(r.sink.frames.back().text, buildH(*r.s, 3));
}

} // namespace
} // namespace quorvel
