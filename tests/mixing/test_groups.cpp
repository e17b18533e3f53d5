#include <gtest/gtest.h>

#include "link/edit.h"
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
    // An edit of the field at `field` in `s`, as the strips make it.
    EditOutcome edit(const std::int32_t& field, std::int32_t raw) {
        const auto id = FieldRegistry::instance().idOf(s, &field);
        EXPECT_TRUE(id);
        return applyEdit(s, sink, id.value_or(0), raw);
    }
    // The records the edit copied to, in the order it wrote them.
    static std::vector<int> members(const EditOutcome& r) {
        std::vector<int> records;
        for (std::size_t i = 1; i < r.changed.fields().size(); ++i)
            records.push_back(FieldRegistry::instance().field(r.changed.fields()[i]).recordIndex);
        return records;
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

// The copies an edit makes, through applyEdit, with the exact frames the members get; that every
// honoured flag copies every field it governs is checked field by field in test_edit.
TEST_F(GroupsTest, InputCopiesFollowTheirFlag) {
    addInputs(0, {2, 5, 9, 14});
    struct Case {
        int flag;
        std::int32_t InputChannel::*field;
        int value;
        // Expected frame starts for channel 2, then members 5, 9, 14 in order (14 has no carrier).
        std::vector<std::string> frames;
    };
    const std::vector<Case> cases = {
        {cg::kLinkVolume,
         &InputChannel::level,
         33,
         {"%A,01,02,00,21,", "%A,01,05,00,21,", "%A,01,09,00,21,"}},
        {cg::kLinkVolume, &InputChannel::mute, 1, {"%A,01,02,01,", "%A,01,05,01,", "%A,01,09,01,"}},
        {cg::kLinkPhantom, &InputChannel::phantom, 1, {"%O,01,02,", "%O,01,05,", "%O,01,09,"}},
        {cg::kLinkPriority, &InputChannel::priority, 1, {"%L,01,02,", "%L,01,05,"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flag);
        // Flag off: channel 2 alone changes and sends.
        sink.frames.clear();
        EXPECT_TRUE(members(edit(s.in(2).*c.field, c.value)).empty());
        EXPECT_EQ(sink.frames.size(), 1u);
        EXPECT_NE(s.in(5).*c.field, c.value);

        toggleLinkFlag(s, 0, c.flag);
        sink.frames.clear();
        EXPECT_EQ(members(edit(s.in(2).*c.field, c.value)), (std::vector<int>{5, 9, 14}));
        for (int m : {5, 9, 14})
            EXPECT_EQ(s.in(m).*c.field, c.value) << m;
        ASSERT_EQ(sink.frames.size(), c.frames.size());
        for (std::size_t i = 0; i < c.frames.size(); ++i) {
            EXPECT_EQ(sink.frames[i].text.rfind(c.frames[i], 0), 0u) << sink.frames[i].text;
            EXPECT_EQ(sink.frames[i].pauseAfter, i == 0 ? std::chrono::milliseconds{0} : kMemberPause);
            EXPECT_TRUE(validateFrame(sink.frames[i].text));
        }
        toggleLinkFlag(s, 0, c.flag);
    }
    // Pan has no flag and is never copied.
    toggleLinkFlag(s, 0, cg::kLinkVolume);
    EXPECT_TRUE(members(edit(s.in(2).pan, 10)).empty());
    EXPECT_EQ(s.in(5).pan, 100);
}

TEST_F(GroupsTest, GainStepCopySkipsLineInputs) {
    addInputs(0, {2, 7, 9});
    toggleLinkFlag(s, 0, cg::kLinkGain);
    s.in(9).gainStep = 1;
    EXPECT_EQ(members(edit(s.in(2).gainStep, 3)), (std::vector<int>{7}));
    EXPECT_EQ(s.in(7).gainStep, 3);
    EXPECT_EQ(s.in(9).gainStep, 1); // keeps its own step
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(body(sink.frames[1]), "%O,01,07,00,00,03,");
}

TEST_F(GroupsTest, OutputCopiesFollowTheirFlag) {
    addOutputs(3, {1, 4, 8});
    struct Case {
        int flag;
        std::int32_t OutputChannel::*field;
        int value;
        std::string first; // frame for member 4
    };
    const std::vector<Case> cases = {
        {cg::kLinkVolume, &OutputChannel::level, 20, "%A,01,10,00,14,"},
        {cg::kLinkVolume, &OutputChannel::mute, 1, "%A,01,10,01,"},
        {cg::kLinkLine, &OutputChannel::lineLevel, 1, "%I,01,04,01,"},
        {cg::kLinkFbk, &OutputChannel::outSwitchK, 1, "%K,01,04,01,"},
        {cg::kLinkDelay, &OutputChannel::outSwitchJ, 199, "%J,01,04,01,C7,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flag);
        sink.frames.clear();
        EXPECT_TRUE(members(edit(s.out(1).*c.field, c.value)).empty());
        EXPECT_EQ(sink.frames.size(), 1u);
        toggleLinkFlag(s, 3, c.flag);
        sink.frames.clear();
        EXPECT_EQ(members(edit(s.out(1).*c.field, c.value)), (std::vector<int>{4, 8}));
        EXPECT_EQ(s.out(8).*c.field, c.value);
        ASSERT_EQ(sink.frames.size(), 3u);
        EXPECT_EQ(sink.frames[1].text.rfind(c.first, 0), 0u) << sink.frames[1].text;
        EXPECT_EQ(sink.frames[1].pauseAfter, kMemberPause);
        EXPECT_EQ(sink.frames[2].pauseAfter, kMemberPause);
        toggleLinkFlag(s, 3, c.flag);
    }
}

TEST_F(GroupsTest, OfflineCopiesStoreButSendNothing) {
    s.link.linkOnline = false;
    addInputs(0, {1, 2});
    toggleLinkFlag(s, 0, cg::kLinkVolume);
    EXPECT_EQ(members(edit(s.in(1).mute, 1)), (std::vector<int>{2}));
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
    std::string after; // what follows each bare A of a return
    for (const OutgoingFrame& f : sink.frames) {
        ASSERT_TRUE(validateFrame(f.text));
        if (f.text[1] != 'A') {
            after += f.text[1];
            continue;
        }
        channels.push_back(std::stoi(f.text.substr(6, 2), nullptr, 16));
    }
    // The returns' state travels in their effect frames, right after A 27 and A 29.
    EXPECT_EQ(after, "yv");
    EXPECT_EQ(sink.frames[17].text.substr(0, 2), "%y");
    EXPECT_EQ(sink.frames[19].text.substr(0, 2), "%v");
    sink.frames.erase(sink.frames.begin() + 19);
    sink.frames.erase(sink.frames.begin() + 17);
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
