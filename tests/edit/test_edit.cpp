// The one edit operation, driven from the registry: every field's store, clamp, carrier,
// online/offline rule and group copies, so that a field added later is covered without a case.
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "link/edit.h"
#include "link/frame.h"
#include "link/gbk.h"
#include "mixing/groups.h"

namespace quorvel {
namespace {

const FieldRegistry& reg() {
    return FieldRegistry::instance();
}

FieldId id(const std::string& path) {
    const auto f = reg().idOf(path);
    EXPECT_TRUE(f) << path;
    return f.value_or(0);
}

struct Fresh {
    Fresh() {
        loadFactoryDefaults(*s);
        s->link.linkOnline = true;
    }
    std::unique_ptr<DeviceState> s = std::make_unique<DeviceState>();
    RecordingSink sink;
};

// A value the field can take that differs from the one it holds.
std::int32_t otherValue(const FieldInfo& f, std::int32_t now) {
    return now != f.max ? f.max : f.min;
}

void groupWith(DeviceState& s, RecordKind kind, std::initializer_list<int> records, int flag) {
    for (int r : records)
        s.controlGroups[0][static_cast<std::size_t>(
            kind == RecordKind::Input ? r - 1 : cg::kFirstOutput + r - 1)] = 1;
    s.controlGroups[0][cg::kMemberCount] = static_cast<std::int32_t>(records.size());
    s.controlGroups[0][static_cast<std::size_t>(flag)] = 1;
}

TEST(ApplyEdit, EveryFieldStoresClampsAndQueuesItsCarrier) {
    int carried = 0;
    for (const FieldInfo& f : reg().fields()) {
        if (f.kind == FieldKind::Name) continue;
        SCOPED_TRACE(f.path);
        Fresh t;
        DeviceState& s = *t.s;
        const std::int32_t v = otherValue(f, FieldRegistry::get(s, f));
        const EditOutcome r = applyEdit(s, t.sink, f.id, v);
        ASSERT_TRUE(r.applied) << r.refusal;
        EXPECT_EQ(FieldRegistry::get(s, f), v);
        ASSERT_FALSE(r.changed.fields().empty());
        EXPECT_EQ(r.changed.fields()[0], f.id);
        EXPECT_EQ(r.changed.fields().size(), 1u); // no groups in the factory state

        const OutgoingFrame want = carrierFrame(s, f);
        if (want.text.empty()) {
            EXPECT_TRUE(t.sink.frames.empty());
        } else {
            ++carried;
            ASSERT_EQ(t.sink.frames.size(), 1u);
            EXPECT_EQ(t.sink.frames[0].text, want.text);
            EXPECT_EQ(t.sink.frames[0].pauseAfter, want.pauseAfter);
            EXPECT_TRUE(validateFrame(want.text));
            EXPECT_EQ(want.text[1], f.carrier.letter);
        }

        // Out of range: clamped, or refused for a list item, which leaves everything as it was.
        for (std::int64_t far : {std::int64_t{f.max} + 1000, std::int64_t{f.min} - 1000}) {
            if (far > INT32_MAX || far < INT32_MIN) continue;
            t.sink.frames.clear();
            const std::int32_t before = FieldRegistry::get(s, f);
            const EditOutcome o = applyEdit(s, t.sink, f.id, static_cast<std::int32_t>(far));
            if (f.choice) {
                EXPECT_FALSE(o.applied);
                EXPECT_FALSE(o.refusal.empty());
                EXPECT_TRUE(o.changed.empty());
                EXPECT_EQ(FieldRegistry::get(s, f), before);
                EXPECT_TRUE(t.sink.frames.empty());
            } else {
                EXPECT_TRUE(o.applied);
                EXPECT_EQ(FieldRegistry::get(s, f), far > f.max ? f.max : f.min);
            }
        }

        // Offline, and with queue off, the edit is stored and nothing is queued.
        t.sink.frames.clear();
        s.link.linkOnline = false;
        const std::int32_t back = otherValue(f, FieldRegistry::get(s, f));
        EXPECT_TRUE(applyEdit(s, t.sink, f.id, back).applied);
        EXPECT_EQ(FieldRegistry::get(s, f), back);
        s.link.linkOnline = true;
        EditOptions store;
        store.queue = false;
        EXPECT_TRUE(applyEdit(s, t.sink, f.id, otherValue(f, back), store).applied);
        EXPECT_TRUE(t.sink.frames.empty());
    }
    EXPECT_GT(carried, 1000);
}

TEST(ApplyEdit, StripRulesForCarriers) {
    // A for analogue channels and outputs only, L for priority on 1..8, O for 1..12, V for names
    // of channels 1..12 and the outputs.
    auto letter = [](const std::string& path) { return reg().find(path)->carrier.letter; };
    EXPECT_EQ(letter("input[12].level"), 'A');
    EXPECT_EQ(letter("input[13].level"), 0);
    EXPECT_EQ(reg().find("output[8].mute")->carrier.selector, 20);
    EXPECT_EQ(letter("input[8].priority"), 'L');
    EXPECT_EQ(letter("input[9].priority"), 0);
    EXPECT_EQ(letter("input[15].pan"), 'L');
    EXPECT_EQ(letter("input[11].phantom"), 'O');
    EXPECT_EQ(letter("input[13].phantom"), 0);
    EXPECT_EQ(letter("input[12].name"), 'V');
    EXPECT_EQ(letter("input[13].name"), 0);
    EXPECT_EQ(reg().find("output[1].name")->carrier.selector, 13);
    EXPECT_EQ(reg().find("input[9].gainStep")->max, 1);
}

TEST(ApplyEdit, HonouredLinksCopyToEveryMember) {
    int linked = 0;
    for (const FieldInfo& f : reg().fields()) {
        if (f.record == RecordKind::Device || f.linkFlag < 0 || f.kind == FieldKind::Name) continue;
        // Inputs 1, 2 and line input 9; outputs 1, 2, 3. Edit the first, with the flag on and off.
        const bool input = f.record == RecordKind::Input;
        const int first = 1, second = 2, third = input ? 9 : 3;
        if (f.recordIndex != first) continue;
        SCOPED_TRACE(f.path);
        Fresh t;
        DeviceState& s = *t.s;
        groupWith(s, f.record, {first, second, third}, f.linkFlag);
        const std::int32_t v = otherValue(f, FieldRegistry::get(s, f));
        const EditOutcome r = applyEdit(s, t.sink, f.id, v);
        ASSERT_TRUE(r.applied);
        const FieldInfo& m2 = reg().field(*reg().sibling(f.id, second));
        const FieldInfo& m3 = reg().field(*reg().sibling(f.id, third));
        if (!linkCopiesHonoured(f.linkFlag)) {
            EXPECT_EQ(r.changed.fields().size(), 1u);
            EXPECT_NE(FieldRegistry::get(s, m2), v);
            continue;
        }
        ++linked;
        EXPECT_EQ(FieldRegistry::get(s, m2), v);
        const bool thirdTakes = v >= m3.min && v <= m3.max;
        EXPECT_EQ(FieldRegistry::get(s, m3) == v, thirdTakes);
        std::vector<FieldId> want{f.id, m2.id};
        if (thirdTakes) want.push_back(m3.id);
        EXPECT_EQ(r.changed.fields(), want);

        // The edited record's frame, then each member's followed by the member pause. Only the
        // letter and selector are compared: O's phantom mask moves as the members follow.
        std::vector<OutgoingFrame> frames;
        for (FieldId w : want)
            if (OutgoingFrame fr = carrierFrame(s, reg().field(w)); !fr.text.empty()) frames.push_back(fr);
        ASSERT_EQ(t.sink.frames.size(), frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(t.sink.frames[i].text.substr(0, 8), frames[i].text.substr(0, 8));
            if (i > 0) {
                EXPECT_GE(t.sink.frames[i].pauseAfter, kMemberPause);
            }
        }

        // Without copies (the 48V page) and with the flag off, only the edited record moves.
        EditOptions one;
        one.linkCopies = false;
        t.sink.frames.clear();
        const std::int32_t back = otherValue(f, v);
        EXPECT_EQ(applyEdit(s, t.sink, f.id, back, one).changed.fields().size(), 1u);
        EXPECT_EQ(FieldRegistry::get(s, m2), v);
        EXPECT_LE(t.sink.frames.size(), 1u);
        s.controlGroups[0][static_cast<std::size_t>(f.linkFlag)] = 0;
        EXPECT_EQ(applyEdit(s, t.sink, f.id, v).changed.fields().size(), 1u);
    }
    // level and mute of inputs and outputs, gain, priority, phantom, line, fbk, delay; the
    // compressor's six and the gate's five; the limiter's six
    EXPECT_EQ(linked, 27);
}

TEST(ApplyEdit, LineInputMemberKeepsItsOwnStep) {
    Fresh t;
    DeviceState& s = *t.s;
    groupWith(s, RecordKind::Input, {1, 9}, cg::kLinkGain);
    s.in(9).gainStep = 1;
    const EditOutcome r = applyEdit(s, t.sink, id("input[1].gainStep"), 3);
    EXPECT_EQ(s.in(9).gainStep, 1);
    EXPECT_EQ(r.changed.fields().size(), 1u);
    applyEdit(s, t.sink, id("input[1].gainStep"), 0);
    EXPECT_EQ(s.in(9).gainStep, 0);
}

TEST(ApplyEdit, DanteSourceConflictRefusedUnchanged) {
    Fresh t;
    DeviceState& s = *t.s;
    s.in(7).danteSource = 2;
    const EditOutcome r = applyEdit(s, t.sink, id("input[3].danteSource"), 2);
    EXPECT_FALSE(r.applied);
    EXPECT_EQ(r.refusal, kDanteConflictMessage);
    EXPECT_TRUE(r.changed.empty());
    EXPECT_EQ(s.in(3).danteSource, 0);
    EXPECT_TRUE(t.sink.frames.empty());
    // The channel's own source, and none, are always allowed; channels 13.. are not checked.
    EXPECT_TRUE(applyEdit(s, t.sink, id("input[7].danteSource"), 2).applied);
    EXPECT_TRUE(applyEdit(s, t.sink, id("input[3].danteSource"), 0).applied);
    s.in(14).danteSource = 3;
    EXPECT_TRUE(applyEdit(s, t.sink, id("input[3].danteSource"), 3).applied);
}

TEST(ApplyEdit, NamesGoInPiecesAndAreCut) {
    Fresh t;
    DeviceState& s = *t.s;
    // 15 ASCII bytes and a double-byte character would make 17: the character is dropped whole.
    const std::string gbk = std::string(15, 'A') + *utf8ToGbk("\xE9\x80\x9A");
    const EditOutcome r = applyNameEdit(s, t.sink, id("output[2].name"), gbk);
    ASSERT_TRUE(r.applied);
    EXPECT_EQ(nameView(s.out(2).name), std::string(15, 'A'));
    ASSERT_EQ(t.sink.frames.size(), 1u);
    EXPECT_TRUE(t.sink.frames[0].inPieces);
    EXPECT_EQ(t.sink.frames[0].pauseAfter, kCommandPause);
    EXPECT_EQ(t.sink.frames[0].text, buildV(s, 14));
    t.sink.frames.clear();
    EXPECT_TRUE(applyNameEdit(s, t.sink, id("input[13].name"), "X").applied);
    EXPECT_TRUE(t.sink.frames.empty());
    EXPECT_FALSE(applyNameEdit(s, t.sink, id("input[3].level"), "X").applied);
    EXPECT_FALSE(applyEdit(s, t.sink, id("input[3].name"), 1).applied);
    EXPECT_FALSE(applyEdit(s, t.sink, "input[3].nothing", 1).applied);
    EXPECT_FALSE(applyEdit(s, t.sink, static_cast<FieldId>(reg().fields().size()), 1).applied);
}

TEST(ApplyAssignment, RefusesOutOfRangeAndCopiesToMembers) {
    Fresh t;
    DeviceState& s = *t.s;
    groupWith(s, RecordKind::Input, {3, 4}, cg::kLinkVolume);
    EditOutcome r = applyAssignment(s, t.sink, "input[3].level=71");
    EXPECT_FALSE(r.applied);
    EXPECT_NE(r.refusal.find("0..70"), std::string::npos);
    EXPECT_TRUE(t.sink.frames.empty());
    r = applyAssignment(s, t.sink, "input[3].level=12");
    ASSERT_TRUE(r.applied);
    EXPECT_EQ(s.in(4).level, 12);
    ASSERT_EQ(t.sink.frames.size(), 2u);
    EXPECT_EQ(t.sink.frames[1].text, buildA(s, 4));
    EXPECT_EQ(t.sink.frames[1].pauseAfter, kMemberPause);
    r = applyAssignment(s, t.sink, "output[1].name=\xE9\x80\x9A\xE9\x81\x93");
    ASSERT_TRUE(r.applied);
    EXPECT_EQ(gbkToUtf8(nameView(s.out(1).name)), "\xE9\x80\x9A\xE9\x81\x93");
    for (const char* bad : {"input[3].level", "input[3].level=", "input[3].level=1x", "x=1", ""})
        EXPECT_FALSE(applyAssignment(s, t.sink, bad).applied) << bad;
}

TEST(GroupWrappers, SweepsAndTogglesReportWhatTheyWrote) {
    Fresh t;
    DeviceState& s = *t.s;
    ChangeSet c;
    ASSERT_EQ(toggleControlMember(s, 1, 4, &c), ToggleResult::Added);
    EXPECT_TRUE(c.contains(id("controlGroups[2][5]")));
    EXPECT_TRUE(c.contains(id("controlGroups[2][27]"))); // the member count
    ASSERT_TRUE(toggleLinkFlag(s, 1, cg::kLinkGain, &c));
    EXPECT_TRUE(c.contains(id("controlGroups[2][35]")));
    ASSERT_EQ(toggleMuteMember(s, 0, 18, &c), ToggleResult::Added);
    EXPECT_TRUE(c.contains(id("muteGroups[1][19]")));

    const ChangeSet on = setMuteGroup(s, t.sink, 0, true);
    EXPECT_EQ(on.fields(), std::vector<FieldId>{id("output[1].mute")});
    const ChangeSet cleared = clearMute(s, t.sink);
    EXPECT_EQ(cleared.fields().size(), static_cast<std::size_t>(kInputRecords + kOutputRecords));
    EXPECT_TRUE(cleared.contains(id("input[18].mute")) && cleared.contains(id("output[8].mute")));
    const ChangeSet solo = clearSolo(s, t.sink);
    EXPECT_EQ(solo.fields().size(), static_cast<std::size_t>(kInputRecords));
    EXPECT_TRUE(solo.contains(id("input[1].solo")));
}

TEST(FieldRegistry, IdsOffsetsAndSiblingsAgree) {
    for (const FieldInfo& f : reg().fields()) {
        ASSERT_EQ(&reg().field(f.id), &f);
        EXPECT_EQ(reg().idOf(f.path), f.id);
        if (f.record == RecordKind::Device) {
            EXPECT_FALSE(reg().sibling(f.id, 1));
            continue;
        }
        const int n = f.record == RecordKind::Input ? kInputRecords : kOutputRecords;
        for (int r = 1; r <= n; ++r) {
            const auto sib = reg().sibling(f.id, r);
            ASSERT_TRUE(sib) << f.path << " in " << r;
            const FieldInfo& g = reg().field(*sib);
            EXPECT_EQ(g.recordIndex, r);
            // Same field name, another index.
            EXPECT_EQ(g.path.substr(g.path.find(']')), f.path.substr(f.path.find(']')));
            EXPECT_EQ(g.linkFlag, f.linkFlag);
        }
        EXPECT_FALSE(reg().sibling(f.id, 0));
        EXPECT_FALSE(reg().sibling(f.id, n + 1));
    }
    DeviceState s;
    EXPECT_EQ(reg().idOf(s, &s.in(3).peq[1].bandQ), id("input[3].peq[2].bandQ"));
    EXPECT_EQ(reg().idOf(s, &s.units[1][4]), id("units[2][5]"));
    EXPECT_FALSE(reg().idOf(s, &s.link));
}

} // namespace
} // namespace quorvel
