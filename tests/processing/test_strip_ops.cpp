// The strip controls' edits as their bindings make them, through applyEdit: the exact frames each
// control sends, the records that have no carrier, and the lists the selectors show. The rules
// every field shares (clamping, offline, list refusals) are checked field by field in test_edit.
#include <gtest/gtest.h>

#include "link/edit.h"
#include "link/frame.h"
#include "link/gbk.h"
#include "mixing/groups.h"
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
    // The field is found by its address in the state, as a binding finds the one it shows.
    FieldId id(const void* field) const {
        const auto f = FieldRegistry::instance().idOf(s, field);
        EXPECT_TRUE(f);
        return f.value_or(0);
    }
    EditOutcome edit(const std::int32_t& field, std::int32_t raw, const EditOptions& options = {}) {
        return applyEdit(s, sink, id(&field), raw, options);
    }
    EditOutcome name(const NameField& field, std::string_view gbk) {
        return applyNameEdit(s, sink, id(&field), gbk);
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
    edit(s.in(3).level, 70);
    edit(s.in(3).mute, 1);
    edit(s.in(3).priority, 1);
    edit(s.in(2).phantom, 1);
    edit(s.in(3).gainStep, 2);
    EXPECT_EQ(bodies(), (std::vector<std::string>{"%A,01,03,00,46,", "%A,01,03,01,46,", "%L,01,03,28,01,",
                                                  "%O,01,02,00,02,00,", "%O,01,03,00,02,02,"}));
    for (const OutgoingFrame& f : sink.frames) {
        EXPECT_TRUE(validateFrame(f.text));
        EXPECT_EQ(f.pauseAfter.count(), 0); // the edited channel's own frame needs no pause
    }
}

TEST_F(StripOpsTest, RecordsWithoutACarrierStoreOnly) {
    EXPECT_TRUE(edit(s.in(13).level, 10).applied);  // strips 13 and up have no A of their own
    EXPECT_TRUE(edit(s.in(16).mute, 1).applied);    // the returns 17, 18 send theirs (A 27, 29 and y, v)
    EXPECT_TRUE(edit(s.in(9).priority, 1).applied); // no automixer priority on line inputs
    EXPECT_TRUE(name(s.in(13).name, "X").applied);  // V 13 would rename output 1
    EXPECT_EQ(s.in(13).level, 10);
    EXPECT_EQ(s.in(16).mute, 1);
    EXPECT_EQ(s.in(9).priority, 1);
    EXPECT_EQ(nameView(s.in(13).name), "X");
    EXPECT_EQ(nameView(s.out(1).name), "M 1");
    EXPECT_TRUE(sink.frames.empty());
}

TEST_F(StripOpsTest, DanteSourceSendsOAndRefusesConflicts) {
    s.in(7).danteSource = 2;
    s.in(3).danteSource = 1;
    const EditOutcome refused = edit(s.in(3).danteSource, 2);
    EXPECT_FALSE(refused.applied);
    EXPECT_EQ(refused.refusal, kDanteConflictMessage);
    EXPECT_EQ(s.in(3).danteSource, 1); // the previous choice stays, not ANALOG
    EXPECT_TRUE(sink.frames.empty());
    // ANALOG never conflicts, and the scan stops at channel 12.
    s.in(5).danteSource = 0;
    EXPECT_TRUE(edit(s.in(3).danteSource, 0).applied);
    s.in(14).danteSource = 3;
    EXPECT_TRUE(edit(s.in(3).danteSource, 3).applied);
    EXPECT_EQ(bodies(), (std::vector<std::string>{"%O,01,03,00,00,00,", "%O,01,03,03,00,00,"}));
    // One past the last item is refused like a conflict, not clamped onto the last item.
    sink.frames.clear();
    EXPECT_FALSE(edit(s.in(3).danteSource, 5).applied);
    EXPECT_EQ(s.in(3).danteSource, 3);
    EXPECT_TRUE(sink.frames.empty());
}

