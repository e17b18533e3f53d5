#include <gtest/gtest.h>

#include "link/frame.h"
#include "mixing/groups.h"

namespace quorvel {
namespace {

// Frame text without its checksum and "#": enough to see letter, selector and values.
std::string body(const OutgoingFrame& f) {
    return f.text.substr(0, f.text.size() - 5);
}

struct GroupsTest : ::testing::Test {
    GroupsTest() {
        loadFactoryDefaults(s);
        s.link.linkOnline = true;
    }
    void addInputs(int group, std::initializer_list<int> channels) {
        for (int c : channels)
            ASSERT_EQ(toggleControlMember(s, group, c - 1), ToggleResult::Added);
    }
    void addOutputs(int group, std::initializer_list<int> outputs) {
        for (int o : outputs)
            ASSERT_EQ(toggleControlMember(s, group, cg::kFirstOutput + o - 1), ToggleResult::Added);
    }
    DeviceState s;
    RecordingSink sink;
};

TEST_F(GroupsTest, MembershipRefusalsAndCount) {
    EXPECT_EQ(toggleControlMember(s, -1, 0), ToggleResult::NoGroup);
    addInputs(0, {5});
    // An output beside an input is refused, and the count stays.
    EXPECT_EQ(toggleControlMember(s, 0, cg::kFirstOutput + 2), ToggleResult::Refused);
    EXPECT_EQ(s.controlGroups[0][cg::kFirstOutput + 2], 0);
    EXPECT_EQ(s.controlGroups[0][cg::kMemberCount], 1);
    // The effect returns are not checked against outputs.
    addOutputs(1, {3});
    EXPECT_EQ(toggleControlMember(s, 1, 4), ToggleResult::Refused);
    EXPECT_EQ(toggleControlMember(s, 1, 16), ToggleResult::Added);
    EXPECT_EQ(s.controlGroups[1][cg::kMemberCount], 2);
    // Removing every member brings the count back to 0.
    EXPECT_EQ(toggleControlMember(s, 1, 16), ToggleResult::Removed);
    EXPECT_EQ(toggleControlMember(s, 1, cg::kFirstOutput + 2), ToggleResult::Removed);
    EXPECT_EQ(s.controlGroups[1][cg::kMemberCount], 0);
    // Mute groups take any mix but only their own elements.
    EXPECT_EQ(toggleMuteMember(s, 0, 3), ToggleResult::Added);
    EXPECT_EQ(toggleMuteMember(s, 0, cg::kFirstOutput), ToggleResult::Added);
    EXPECT_EQ(toggleMuteMember(s, 0, 12), ToggleResult::NoGroup);
    EXPECT_EQ(toggleMuteMember(s, 4, 0), ToggleResult::NoGroup);
    // Link flags: only the eleven flag elements.
    EXPECT_TRUE(toggleLinkFlag(s, 2, cg::kLinkDelay));
    EXPECT_EQ(s.controlGroups[2][cg::kLinkDelay], 1);
    EXPECT_FALSE(toggleLinkFlag(s, 2, 28));
    EXPECT_FALSE(toggleLinkFlag(s, 2, cg::kMemberCount));
}

TEST_F(GroupsTest, InputKindsFollowTheirFlag) {
    addInputs(0, {2, 5, 9, 14});
    struct Case {
        InputLinkKind kind;
        int flag;
        std::int32_t InputChannel::*field;
        int value;
        // Expected frame starts for members 5, 9, 14, in order (empty: nothing on the wire).
        std::vector<std::string> frames;
    };
    const std::vector<Case> cases = {
        {InputLinkKind::Level,
         cg::kLinkVolume,
         &InputChannel::level,
         33,
         {"%A,01,05,00,21,", "%A,01,09,00,21,"}},
        {InputLinkKind::Mute, cg::kLinkVolume, &InputChannel::mute, 1, {"%A,01,05,01,", "%A,01,09,01,"}},
        {InputLinkKind::Phantom, cg::kLinkPhantom, &InputChannel::phantom, 1, {"%O,01,05,", "%O,01,09,"}},
        {InputLinkKind::Priority, cg::kLinkPriority, &InputChannel::priority, 1, {"%L,01,05,"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flag);
        s.in(2).*c.field = c.value;
        // Flag off: nothing copied, nothing sent.
        sink.frames.clear();
        EXPECT_TRUE(propagateInput(s, sink, 2, c.kind).empty());
        EXPECT_TRUE(sink.frames.empty());
        EXPECT_NE(s.in(5).*c.field, c.value);

        toggleLinkFlag(s, 0, c.flag);
        EXPECT_EQ(propagateInput(s, sink, 2, c.kind), (std::vector<int>{5, 9, 14}));
        for (int m : {5, 9, 14})
            EXPECT_EQ(s.in(m).*c.field, c.value) << m;
        ASSERT_EQ(sink.frames.size(), c.frames.size());
        for (std::size_t i = 0; i < c.frames.size(); ++i) {
            EXPECT_EQ(sink.frames[i].text.rfind(c.frames[i], 0), 0u) << sink.frames[i].text;
            EXPECT_EQ(sink.frames[i].pauseAfter, kMemberPause);
            EXPECT_TRUE(validateFrame(sink.frames[i].text));
        }
        toggleLinkFlag(s, 0, c.flag);
    }
    // Pan has no flag and is never copied.
    toggleLinkFlag(s, 0, cg::kLinkVolume);
    s.in(2).pan = 10;
    EXPECT_TRUE(propagateInput(s, sink, 2, InputLinkKind::Pan).empty());
    EXPECT_EQ(s.in(5).pan, 100);
}

TEST_F(GroupsTest, GainStepCopyRespectsLineInputs) {
    addInputs(0, {2, 7, 9});
    toggleLinkFlag(s, 0, cg::kLinkGain);
    s.in(9).gainStep = 1;
    s.in(2).gainStep = 3;
    EXPECT_EQ(propagateInput(s, sink, 2, InputLinkKind::GainStep), (std::vector<int>{7}));
    EXPECT_EQ(s.in(7).gainStep, 3);
    EXPECT_EQ(s.in(9).gainStep, 1); // keeps its own step
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(body(sink.frames[0]), "%O,01,07,00,00,03,");

    sink.frames.clear();
    s.in(2).gainStep = 0;
    EXPECT_EQ(propagateInput(s, sink, 2, InputLinkKind::GainStep), (std::vector<int>{7, 9}));
    EXPECT_EQ(s.in(9).gainStep, 0);
    EXPECT_EQ(sink.frames.size(), 2u);
}

TEST_F(GroupsTest, OutputKindsFollowTheirFlag) {
    addOutputs(3, {1, 4, 8});
    struct Case {
        OutputLinkKind kind;
        int flag;
        std::int32_t OutputChannel::*field;
        int value;
        std::string first; // frame for member 4
    };
    const std::vector<Case> cases = {
        {OutputLinkKind::Level, cg::kLinkVolume, &OutputChannel::level, 20, "%A,01,10,00,14,"},
        {OutputLinkKind::Mute, cg::kLinkVolume, &OutputChannel::mute, 1, "%A,01,10,01,"},
        {OutputLinkKind::LineLevel, cg::kLinkLine, &OutputChannel::lineLevel, 1, "%I,01,04,01,"},
        {OutputLinkKind::Fbk, cg::kLinkFbk, &OutputChannel::outSwitchK, 1, "%K,01,04,01,"},
        {OutputLinkKind::Delay, cg::kLinkDelay, &OutputChannel::outSwitchJ, 199, "%J,01,04,01,C7,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flag);
        s.out(1).*c.field = c.value;
        sink.frames.clear();
        EXPECT_TRUE(propagateOutput(s, sink, 1, c.kind).empty());
        EXPECT_TRUE(sink.frames.empty());
        toggleLinkFlag(s, 3, c.flag);
        EXPECT_EQ(propagateOutput(s, sink, 1, c.kind), (std::vector<int>{4, 8}));
        EXPECT_EQ(s.out(8).*c.field, c.value);
        ASSERT_EQ(sink.frames.size(), 2u);
        EXPECT_EQ(sink.frames[0].text.rfind(c.first, 0), 0u) << sink.frames[0].text;
        EXPECT_EQ(sink.frames[1].pauseAfter, kMemberPause);
        toggleLinkFlag(s, 3, c.flag);
    }
}

TEST_F(GroupsTest, OfflineCopiesStoreButSendNothing) {
    s.link.linkOnline = false;
    addInputs(0, {1, 2});
    toggleLinkFlag(s, 0, cg::kLinkVolume);
    s.in(1).mute = 1;
    EXPECT_EQ(propagateInput(s, sink, 1, InputLinkKind::Mute), (std::vector<int>{2}));
    EXPECT_EQ(s.in(2).mute, 1);
    s.in(3).mute = 1;
    clearMute(s, sink);
    clearSolo(s, sink);
    setMuteGroup(s, sink, 0, true);
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_EQ(s.in(3).mute, 0);
}

TEST_F(GroupsTest, ClearMuteNumbersSourcesThenOutputs) {
    for (int r = 1; r <= kInputRecords; ++r)
        s.in(r).mute = 1;
    for (int o = 1; o <= kOutputRecords; ++o)
        s.out(o).mute = 1;
    clearMute(s, sink);
    for (int r = 1; r <= kInputRecords; ++r)
        EXPECT_EQ(s.in(r).mute, 0);
    for (int o = 1; o <= kOutputRecords; ++o)
        EXPECT_EQ(s.out(o).mute, 0);
    std::vector<int> channels;
    for (const OutgoingFrame& f : sink.frames) {
        ASSERT_TRUE(validateFrame(f.text));
        channels.push_back(std::stoi(f.text.substr(6, 2), nullptr, 16));
    }
    std::vector<int> expected;
    for (int c = 1; c <= 16; ++c)
        expected.push_back(c);
    expected.insert(expected.end(), {27, 29});
    for (int c = 13; c <= 20; ++c)
        expected.push_back(c);
    EXPECT_EQ(channels, expected);
    EXPECT_EQ(body(sink.frames[16]), "%A,01,1B,"); // the effect return carries no values
    EXPECT_EQ(body(sink.frames[0]), "%A,01,01,00,3C,");
    // Source 13's number reads output 1, already unmuted.
    EXPECT_EQ(body(sink.frames[12]), "%A,01,0D,00,3C,");
}

TEST_F(GroupsTest, ClearSoloSendsKForRecordsTwoToSeven) {
    for (int r = 1; r <= kInputRecords; ++r)
        s.in(r).solo = 1;
    s.out(3).outSwitchK = 1;
    clearSolo(s, sink);
    for (int r = 1; r <= kInputRecords; ++r)
        EXPECT_EQ(s.in(r).solo, 0);
    ASSERT_EQ(sink.frames.size(), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(sink.frames[i].text.substr(0, 9), "%K,01,0" + std::to_string(i + 1) + ",");
    EXPECT_EQ(body(sink.frames[2]), "%K,01,03,01,");
}

TEST_F(GroupsTest, MuteGroupSwitchesItsMembers) {
    toggleMuteMember(s, 2, 4);                    // channel 5
    toggleMuteMember(s, 2, cg::kFirstOutput + 1); // output 2
    setMuteGroup(s, sink, 2, true);
    EXPECT_EQ(s.in(5).mute, 1);
    EXPECT_EQ(s.out(2).mute, 1);
    EXPECT_EQ(s.in(4).mute, 0);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(body(sink.frames[0]), "%A,01,05,01,3C,");
    EXPECT_EQ(sink.frames[1].text.substr(0, 9), "%A,01,0E,");
    setMuteGroup(s, sink, 2, false);
    EXPECT_EQ(s.in(5).mute, 0);
}

} // namespace
} // namespace quorvel
