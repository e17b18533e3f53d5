// The gate, compressor and limiter operations against a recording sink: the steps a handle drag
// stores, the frames and pauses of edits, resets, recalls and their group copies, the meter, the
// transfer pictures and the typed entry of these fields.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "admin/scene.h"
#include "curves/transfer_curve.h"
#include "link/edit.h"
#include "link/field_display.h"
#include "link/frame.h"
#include "link/reports.h"
#include "processing/dynamics_actions.h"
#include "processing/dynamics_ops.h"
#include "report_builder.h"

namespace quorvel {
namespace {

std::string body(const OutgoingFrame& f) {
    return f.text.substr(0, f.text.size() - 5);
}

struct DynamicsOpsTest : ::testing::Test {
    DynamicsOpsTest() {
        loadFactoryDefaults(s);
        s.link.linkOnline = true;
    }
    std::vector<std::string> bodies() const {
        std::vector<std::string> out;
        for (const OutgoingFrame& f : sink.frames)
            out.push_back(body(f));
        return out;
    }
    std::vector<int> pauses() const {
        std::vector<int> out;
        for (const OutgoingFrame& f : sink.frames)
            out.push_back(static_cast<int>(f.pauseAfter.count()));
        return out;
    }
    // Control group 1 holds the records and switches `flag` on.
    void group(RecordKind kind, std::initializer_list<int> records, int flag) {
        for (int r : records)
            s.controlGroups[0][static_cast<std::size_t>(
                kind == RecordKind::Input ? r - 1 : cg::kFirstOutput + r - 1)] = 1;
        s.controlGroups[0][cg::kMemberCount] = static_cast<std::int32_t>(records.size());
        s.controlGroups[0][static_cast<std::size_t>(flag)] = 1;
    }
    DeviceState s;
    RecordingSink sink;
};

TEST(DynamicsHandles, NearestStepInsideTheKnobRange) {
    EXPECT_EQ(thresholdFromHandle(-60.0), 0);
    EXPECT_EQ(thresholdFromHandle(0.0), 60);
    EXPECT_EQ(thresholdFromHandle(-30.4), 30);
    EXPECT_EQ(thresholdFromHandle(-30.6), 29); // nearest, not truncated towards zero
    EXPECT_EQ(thresholdFromHandle(-75.0), 0);  // never negative
    EXPECT_EQ(thresholdFromHandle(12.0), 60);

    // Make-up gain: 0 dB on the plot is 60 dB above the handle's floor, far past the knob.
    EXPECT_EQ(gainFromHandle(0.0), 200);
    EXPECT_EQ(gainFromHandle(-60.0), 0);
    EXPECT_EQ(gainFromHandle(-57.0000001), 30); // truncation would have made it 29
    EXPECT_EQ(gainFromHandle(-48.75), 113);
    EXPECT_EQ(gainFromHandle(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(DynamicsHandles, RatioFromTheLineThroughTheThreshold) {
    const double t = -30.0;
    EXPECT_EQ(ratioFromHandle(t, 0.0, t), 100);       // level with the threshold: 1:10.0
    EXPECT_EQ(ratioFromHandle(t, 0.0, -15.0), 20);    // r = 30 / 15
    EXPECT_EQ(ratioFromHandle(t, 0.0, -23.4), 45);    // 4.545.. to the nearest step
    EXPECT_EQ(ratioFromHandle(t, -20.0, -5.0), 10);   // 0 < r < 1: steeper than unity
    EXPECT_EQ(ratioFromHandle(t, t, -10.0), 10);      // r = 0, straight above the threshold point
    EXPECT_EQ(ratioFromHandle(t, 0.0, -40.0), 100);   // r < 0: falling
    EXPECT_EQ(ratioFromHandle(t, 0.0, -29.0), 100);   // r = 30 > 10
    EXPECT_EQ(ratioFromHandle(t, -10.0, -28.0), 100); // r = 10 exactly stays 1:10.0
    EXPECT_EQ(ratioFromHandle(t, std::nan(""), 0.0), 100);
}

TEST_F(DynamicsOpsTest, DragsStoreSendAndShowTheirReadout) {
    // Channel 3, threshold handle to -20 dB: C with the new threshold, readout kind 54.
    auto e = compressorHandleEdit(s, 3, kThresholdHandle, -20.2, -20.2);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->readoutKind, 54);
    EXPECT_TRUE(applyCompressorDrag(s, sink, 3, kThresholdHandle, -20.2, -20.2).applied);
    EXPECT_EQ(s.in(3).dynamics.compThreshold, 40);
    EXPECT_EQ(compressorHandleEdit(s, 3, kRatioHandle, 0, -10)->readoutKind, 55);
    applyCompressorDrag(s, sink, 3, kRatioHandle, 0.0, -10.0); // r = 20 / 10
    applyCompressorDrag(s, sink, 3, kGainHandle, -52.5, -52.5);
    EXPECT_EQ(s.in(3).dynamics.compRatio, 20);
    EXPECT_EQ(s.in(3).dynamics.compGain, 75);
    EXPECT_EQ(bodies(),
              (std::vector<std::string>{"%C,01,03,00,0A,28,0A,64,00,", "%C,01,03,00,14,28,0A,64,00,",
                                        "%C,01,03,00,14,28,0A,64,4B,"}));

    // The limiter's handles write l2, l6 and l5; output 8 goes out as number 8.
    sink.frames.clear();
    EXPECT_EQ(limiterHandleEdit(s, 8, kGainHandle, 0, -50)->readoutKind, 45);
    applyLimiterDrag(s, sink, 8, kThresholdHandle, -12.0, 0.0);
    applyLimiterDrag(s, sink, 8, kRatioHandle, 0.0, -9.0); // threshold -12: r = 12 / 3
    applyLimiterDrag(s, sink, 8, kGainHandle, 0.0, -50.0);
    EXPECT_EQ(s.out(8).limiter[1], 48);
    EXPECT_EQ(s.out(8).limiter[5], 40);
    EXPECT_EQ(s.out(8).limiter[4], 100);
    ASSERT_EQ(sink.frames.size(), 3u);
    EXPECT_EQ(body(sink.frames[2]), "%D,01,08,00,28,30,0A,64,64,");

    // Nothing for an unknown handle, a record that does not exist, or a point that is no number.
    EXPECT_FALSE(compressorHandleEdit(s, 3, 3, 0, 0));
    EXPECT_FALSE(compressorHandleEdit(s, 19, 0, 0, 0));
    EXPECT_FALSE(limiterHandleEdit(s, 9, 0, 0, 0));
    EXPECT_FALSE(applyLimiterDrag(s, sink, 1, 0, std::nan(""), 0).applied);
}

TEST_F(DynamicsOpsTest, GateChangesSendTheMatrixRowAndTheRangeIsOnlyStored) {
    s.in(4).routeToOutput = {1, 0, 0, 0, 0, 0, 0, 1};
    applyGateDrag(s, sink, 4, kGateThresholdHandle, -41.0, -41.0);
    EXPECT_EQ(s.in(4).gate.gateThreshold, 19);
    EXPECT_EQ(bodies(), std::vector<std::string>{"%B,01,04,10000001,"});
    sink.frames.clear();
    // The range handle 12 dB under the threshold point.
    EXPECT_TRUE(applyGateDrag(s, sink, 4, kGateRangeHandle, -41.0, -53.0).applied);
    EXPECT_EQ(s.in(4).gate.gateRange, 12);
    EXPECT_TRUE(sink.frames.empty());
    // A gate knob on channels 13..16: stored, no frame, since B has no record there.
    applyEdit(s, sink, "input[14].gateAttack", 30);
    EXPECT_EQ(s.in(14).gate.gateAttack, 30);
    EXPECT_TRUE(sink.frames.empty());
}

TEST_F(DynamicsOpsTest, ResetsStoreTheResetColumnWithOneFrame) {
    s.in(2).dynamics = Dynamics{0, 5, 7, 200, 150, 80};
    resetCompressor(s, sink, 2);
    EXPECT_EQ(s.in(2).dynamics.compEnabled, 1);
    EXPECT_EQ(s.in(2).dynamics.compThreshold, 30);
    EXPECT_EQ(s.in(2).dynamics.compAttack, 100);
    EXPECT_EQ(s.in(2).dynamics.compRelease, 100);
    EXPECT_EQ(s.in(2).dynamics.compGain, 0);
    EXPECT_EQ(s.in(2).dynamics.compRatio, 10);
    EXPECT_EQ(bodies(), std::vector<std::string>{"%C,01,02,01,0A,1E,64,64,00,"});

    sink.frames.clear();
    s.in(2).gate = GateSettings{0, 44, 17, 3, 200};
    const ChangeSet g = resetGate(s, sink, 2);
    EXPECT_EQ(g.fields().size(), 4u);
    EXPECT_EQ(s.in(2).gate.gateEnabled, 1);
    EXPECT_EQ(s.in(2).gate.gateThreshold, 0);
    EXPECT_EQ(s.in(2).gate.gateRange, 17); // as it was
    EXPECT_EQ(s.in(2).gate.gateAttack, 1);
    EXPECT_EQ(s.in(2).gate.gateRelease, 20);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(body(sink.frames[0]).substr(0, 9), "%B,01,02,");

    sink.frames.clear();
    s.out(5).limiter = {0, 1, 2, 3, 4, 50};
    resetLimiter(s, sink, 5);
    EXPECT_EQ(s.out(5).limiter, (std::array<std::int32_t, 6>{1, 30, 100, 100, 0, 10}));
    EXPECT_EQ(bodies(), std::vector<std::string>{"%D,01,05,01,0A,1E,64,64,00,"});

    // Offline a reset is stored and nothing is queued.
    sink.frames.clear();
    s.link.linkOnline = false;
    s.in(2).dynamics.compGain = 40;
    resetCompressor(s, sink, 2);
    EXPECT_EQ(s.in(2).dynamics.compGain, 0);
    EXPECT_TRUE(sink.frames.empty());
}

TEST_F(DynamicsOpsTest, GroupCopiesFollowTheCompAndLimitSwitches) {
    // Channels 1, 2 and 14 with COMP on: channel 1's knob reaches 2 by C after the member pause,
    // 14 only in the state (C exists for 1..12 only).
    group(RecordKind::Input, {1, 2, 14}, cg::kLinkComp);
    const EditOutcome knob = applyEdit(s, sink, "input[1].compAttack", 50);
    EXPECT_EQ(knob.changed.fields().size(), 3u);
    EXPECT_EQ(s.in(2).dynamics.compAttack, 50);
    EXPECT_EQ(s.in(14).dynamics.compAttack, 50);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(body(sink.frames[0]).substr(0, 9), "%C,01,01,");
    EXPECT_EQ(body(sink.frames[1]).substr(0, 9), "%C,01,02,");
    EXPECT_EQ(pauses(), (std::vector<int>{0, 10}));

    // RESET and a drag copy the whole block, one frame per member.
    sink.frames.clear();
    s.in(2).dynamics = Dynamics{0, 1, 2, 30, 4, 50};
    resetCompressor(s, sink, 1);
    EXPECT_EQ(s.in(2).dynamics.compRatio, 10);
    EXPECT_EQ(s.in(14).dynamics.compThreshold, 30);
    EXPECT_EQ(bodies(),
              (std::vector<std::string>{"%C,01,01,01,0A,1E,64,64,00,", "%C,01,02,01,0A,1E,64,64,00,"}));
    EXPECT_EQ(pauses(), (std::vector<int>{0, 10}));
    sink.frames.clear();
    applyCompressorDrag(s, sink, 2, kThresholdHandle, -10.0, -10.0);
    EXPECT_EQ(s.in(1).dynamics.compThreshold, 50);
    EXPECT_EQ(sink.frames.size(), 2u);

    // The gate follows the same switch; its members hear B.
    sink.frames.clear();
    resetGate(s, sink, 2);
    EXPECT_EQ(s.in(1).gate.gateRelease, 20);
    EXPECT_EQ(s.in(14).gate.gateRelease, 20);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(body(sink.frames[1]).substr(0, 9), "%B,01,01,");
    EXPECT_EQ(pauses(), (std::vector<int>{0, 10}));

    // Offline the copies still apply; nothing is queued.
    sink.frames.clear();
    s.link.linkOnline = false;
    applyEdit(s, sink, "input[2].compGain", 66);
    EXPECT_EQ(s.in(1).dynamics.compGain, 66);
    EXPECT_TRUE(sink.frames.empty());
    s.link.linkOnline = true;

    // Switch off: only the edited channel.
    s.controlGroups[0][cg::kLinkComp] = 0;
    resetCompressor(s, sink, 2);
    EXPECT_EQ(s.in(1).dynamics.compGain, 66);
    EXPECT_EQ(sink.frames.size(), 1u);

    // Outputs 1 and 3 with LIMIT on; output 3's copy follows 10 ms after.
    sink.frames.clear();
    group(RecordKind::Output, {1, 3}, cg::kLinkLimit);
    s.controlGroups[0][0] = s.controlGroups[0][1] = s.controlGroups[0][13] = 0;
    applyLimiterDrag(s, sink, 3, kRatioHandle, 0.0, s.out(3).limiter[1] - 60.0);
    EXPECT_EQ(s.out(1).limiter[5], 100);
    EXPECT_EQ(bodies(),
              (std::vector<std::string>{"%D,01,03,00,64,3C,0A,64,00,", "%D,01,01,00,64,3C,0A,64,00,"}));
    EXPECT_EQ(pauses(), (std::vector<int>{0, 10}));
}

TEST_F(DynamicsOpsTest, RecallsClampAndRefuseDamagedTexts) {
    std::string error;
    // Ratio FF and release 05 are outside the knobs: stored at their nearest ends.
    auto c = recallCompressorText(s, sink, 6,
                                  "011E"
                                  "FF"
                                  "32"
                                  "05"
                                  "C8",
                                  error);
    ASSERT_TRUE(c) << error;
    EXPECT_EQ(s.in(6).dynamics.compRatio, 100);
    EXPECT_EQ(s.in(6).dynamics.compRelease, 20);
    EXPECT_EQ(s.in(6).dynamics.compGain, 200);
    EXPECT_EQ(bodies(), std::vector<std::string>{"%C,01,06,01,64,1E,32,14,C8,"});

    // LIMIT texts order the values on, threshold, ratio, attack, release, gain.
    sink.frames.clear();
    ASSERT_TRUE(recallLimiterText(s, sink, 2, "0114280A0132", error)) << error;
    EXPECT_EQ(s.out(2).limiter, (std::array<std::int32_t, 6>{1, 20, 10, 1, 50, 40}));
    EXPECT_EQ(bodies(), std::vector<std::string>{"%D,01,02,01,28,14,0A,01,32,"});

    // NOISE: enabled, threshold, attack, release; the range stays.
    sink.frames.clear();
    s.in(1).gate.gateRange = 9;
    ASSERT_TRUE(recallGateText(s, sink, 1, "01000005", error)) << error;
    EXPECT_EQ(s.in(1).gate.gateRelease, 20); // 5 is below the release knob
    EXPECT_EQ(s.in(1).gate.gateRange, 9);
    EXPECT_EQ(sink.frames.size(), 1u);

    sink.frames.clear();
    const Dynamics before = s.in(6).dynamics;
    EXPECT_FALSE(recallCompressorText(s, sink, 6, "011E", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(s.in(6).dynamics.compRatio, before.compRatio);
    EXPECT_FALSE(recallLimiterText(s, sink, 9, "0114280A0132", error));
    EXPECT_TRUE(sink.frames.empty());
}

TEST(DynamicsMeterTest, OutputFollowsTheCompressor) {
    // T -30 dB, 1:2, no gain. 50 is -10 dB in: out -20 dB.
    DynamicsMeter m = dynamicsMeter(50, 30, 20, 0);
    EXPECT_DOUBLE_EQ(m.input, 50);
    EXPECT_DOUBLE_EQ(m.output, 40);
    EXPECT_DOUBLE_EQ(m.reduction, 50);
    // Below the threshold nothing is taken off.
    m = dynamicsMeter(20, 30, 20, 0);
    EXPECT_DOUBLE_EQ(m.output, 20);
    EXPECT_DOUBLE_EQ(m.reduction, 60);
    // Above 60 reads as 60; a threshold at 0 dB with gain lifts everything below it.
    m = dynamicsMeter(90, 60, 10, 50);
    EXPECT_DOUBLE_EQ(m.input, 60);
    EXPECT_DOUBLE_EQ(m.output, 65);
    // Gain above the threshold that would pass 0 dB gives 0 dB out.
    m = dynamicsMeter(60, 50, 10, 200);
    EXPECT_DOUBLE_EQ(m.output, 60);
    // A ratio of 0 (a damaged record) still gives numbers.
    m = dynamicsMeter(55, 10, 0, 0);
    EXPECT_TRUE(std::isfinite(m.output));
    EXPECT_TRUE(std::isfinite(m.reduction));
}

TEST(DynamicsText, PageValueTexts) {
    EXPECT_EQ(dynamicsValueText(DynamicsUnit::Ratio, 10), "1:1.0 ");
    EXPECT_EQ(dynamicsValueText(DynamicsUnit::Ratio, 100), "1:10.0 ");
    EXPECT_EQ(dynamicsValueText(DynamicsUnit::TenthDb, 200), "20.0 dB");
    EXPECT_EQ(dynamicsValueText(DynamicsUnit::Db60, 0), "-60 dB");
    EXPECT_EQ(dynamicsValueText(DynamicsUnit::Ms, 1), "1 ms");
}

TEST(TransferPicture, HandlesAndCurveStayFinite) {
    const curves::AxisBox box;
    // T -30, 1:2, G 6 dB: the ratio handle at 0 dB input reads -15 dB, the gain handle at -54.
    auto p = curves::compressorPicture(-30, 2.0, 6.0, box);
    EXPECT_DOUBLE_EQ(p.s3, 0.5);
    EXPECT_DOUBLE_EQ(p.handles[0].x, -30);
    EXPECT_DOUBLE_EQ(p.handles[1].y, -15);
    EXPECT_DOUBLE_EQ(p.handles[2].y, -54);
    // Mode 2 has no output offset: the curve is unity up to the threshold whatever the gain.
    EXPECT_DOUBLE_EQ(curves::compressorOutput(-40, -30, 2.0), -40);
    EXPECT_DOUBLE_EQ(curves::compressorOutput(-10, -30, 2.0), -20);
    // Ratio 0 or not a number draws as 1:1.0; every handle inside the box.
    for (double r : {0.0, -3.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        p = curves::compressorPicture(-60, r, 25.0, box);
        EXPECT_TRUE(std::isfinite(p.s3));
        for (const auto& h : p.handles) {
            EXPECT_GE(h.x, box.xmin);
            EXPECT_LE(h.x, box.xmax);
            EXPECT_GE(h.y, box.ymin);
            EXPECT_LE(h.y, box.ymax);
        }
        EXPECT_TRUE(std::isfinite(curves::compressorOutput(-5, -60, r)));
    }
    EXPECT_FALSE(curves::compressorSegments(p.knee1, p.knee2, p.s1, p.s2, p.s3, box).empty());

    const auto g = curves::gateHandles(-50, 30, box);
    EXPECT_DOUBLE_EQ(g[1].y, -60); // not under the floor
    const auto marks = curves::operatingPointMarks(-12, -20, box);
    ASSERT_EQ(marks.size(), 3u);
    EXPECT_DOUBLE_EQ(marks[0].y, -60);
    EXPECT_DOUBLE_EQ(marks[2].x, -60);
    EXPECT_DOUBLE_EQ(curves::clampToBox({5, std::nan("")}, box).x, 0);
    EXPECT_DOUBLE_EQ(curves::clampToBox({5, std::nan("")}, box).y, -60);

    EXPECT_EQ(curves::transferAxisLabel(curves::kLimiterMode, -52), "-52 (dB)");
    EXPECT_EQ(curves::transferAxisLabel(curves::kCompressorMode, -52), "-52");
    EXPECT_DOUBLE_EQ(curves::xToLinear(150, -60, 0, 100, 200), -30);
    EXPECT_DOUBLE_EQ(curves::yToLinear(100, -60, 0, 100, 200), 0);
}

TEST_F(DynamicsOpsTest, TypedEntryClampsInTheShownUnitAndSendsLikeAKnob) {
    struct Case {
        int channel, kind;
        const char* text;
        const char* path;
        std::int32_t raw;
        char letter;
    };
    const Case cases[] = {
        {2, 55, "1:4.5", "input[3].compRatio", 45, 'C'},
        {2, 55, "1:20", "input[3].compRatio", 100, 'C'},
        {2, 58, "25", "input[3].compGain", 200, 'C'},
        {2, 54, "-12dB", "input[3].compThreshold", 48, 'C'},
        {2, 57, "5", "input[3].compRelease", 20, 'C'},
        {2, 51, "-70", "input[3].gateThreshold", 0, 'B'},
        {2, 53, "300ms", "input[3].gateRelease", 250, 'B'},
        {18 + 7, 42, "1:3", "output[8].limiter[6]", 30, 'D'},
        {18 + 7, 44, "0", "output[8].limiter[4]", 1, 'D'},
        {18 + 7, 45, "-4", "output[8].limiter[5]", 0, 'D'},
        {18 + 7, 41, "-6 dB", "output[8].limiter[2]", 54, 'D'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        sink.frames.clear();
        const EditOutcome r = applyTypedValue(s, sink, c.channel, c.kind, 0, c.text);
        ASSERT_TRUE(r.applied) << r.refusal;
        EXPECT_EQ(FieldRegistry::get(s, *FieldRegistry::instance().find(c.path)), c.raw);
        ASSERT_EQ(sink.frames.size(), 1u);
        EXPECT_EQ(sink.frames[0].text[1], c.letter);
    }
    // The readout shows the limiter's ratio as 1:%0.1f.
    EXPECT_EQ(formatReadout(s, 25, 42, 1).value1, "1:3.0");
    EXPECT_FALSE(applyTypedValue(s, sink, 2, 55, 0, "fast").applied);
}

TEST_F(DynamicsOpsTest, SetActionsParseAndRunAsThePageDoes) {
    std::string error;
    // Another page's action or an assignment is not ours, and no error.
    for (const char* other :
         {"reset:peq:input[1]", "drag:geq:output[1]:3:-2", "input[1].level=3", "bypass:on"}) {
        EXPECT_FALSE(parseDynamicsAction(other, error)) << other;
        EXPECT_TRUE(error.empty()) << other;
    }
    for (const char* bad :
         {"reset:comp", "reset:comp:input[0]", "reset:comp:input[19]", "reset:limiter:input[1]",
          "reset:gate:input[1]:x", "drag:comp:input[1]:0:-10", "drag:comp:input[1]:5:-10:-10",
          "drag:limiter:output[1]:0:1e1:-10", "drag:limiter:output[1]:0:-10:0x1",
          "drag:comp:input[1]:0:-61:-10", "drag:comp:input[1]:0:-10:nan", "drag:gate:input[1]:0:-10:-10"}) {
        SCOPED_TRACE(bad);
        const bool gateDrag = std::string_view(bad).rfind("drag:gate", 0) == 0;
        EXPECT_FALSE(parseDynamicsAction(bad, error));
        // The gate has no drag action: it is nobody's, not a malformed one of ours.
        EXPECT_EQ(error.empty(), gateDrag);
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    auto a = parseDynamicsAction("drag:limiter:output[2]:1:0:-7.5", error);
    ASSERT_TRUE(a) << error;
    s.out(2).limiter[1] = 30; // -30 dB: r = 30 / 22.5
    EXPECT_TRUE(applyDynamicsAction(s, sink, *a).applied);
    EXPECT_EQ(s.out(2).limiter[5], 13);
    a = parseDynamicsAction("reset:gate:input[16]", error);
    ASSERT_TRUE(a);
    EXPECT_TRUE(applyDynamicsAction(s, sink, *a).applied);
    EXPECT_EQ(s.in(16).gate.gateEnabled, 1);
    EXPECT_EQ(sink.frames.size(), 1u); // the drag's D; channel 16 has no B
}

TEST_F(DynamicsOpsTest, GateLivesInScenesAndSurvivesTheFullStateReport) {
    s.in(5).gate = GateSettings{1, 33, 12, 44, 55};
    DeviceState device;
    loadFactoryDefaults(device);
    device.in(5).dynamics.compRatio = 70;
    ASSERT_TRUE(parseFullStateReport(sim::buildFullStateReport(device, "Q"), s));
    EXPECT_EQ(s.in(5).dynamics.compRatio, 70);
    EXPECT_EQ(s.in(5).gate.gateThreshold, 33);
    EXPECT_EQ(s.in(5).gate.gateRange, 12);
    EXPECT_EQ(s.in(5).gate.gateRelease, 55);

    DeviceState loaded;
    loadFactoryDefaults(loaded);
    std::string error;
    ASSERT_TRUE(loadScene(loaded, serialiseScene(s), error)) << error;
    EXPECT_EQ(loaded.in(5).gate.gateAttack, 44);
    EXPECT_EQ(loaded.in(5).gate.gateRange, 12);
}

} // namespace
} // namespace quorvel