TEST_F(StripOpsTest, GainListsAndPhantomMask) {
    EXPECT_EQ(gainStepLabels(8), (std::vector<std::string>{"15 dB", "25 dB", "35 dB", "45 dB"}));
    EXPECT_EQ(gainStepLabels(9), (std::vector<std::string>{"0 dB", "10 dB"}));
    EXPECT_FALSE(edit(s.in(9).gainStep, 3).applied); // not on the list of a line input
    EXPECT_EQ(s.in(9).gainStep, 0);
    EXPECT_TRUE(sink.frames.empty());
    // The 48V page switches one channel; O carries the mask of every channel's phantom.
    EditOptions page;
    page.linkCopies = false;
    s.in(1).phantom = 1;
    edit(s.in(9).phantom, 1, page);
    EXPECT_EQ(s.in(9).phantom, 1);
    edit(s.in(16).phantom, 1, page); // stored, no O for channel 16
    EXPECT_EQ(s.in(16).phantom, 1);
    EXPECT_EQ(bodies(), (std::vector<std::string>{"%O,01,09,00,01,00,"}));
}

TEST_F(StripOpsTest, VolumeLinkedEditsReachEveryMemberInOrder) {
    for (int c : {4, 2, 6, 14})
        toggleControlMember(s, 1, c - 1);
    toggleLinkFlag(s, 1, cg::kLinkVolume);
    const EditOutcome r = edit(s.in(4).mute, 1);
    std::vector<int> members;
    for (std::size_t i = 1; i < r.changed.fields().size(); ++i)
        members.push_back(FieldRegistry::instance().field(r.changed.fields()[i]).recordIndex);
    EXPECT_EQ(members, (std::vector<int>{2, 6, 14})); // list order, not the order they joined
    EXPECT_EQ(s.in(14).mute, 1);
    // Member 14 is stored but has no A of its own.
    EXPECT_EQ(bodies(), (std::vector<std::string>{"%A,01,04,01,3C,", "%A,01,02,01,3C,", "%A,01,06,01,3C,"}));
    EXPECT_EQ(sink.frames[0].pauseAfter.count(), 0);
    EXPECT_EQ(sink.frames[1].pauseAfter, kMemberPause);
    EXPECT_EQ(sink.frames[2].pauseAfter, kMemberPause);

    // A level edit carries the copied level in every member's A.
    sink.frames.clear();
    edit(s.in(4).level, 12);
    EXPECT_EQ(s.in(14).level, 12);
    EXPECT_EQ(bodies(), (std::vector<std::string>{"%A,01,04,01,0C,", "%A,01,02,01,0C,", "%A,01,06,01,0C,"}));
}

TEST_F(StripOpsTest, OutputStripEdits) {
    edit(s.out(8).level, 70);
    edit(s.out(1).mute, 1);
    edit(s.out(2).outSwitchK, 1);
    edit(s.out(3).lineLevel, 1);
    edit(s.out(4).outSwitchJ, 199);
    EXPECT_FALSE(edit(s.out(4).outSwitchJ, kDelaySteps).applied); // past the list
    EXPECT_EQ(bodies(), (std::vector<std::string>{"%A,01,14,00,46,", "%A,01,0D,01,3C,", "%K,01,02,01,",
                                                  "%I,01,03,01,", "%J,01,04,01,C7,"}));
    EXPECT_EQ(s.out(4).outSwitchJ, 199);
    EXPECT_EQ(delayLabel(kDelaySteps - 1), "99.5 ms");
    EXPECT_EQ(delayLabel(0), "0.0 ms");
}

TEST_F(StripOpsTest, NamesGoOutInPiecesOnlyWhileOnline) {
    name(s.in(1).name, "CH 1");
    name(s.out(2).name, "OUT");
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_TRUE(sink.frames[0].inPieces);
    EXPECT_EQ(sink.frames[0].text.size(), 624u);
    EXPECT_EQ(sink.frames[0].text.substr(0, 9), "%V,01,01,");
    EXPECT_EQ(sink.frames[1].text.substr(0, 9), "%V,01,0E,");
    EXPECT_EQ(nameView(s.out(2).name), "OUT");

    sink.frames.clear();
    s.link.linkOnline = false;
    EXPECT_TRUE(name(s.in(1).name, "A").applied);
    EXPECT_TRUE(name(s.out(1).name, "B").applied);
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_EQ(nameView(s.in(1).name), "A");
    EXPECT_EQ(nameView(s.out(1).name), "B");
}

} // namespace
} // namespace quorvel
