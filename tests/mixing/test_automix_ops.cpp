// The matrix and automixer edits without a window: the frames they leave, their pauses, and what
// an offline edit leaves behind.
#include <gtest/gtest.h>

#include "admin/scene.h"
#include "link/clock.h"
#include "link/edit.h"
#include "link/field_registry.h"
#include "link/paced_sender.h"
#include "mixing/automix_ops.h"
#include "mixing/mixing_edit.h"

namespace quorvel {
namespace {

using std::chrono::milliseconds;

std::string body(const OutgoingFrame& f) {
    return f.text.substr(0, f.text.size() - 5);
}

FieldId id(const std::string& path) {
    return *FieldRegistry::instance().idOf(path);
}

struct MixEditTest : ::testing::Test {
    MixEditTest() {
        loadFactoryDefaults(s);
        startWithSyncOff(s);
        s.link.linkOnline = true;
    }
    EditOutcome edit(const std::string& path, std::int32_t raw) {
        return applyMixingEdit(s, sink, id(path), raw);
    }
    std::vector<std::string> bodies() const {
        std::vector<std::string> out;
        for (const OutgoingFrame& f : sink.frames)
            out.push_back(body(f));
        return out;
    }
    DeviceState s;
    RecordingSink sink;
};

TEST_F(MixEditTest, CrosspointSendsTheChannelsWholeRow) {
    // Channel 12, output 1 off: the first digit is the new state, the rest as they stand.
    edit("input[12].routeToOutput[1]", 0);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(body(sink.frames[0]), "%B,01,0C,01111111,");

    // All off: a run of eight zeros.
    for (int o = 1; o <= 8; ++o)
        edit("input[4].routeToOutput[" + std::to_string(o) + "]", 0);
    EXPECT_EQ(body(sink.frames.back()), "%B,01,04,00000000,");

    // Outputs 5..8 have no button on the page, yet what the device reported for them goes along.
    s.in(6).routeToOutput = {0, 0, 0, 0, 0, 1, 0, 1};
    edit("input[6].routeToOutput[1]", 1);
    EXPECT_EQ(body(sink.frames.back()), "%B,01,06,10000101,");
}

TEST_F(MixEditTest, GlobalSelectorsStoreTheirListValuesAndSendM) {
    // -10 dB NOM is item 0, stored 20: M's sixth field reads 14; 0 dB stores 30 (1E).
    edit("automix.nomAttenuation", 20);
    EXPECT_EQ(body(sink.frames.back()), "%M,01,00,01,01,01,00,14,");
    edit("automix.nomAttenuation", 30);
    EXPECT_EQ(body(sink.frames.back()), "%M,01,00,01,01,01,00,1E,");
    // 5000 ms is 100 (64), 50 ms is 1.
    edit("automix.holdTime", 100);
    EXPECT_EQ(body(sink.frames.back()), "%M,01,00,01,01,64,00,1E,");
    edit("automix.holdTime", 1);
    EXPECT_EQ(body(sink.frames.back()), "%M,01,00,01,01,01,00,1E,");
    // LAST HOLD and AUTO/MAN travel in the same frame; the detectors in N.
    edit("automix.lastHold", 0);
    edit("automix.manualMode", 1);
    EXPECT_EQ(body(sink.frames.back()), "%M,01,01,01,00,01,00,1E,");
    edit("automix.energy", 200);
    EXPECT_EQ(body(sink.frames.back()), "%N,01,00,C8,01,00,");
    // A value past its list is clamped into it.
    edit("automix.maxOpenChannels", 12);
    EXPECT_EQ(s.automix.maxOpenChannels, 8);
}

TEST_F(MixEditTest, OkReadsTheFourSelectorsIntoOneM) {
    const ChangeSet c = applyAutomixGlobals(s, sink, {100, 4, 20, 60});
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(body(sink.frames[0]), "%M,01,00,04,01,64,3C,14,");
    EXPECT_EQ(c.fields().size(), 4u);
    // A selector with nothing chosen reads below its list: the lowest value goes, never 0.
    applyAutomixGlobals(s, sink, {0, 0, 0, -1});
    EXPECT_EQ(body(sink.frames.back()), "%M,01,00,01,01,01,00,14,");
}

TEST_F(MixEditTest, SyncSendsNineThresholdFramesWithTheirPauses) {
    edit("automix.syncThresholds", 1);
    EXPECT_TRUE(sink.frames.empty()) << "SYNC itself goes nowhere";

    const EditOutcome r = edit("input[3].automixThreshold", 60); // -20 dB
    ASSERT_TRUE(r.applied);
    for (int c = 1; c <= 8; ++c)
        EXPECT_EQ(s.in(c).automixThreshold, 60) << c;
    EXPECT_EQ(s.in(9).automixThreshold, 40) << "the automixer ends at channel 8";
    ASSERT_EQ(sink.frames.size(), 9u);
    EXPECT_EQ(sink.frames[0].text, "%L,01,03,3C,00,E15B#");
    EXPECT_EQ(sink.frames[0].pauseAfter, milliseconds(0));
    EXPECT_EQ(sink.frames[1].text, "%L,01,01,3C,00,38DA#");
    EXPECT_EQ(sink.frames[8].text, "%L,01,08,3C,00,521A#");
    for (std::size_t i = 1; i < 9; ++i) {
        EXPECT_EQ(body(sink.frames[i]), "%L,01,0" + std::to_string(i) + ",3C,00,") << i;
        EXPECT_EQ(sink.frames[i].pauseAfter, milliseconds(20)) << i;
    }
    EXPECT_EQ(FieldRegistry::instance().field(r.changed.fields().front()).path, "input[3].automixThreshold");
    EXPECT_EQ(r.changed.fields().size(), 8u);

    // From channel 8's selector the sweep runs at 10 ms.
    sink.frames.clear();
    edit("input[8].automixThreshold", 0);
    ASSERT_EQ(sink.frames.size(), 9u);
    for (std::size_t i = 1; i < 9; ++i)
        EXPECT_EQ(sink.frames[i].pauseAfter, milliseconds(10)) << i;

    // Beyond channel 8, or with SYNC off, one L and nothing else moves.
    sink.frames.clear();
    edit("input[10].automixThreshold", 70);
    EXPECT_EQ(bodies(), std::vector<std::string>{"%L,01,0A,46,00,"});
    edit("automix.syncThresholds", 0);
    sink.frames.clear();
    edit("input[2].automixThreshold", 81);
    EXPECT_EQ(bodies(), std::vector<std::string>{"%L,01,02,50,00,"}) << "clamped to 0 dB";
    EXPECT_EQ(s.in(1).automixThreshold, 0);
}

TEST_F(MixEditTest, OfflineEditsStoreAndSendNothing) {
    s.link.linkOnline = false;
    s.automix.syncThresholds = 1;
    edit("input[5].automixThreshold", 10);
    edit("input[1].routeToOutput[2]", 0);
    edit("automix.holdTime", 50);
    applyAutomixGlobals(s, sink, {2, 3, 25, 10});
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_EQ(s.in(8).automixThreshold, 10);
    EXPECT_EQ(s.in(1).routeToOutput[1], 0);
    EXPECT_EQ(s.automix.maxOpenChannels, 3);
    EXPECT_STREQ(automixSetMessage(false, 1), "Stored; not sent: OFFLINE.");
    EXPECT_STREQ(automixSetMessage(false, 2), "已保存，未发送：离线。");
    EXPECT_STREQ(automixSetMessage(true, 1), "Set successfully.");
    EXPECT_STREQ(automixSetMessage(true, 2), "设置成功。");
}

TEST_F(MixEditTest, AssignmentsGoThroughTheSameRulesInOrder) {
    for (const char* a : {"automix.syncThresholds=1", "input[3].automixThreshold=60"})
        EXPECT_TRUE(applyMixingAssignment(s, sink, a).applied) << a;
    EXPECT_EQ(sink.frames.size(), 9u);
    const EditOutcome bad = applyMixingAssignment(s, sink, "automix.nomAttenuation=19");
    EXPECT_FALSE(bad.applied);
    EXPECT_NE(bad.refusal.find("20..30"), std::string::npos) << bad.refusal;
    EXPECT_TRUE(settableWithoutCarrier(*FieldRegistry::instance().find("automix.syncThresholds")));
    EXPECT_FALSE(settableWithoutCarrier(*FieldRegistry::instance().find("input[1].solo")));
}

// On the wire, through the paced sender: the asking channel twice, every pause in place, even
// when the line was busy and a second sweep follows before the first is out.
TEST_F(MixEditTest, SyncSweepsKeepAllNineFramesOnTheWire) {
    ManualClock clock;
    std::vector<std::string> sent;
    std::vector<Clock::time_point> at;
    PacedSender sender(
        [&](const Destination&, std::string_view d, std::string&) {
            sent.emplace_back(d);
            at.push_back(clock.now());
            return true;
        },
        clock, PacedSender::Threading::Manual);
    const Destination to = *makeDestination("127.0.0.2", 1);
    CallbackSink wire([&](OutgoingFrame f) { sender.enqueue(std::move(f), to); });
    auto run = [&](milliseconds d) {
        for (auto t = milliseconds(0); t < d; t += milliseconds(1)) {
            clock.advance(milliseconds(1));
            sender.pump();
        }
    };
    s.automix.syncThresholds = 1;
    sender.enqueue(OutgoingFrame{"%Q,01,01,B5E1#", milliseconds(10)}, to); // the line is busy
    setAutomixThreshold(s, wire, 3, 60);
    run(milliseconds(300));
    ASSERT_EQ(sent.size(), 10u);
    EXPECT_EQ(sent[1], "%L,01,03,3C,00,E15B#");
    EXPECT_EQ(sent[2], "%L,01,01,3C,00,38DA#");
    EXPECT_EQ(sent[4], "%L,01,03,3C,00,E15B#");
    EXPECT_EQ(sent[9], "%L,01,08,3C,00,521A#");
    for (std::size_t i = 3; i < 10; ++i)
        EXPECT_EQ(at[i] - at[i - 1], milliseconds(20)) << i;

    // A second notch while the first sweep is on its way: the asking channel's own frame stays,
    // the sweep takes the newer values in place, and the last value each channel gets is the new one.
    sent.clear();
    setAutomixThreshold(s, wire, 3, 61);
    run(milliseconds(45));
    setAutomixThreshold(s, wire, 3, 62);
    run(milliseconds(400));
    ASSERT_GE(sent.size(), 10u);
    for (int c = 1; c <= 8; ++c) {
        const std::string head = "%L,01,0" + std::to_string(c) + ",";
        std::string last;
        for (const std::string& f : sent)
            if (f.rfind(head, 0) == 0) last = f;
        EXPECT_EQ(last.substr(0, 12), head + "3E,") << c;
    }
}

TEST(AutomixState, ReportsAreClampedAndScenesLeaveSyncAlone) {
    DeviceState s;
    loadFactoryDefaults(s);
    s.automix.maxOpenChannels = 0;
    s.automix.holdTime = 250;
    s.automix.nomAttenuation = 5;
    s.automix.energy = 0;
    s.automix.lastHold = 7;
    s.in(4).priority = 3;
    normaliseAfterFullState(s);
    EXPECT_EQ(s.automix.maxOpenChannels, 1);
    EXPECT_EQ(s.automix.holdTime, 100);
    EXPECT_EQ(s.automix.nomAttenuation, 20);
    EXPECT_EQ(s.automix.energy, 1);
    EXPECT_EQ(s.automix.lastHold, 1);
    EXPECT_EQ(s.in(4).priority, 1);

    // SYNC is this program's own: recalling a scene leaves it as it is, either way.
    s.automix.syncThresholds = 1;
    const auto image = serialiseScene(s);
    DeviceState other;
    loadFactoryDefaults(other);
    startWithSyncOff(other);
    std::string error;
    ASSERT_TRUE(loadScene(other, image, error)) << error;
    EXPECT_EQ(other.automix.syncThresholds, 0);
    EXPECT_EQ(other.automix.holdTime, 100);
    s.automix.syncThresholds = 0;
    other.automix.syncThresholds = 1;
    ASSERT_TRUE(loadScene(other, serialiseScene(s), error)) << error;
    EXPECT_EQ(other.automix.syncThresholds, 1);
}

} // namespace
} // namespace quorvel
