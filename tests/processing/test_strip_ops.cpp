#include <gtest/gtest.h>

#include "link/frame.h"
#include "link/gbk.h"
#include "processing/strip_ops.h"

namespace quorvel {
namespace {

std::string body(const OutgoingFrame& f) {
    return f.text.substr(0, f.text.size() - 5);
}

struct StripOpsTest : ::testing::Test {
    StripOpsTest() {
        loadFactoryDefaults(s);
        s.link.linkOnline = true;
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

TEST_F(StripOpsTest, InputEditsSendTheirCarrier) {
    setInputLevel(s, sink, 3, 70);
    setInputMute(s, sink, 3, true);
    setInputPriority(s, sink, 3, true);
    setInputPhantom(s, sink, 2, true);
    setGainStep(s, sink, 3, 2);
    EXPECT_EQ(bodies(), (std::vector<std::string>{"%A,01,03,00,46,", "%A,01,03,01,46,", "%L,01,03,28,01,",
                                                  "%O,01,02,00,02,00,", "%O,01,03,00,02,02,"}));
    for (const OutgoingFrame& f : sink.frames) {
        EXPECT_TRUE(validateFrame(f.text));
        EXPECT_EQ(f.pauseAfter.count(), 0); // the edited channel's own frame needs no pause
    }
    // Level is clamped into the fader range.
    sink.frames.clear();
    setInputLevel(s, sink, 3, -5);
    EXPECT_EQ(s.in(3).level, 0);
}

TEST_F(StripOpsTest, RecordsWithoutACarrierStoreOnly) {
    setInputLevel(s, sink, 13, 10); // strips 13 and up have no A of their own
    setInputMute(s, sink, 17, true);
    setInputPriority(s, sink, 9, true); // no automixer priority on line inputs
    setInputName(s, sink, 13, "X");     // V 13 would rename output 1
    EXPECT_EQ(s.in(13).level, 10);
    EXPECT_EQ(s.in(17).mute, 1);
    EXPECT_EQ(s.in(9).priority, 1);
    EXPECT_EQ(nameView(s.in(13).name), "X");
    EXPECT_EQ(nameView(s.out(1).name), "M 1");
    EXPECT_TRUE(sink.frames.empty());
}

TEST_F(StripOpsTest, OfflineEditsSendNothing) {
    s.link.linkOnline = false;
    setInputLevel(s, sink, 1, 5);
    setInputMute(s, sink, 1, true);
    setGainStep(s, sink, 1, 3);
    EXPECT_EQ(selectSource(s, sink, 1, 2), SourceResult::Stored);
    togglePhantomFromPage(s, sink, 1);
    setInputName(s, sink, 1, "A");
    setOutputLevel(s, sink, 1, 5);
    setOutputDelay(s, sink, 1, 3);
    setOutputName(s, sink, 1, "B");
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_EQ(s.in(1).level, 5);
    EXPECT_EQ(s.in(1).danteSource, 2);
    EXPECT_EQ(s.in(1).phantom, 1);
    EXPECT_EQ(s.out(1).outSwitchJ, 3);
}

TEST_F(StripOpsTest, DanteSourceConflict) {
    s.in(7).danteSource = 2;
    s.in(3).danteSource = 1;
    EXPECT_EQ(selectSource(s, sink, 3, 2), SourceResult::Conflict);
    EXPECT_EQ(s.in(3).danteSource, 1);
    EXPECT_TRUE(sink.frames.empty());
    // ANALOG never conflicts, and the scan stops at channel 12.
    s.in(5).danteSource = 0;
    EXPECT_EQ(selectSource(s, sink, 3, 0), SourceResult::Stored);
    s.in(14).danteSource = 3;
    EXPECT_EQ(selectSource(s, sink, 3, 3), SourceResult::Stored);
    EXPECT_EQ(bodies(), (std::vector<std::string>{"%O,01,03,00,00,00,", "%O,01,03,03,00,00,"}));
    // The channel choosing its own source again is no conflict.
    EXPECT_EQ(selectSource(s, sink, 3, 3), SourceResult::Stored);
    EXPECT_EQ(selectSource(s, sink, 3, 5), SourceResult::Conflict);
}

TEST_F(StripOpsTest, GainListsAndPhantomMask) {
    EXPECT_EQ(gainStepLabels(8), (std::vector<std::string>{"15 dB", "25 dB", "35 dB", "45 dB"}));
    EXPECT_EQ(gainStepLabels(9), (std::vector<std::string>{"0 dB", "10 dB"}));
    setGainStep(s, sink, 9, 3); // not on the list of a line input
    EXPECT_EQ(s.in(9).gainStep, 0);
    EXPECT_TRUE(sink.frames.empty());
    s.in(1).phantom = 1;
    EXPECT_TRUE(togglePhantomFromPage(s, sink, 9));
    EXPECT_EQ(s.in(9).phantom, 1);
    EXPECT_TRUE(togglePhantomFromPage(s, sink, 16)); // stored, no O for channel 16
    EXPECT_EQ(bodies(), (std::vector<std::string>{"%O,01,09,00,01,00,"}));
}

TEST_F(StripOpsTest, VolumeLinkedMuteReachesEveryMemberInOrder) {
    for (int c : {4, 2, 6})
        toggleControlMember(s, 1, c - 1);
    toggleLinkFlag(s, 1, cg::kLinkVolume);
    const EditResult r = setInputMute(s, sink, 4, true);
    EXPECT_EQ(r.members, (std::vector<int>{2, 6}));
    EXPECT_EQ(bodies(), (std::vector<std::string>{"%A,01,04,01,3C,", "%A,01,02,01,3C,", "%A,01,06,01,3C,"}));
    EXPECT_EQ(sink.frames[0].pauseAfter.count(), 0);
    EXPECT_EQ(sink.frames[1].pauseAfter, kMemberPause);
    EXPECT_EQ(sink.frames[2].pauseAfter, kMemberPause);

    // The coalesced level send carries the same frames, members 13 and up left out.
    toggleControlMember(s, 1, 13);
    EXPECT_EQ(linkedLevelBusyTime(s, 4), 2 * kMemberPause);
    EXPECT_EQ(linkedLevelBusyTime(s, 5).count(), 0);
    sink.frames.clear();
    s.in(4).level = 12;
    s.in(2).level = 12;
    queueInputLevel(s, sink, 4);
    EXPECT_EQ(bodies(), (std::vector<std::string>{"%A,01,04,01,0C,", "%A,01,02,01,0C,", "%A,01,06,01,3C,"}));
}

TEST_F(StripOpsTest, OutputStripEdits) {
    setOutputLevel(s, sink, 8, 70);
    setOutputMute(s, sink, 1, true);
    setOutputFbk(s, sink, 2, true);
    setOutputLineLevel(s, sink, 3, true);
    setOutputDelay(s, sink, 4, 199);
    setOutputDelay(s, sink, 4, 200); // past the list: ignored
    EXPECT_EQ(bodies(), (std::vector<std::string>{"%A,01,14,00,46,", "%A,01,0D,01,3C,", "%K,01,02,01,",
                                                  "%I,01,03,01,", "%J,01,04,01,C7,"}));
    EXPECT_EQ(s.out(4).outSwitchJ, 199);
    EXPECT_EQ(delayLabel(199), "99.5 ms");
    EXPECT_EQ(delayLabel(0), "0.0 ms");
}

TEST_F(StripOpsTest, NamesGoOutInPieces) {
    setInputName(s, sink, 1, "CH 1");
    setOutputName(s, sink, 2, "OUT");
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_TRUE(sink.frames[0].inPieces);
    EXPECT_EQ(sink.frames[0].text.size(), 624u);
    EXPECT_EQ(sink.frames[0].text.substr(0, 9), "%V,01,01,");
    EXPECT_EQ(sink.frames[1].text.substr(0, 9), "%V,01,0E,");
    EXPECT_EQ(nameView(s.out(2).name), "OUT");
}

} // namespace
} // namespace quorvel
