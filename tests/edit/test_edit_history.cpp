// Undo and redo against the edit operation itself: the state they leave, and the frames they queue
// compared with those the same edit (or the same recall) queues on a twin of the state.
#include <gtest/gtest.h>

#include <memory>

#include "link/edit_history.h"
#include "link/gbk.h"
#include "mixing/groups.h"
#include "processing/peq_ops.h"

namespace quorvel {
namespace {

FieldId id(const std::string& path) {
    const auto f = FieldRegistry::instance().idOf(path);
    EXPECT_TRUE(f) << path;
    return f.value_or(0);
}

void linkInputs(DeviceState& s, int first, int last, int flag) {
    for (int c = first; c <= last; ++c)
        s.controlGroups[0][static_cast<std::size_t>(c - 1)] = 1;
    s.controlGroups[0][cg::kMemberCount] = last - first + 1;
    s.controlGroups[0][static_cast<std::size_t>(flag)] = 1;
}

bool sameFrames(const std::vector<OutgoingFrame>& a, const std::vector<OutgoingFrame>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].text != b[i].text || a[i].pauseAfter != b[i].pauseAfter || a[i].inPieces != b[i].inPieces)
            return false;
    return true;
}

// The controller's notifications as the application emits them, and the edit path undo replays on.
struct Rig : HistoryTarget {
    std::unique_ptr<DeviceState> s = [] {
        auto p = std::make_unique<DeviceState>();
        loadFactoryDefaults(*p);
        p->link.linkOnline = true;
        return p;
    }();
    RecordingSink rec;
    std::unique_ptr<EditHistory> history;

    void start() { history = std::make_unique<EditHistory>(*s); }

    EditOutcome userEdit(FieldId f, std::int32_t raw, const EditOptions& o = {}) {
        EditOutcome out = applyEdit(*s, rec, f, raw, o);
        notify(out, f);
        history->userChanged();
        return out;
    }
    void userOperation(const ChangeSet& c, const UserOperation& op = {}) {
        history->changed(c);
        history->userChanged(op);
    }
    bool report(const ChangeSet& c) {
        history->changed(c);
        return history->settle();
    }
    std::vector<OutgoingFrame> undo() {
        rec.frames.clear();
        EXPECT_TRUE(history->undo(*this).done);
        return rec.frames;
    }
    std::vector<OutgoingFrame> redo() {
        rec.frames.clear();
        EXPECT_TRUE(history->redo(*this).done);
        return rec.frames;
    }

    DeviceState& state() override { return *s; }
    EditSink& sink() override { return rec; }
    EditOutcome edit(FieldId f, std::int32_t raw, const EditOptions& o) override {
        EditOutcome out = applyEdit(*s, rec, f, raw, o);
        notify(out, f);
        history->replayed();
        return out;
    }
    EditOutcome editName(FieldId f, std::string_view gbk) override {
        EditOutcome out = applyNameEdit(*s, rec, f, gbk);
        notify(out, f);
        history->replayed();
        return out;
    }
    void announce(const ChangeSet& c) override {
        history->changed(c);
        history->replayed();
    }

private:
    void notify(const EditOutcome& out, FieldId f) {
        if (!out.changed.empty()) history->changed(out.changed);
        if (out.applied) history->aimed(f);
    }
};

// What an edit queues on a copy of the state as it is now.
std::vector<OutgoingFrame> framesOfEdit(const DeviceState& s, FieldId f, std::int32_t raw) {
    auto twin = std::make_unique<DeviceState>(s);
    RecordingSink sink;
    applyEdit(*twin, sink, f, raw);
    return sink.frames;
}

TEST(EditHistory, FaderDragOfAGroupIsOneStepReplayedThroughTheEdit) {
    Rig r;
    linkInputs(*r.s, 1, 4, cg::kLinkVolume);
    r.s->in(4).level = 5; // a member with a level of its own before the group took it
    r.start();
    const FieldId level = id("input[1].level");
    const std::int32_t before = r.s->in(1).level;
    r.history->beginGesture();
    for (std::int32_t v : {40, 45, 50, 55})
        r.userEdit(level, v);
    r.history->endGesture();
    ASSERT_EQ(r.history->undoCount(), 1u);
    EXPECT_EQ(r.history->stepName(*r.history->nextUndo(), 1), "CH1 VOL");

    const auto undoExpected = framesOfEdit(*r.s, level, before);
    const auto undone = r.undo();
    for (int c = 1; c <= 3; ++c)
        EXPECT_EQ(r.s->in(c).level, before) << c;
    EXPECT_EQ(r.s->in(4).level, 5);
    // The member of its own gets its level back in one more frame after the group's.
    ASSERT_EQ(undone.size(), undoExpected.size() + 1);
    EXPECT_TRUE(sameFrames({undone.begin(), undone.end() - 1}, undoExpected));
    EXPECT_EQ(undone.back().text, framesOfEdit(*r.s, id("input[4].level"), 5).front().text);

    // Redo: the same frames, order and pauses as the drag's last step sent.
    const auto redoExpected = framesOfEdit(*r.s, level, 55);
    const auto redone = r.redo();
    EXPECT_TRUE(sameFrames(redone, redoExpected));
    EXPECT_EQ(redoExpected.size(), 4u);
    EXPECT_EQ(redoExpected.back().pauseAfter, kMemberPause);
    for (int c = 1; c <= 4; ++c)
        EXPECT_EQ(r.s->in(c).level, 55) << c;
    EXPECT_FALSE(r.history->canRedo());
}

TEST(EditHistory, ToggleAndNameUndoLikeTheEditOfTheOldValue) {
    Rig r;
    r.start();
    const FieldId mute = id("input[3].mute");
    const auto original = framesOfEdit(*r.s, mute, 1);
    r.userEdit(mute, 1);
    EXPECT_TRUE(sameFrames(r.undo(), framesOfEdit(*r.s, mute, 0)));
    EXPECT_EQ(r.s->in(3).mute, 0);
    EXPECT_TRUE(sameFrames(r.redo(), original));

    const FieldId name = id("input[2].name");
    const std::string old(FieldRegistry::getName(*r.s, FieldRegistry::instance().field(name)));
    EditOutcome out = applyNameEdit(*r.s, r.rec, name, "KICK");
    r.history->changed(out.changed);
    r.history->aimed(name);
    r.history->userChanged();
    r.undo();
    EXPECT_EQ(FieldRegistry::getName(*r.s, FieldRegistry::instance().field(name)), old);
    const auto redone = r.redo();
    EXPECT_EQ(FieldRegistry::getName(*r.s, FieldRegistry::instance().field(name)), "KICK");
    EXPECT_FALSE(redone.empty());
    EXPECT_TRUE(redone.front().inPieces);
}

TEST(EditHistory, RecallUndoneAndRedoneWithItsOwnBlock) {
    Rig r;
    linkInputs(*r.s, 1, 2, cg::kLinkEq);
    r.start();
    const int ch = 1;
    auto before = std::make_unique<DeviceState>(*r.s);
    // The list stores the preset's values, then the page sends them.
    r.s->in(ch).peq[0].bandGain = 200;
    r.s->in(ch).peq[2].bandFreq = 3000;
    r.s->in(ch).hpfOn = 1;
    r.rec.frames.clear();
    const ChangeSet changed = peqRecalled(*r.s, r.rec, ch);
    const auto original = r.rec.frames;
    ASSERT_FALSE(original.empty());
    r.userOperation(changed, resendingWith([ch](DeviceState& s, EditSink& k) { peqRecalled(s, k, ch); }));

    RecordingSink expectSink;
    peqRecalled(*before, expectSink, ch);
    EXPECT_TRUE(sameFrames(r.undo(), expectSink.frames));
    EXPECT_EQ(r.s->in(2).peq[0].bandGain, before->in(2).peq[0].bandGain); // the member too
    EXPECT_EQ(r.s->in(ch).hpfOn, before->in(ch).hpfOn);
    EXPECT_TRUE(sameFrames(r.redo(), original));
    EXPECT_EQ(r.s->in(2).peq[2].bandFreq, 3000);
}

TEST(EditHistory, SweepsOfSeveralRecordsKeepTheirPacing) {
    Rig r;
    r.s->in(2).mute = 1;
    r.s->in(17).mute = 1;
    r.s->out(3).mute = 1;
    r.start();
    auto before = std::make_unique<DeviceState>(*r.s);
    r.rec.frames.clear();
    const ChangeSet cleared = clearMute(*r.s, r.rec);
    const auto original = r.rec.frames;
    r.userOperation(cleared, resendingWith(queueMuteSweep, "CLEAR MUTE", "清除静音"));
    EXPECT_EQ(r.history->stepName(*r.history->nextUndo(), 2), "清除静音");
    RecordingSink expect;
    queueMuteSweep(*before, expect);
    EXPECT_TRUE(sameFrames(r.undo(), expect.frames));
    EXPECT_EQ(r.s->in(17).mute, 1);
    EXPECT_EQ(r.s->out(3).mute, 1);
    EXPECT_TRUE(sameFrames(r.redo(), original));

    // Without a resend of its own (a mute group switch), every frame is paced like a copy.
    r.rec.frames.clear();
    r.s->muteGroups[0][1] = 1;
    r.s->muteGroups[0][4] = 1;
    const ChangeSet on = setMuteGroup(*r.s, r.rec, 0, true);
    const auto switched = r.rec.frames;
    r.userOperation(on);
    r.undo();
    EXPECT_EQ(r.s->in(2).mute, 0);
    EXPECT_TRUE(sameFrames(r.redo(), switched));
}

TEST(EditHistory, CurveDragAndSceneRecallAsOperations) {
    Rig r;
    r.start();
    // A curve drag writes a band's frequency and gain step by step: one step, one G frame back.
    r.history->beginGesture();
    for (int i = 1; i <= 3; ++i) {
        r.s->in(5).peq[1].bandFreq = 600 + 100 * i;
        r.s->in(5).peq[1].bandGain = 150 + 10 * i;
        ChangeSet c;
        c.add(id("input[5].peq[2].bandFreq"));
        c.add(id("input[5].peq[2].bandGain"));
        r.userOperation(c);
    }
    r.history->endGesture();
    ASSERT_EQ(r.history->undoCount(), 1u);
    const auto undone = r.undo();
    ASSERT_EQ(undone.size(), 1u);
    EXPECT_EQ(undone.front().text, buildG(*r.s, 5, 2));
    EXPECT_EQ(r.s->in(5).peq[1].bandFreq, 500);
    const auto redone = r.redo();
    ASSERT_EQ(redone.size(), 1u);
    EXPECT_EQ(r.s->in(5).peq[1].bandGain, 180);

    // A scene recall is the user's whole new state, not a report: recorded, not a reset.
    int transfers = 0;
    UserOperation scene = resendingWith([&](DeviceState&, EditSink&) { ++transfers; });
    r.s->in(7).level = 12;
    r.s->out(2).mute = 1;
    r.userOperation(ChangeSet::everything(), scene);
    EXPECT_FALSE(r.history->settle());
    ASSERT_EQ(r.history->undoCount(), 2u);
    EXPECT_EQ(r.history->stepName(*r.history->nextUndo(), 1), "SCENE RECALL");
    r.undo();
    EXPECT_EQ(transfers, 1);
    EXPECT_NE(r.s->in(7).level, 12);
    EXPECT_EQ(r.s->out(2).mute, 0);
    r.redo();
    EXPECT_EQ(transfers, 2);
    EXPECT_EQ(r.s->in(7).level, 12);
}

TEST(EditHistory, StepsNameTheStripByItsPlaceWhateverItIsCalled) {
    Rig r;
    r.start();
    const auto last = [&] { return r.history->stepName(*r.history->nextUndo(), 1); };
    applyNameEdit(*r.s, r.rec, id("input[3].name"), "KICK");
    r.userEdit(id("input[3].level"), 30);
    EXPECT_EQ(last(), "CH3 VOL");
    r.userEdit(id("input[14].level"), 30); // no factory name
    EXPECT_EQ(last(), "CH14 VOL");
    r.userEdit(id("output[2].level"), 30);
    EXPECT_EQ(last(), "M2 VOL");
    r.userEdit(id("output[6].level"), 30);
    EXPECT_EQ(last(), "D2 VOL");
    const FieldId name = id("input[2].name");
    r.history->changed(applyNameEdit(*r.s, r.rec, name, "KICK").changed);
    r.history->aimed(name);
    r.history->userChanged();
    EXPECT_EQ(last(), "CH2 NAME");
    r.userEdit(id("input[5].level"), 30);
    EXPECT_EQ(r.history->stepName(*r.history->nextUndo(), 2)
                  .rfind("\xE9\x80\x9A\xE9\x81\x93"
                         "5 ",
                         0),
              0u); // 通道5
}

TEST(EditHistory, GesturesStayWithTheirRecordAndUndoMidDragSplitsIt) {
    Rig r;
    r.start();
    const FieldId level = id("input[1].level");
    r.history->beginGesture(); // never closed: a page that lost its release
    r.userEdit(level, 40);
    r.userEdit(level, 41);
    r.userEdit(id("output[2].mute"), 1);
    r.userEdit(id("output[2].level"), 20);
    EXPECT_EQ(r.history->undoCount(), 2u);

    // Undo while the hand is still on the fader: what it did so far goes, the rest is new.
    r.undo();
    EXPECT_EQ(r.s->out(2).mute, 0);
    r.userEdit(level, 42);
    r.userEdit(level, 43);
    r.history->endGesture();
    EXPECT_EQ(r.history->undoCount(), 2u);
    r.undo();
    EXPECT_EQ(r.s->in(1).level, 41);
}

TEST(EditHistory, BoundResetAndReportsBetweenEdits) {
    Rig r;
    r.start();
    const FieldId level = id("input[2].level");
    for (int i = 0; i < 1005; ++i)
        r.userEdit(level, 61 + i % 7); // never the factory level, never the same twice running
    EXPECT_EQ(r.history->undoCount(), EditHistory::kDefaultLimit);
    while (r.history->canUndo())
        r.history->undo(r);
    // The five oldest steps were dropped: the value is the one the fifth edit left.
    EXPECT_EQ(r.s->in(2).level, 61 + 4 % 7);

    // A report in between: undo goes back to what the device said, not to an older value.
    r.history->clear();
    r.s->in(2).level = 44;
    ChangeSet levels;
    levels.add(level);
    EXPECT_FALSE(r.report(levels));
    r.userEdit(level, 10);
    r.undo();
    EXPECT_EQ(r.s->in(2).level, 44);
    r.redo();

    // A full state from the device: the history starts afresh, once.
    r.userEdit(level, 11);
    EXPECT_TRUE(r.report(ChangeSet::everything()));
    EXPECT_FALSE(r.history->canUndo());
    EXPECT_FALSE(r.history->canRedo());
    EXPECT_FALSE(r.history->settle());
    // The names report that follows the full state finds nothing more to forget.
    EXPECT_FALSE(r.report(ChangeSet::everything()));
    // and goes on recording
    r.userEdit(level, 12);
    EXPECT_EQ(r.history->undoCount(), 1u);
}

TEST(EditHistory, OfflineUndoStoresWithoutSendingAndRefusalsKeepTheStep) {
    Rig r;
    r.start();
    const FieldId level = id("input[6].level");
    const std::int32_t before = r.s->in(6).level;
    r.userEdit(level, 33);
    r.s->link.linkOnline = false;
    EXPECT_TRUE(r.undo().empty());
    EXPECT_EQ(r.s->in(6).level, before);
    r.s->link.linkOnline = true;
    EXPECT_TRUE(sameFrames(r.redo(), framesOfEdit(*r.s, level, 33)));

    // A Dante input another channel took since (a report): undo is refused and the step stays.
    for (int c = 1; c <= kAnalogInputs; ++c)
        r.s->in(c).danteSource = 0;
    r.history->clear();
    ChangeSet sources;
    for (int c = 1; c <= kAnalogInputs; ++c)
        sources.add(id("input[" + std::to_string(c) + "].danteSource"));
    r.report(sources);
    const FieldId src1 = id("input[1].danteSource");
    r.userEdit(src1, 2);
    r.userEdit(src1, 3);
    r.s->in(4).danteSource = 2;
    ChangeSet taken;
    taken.add(id("input[4].danteSource"));
    r.report(taken);
    r.rec.frames.clear();
    const HistoryResult conflict = r.history->undo(r);
    EXPECT_FALSE(conflict.done);
    EXPECT_EQ(conflict.refusal, kDanteConflictMessage);
    EXPECT_TRUE(r.rec.frames.empty());
    EXPECT_EQ(r.s->in(1).danteSource, 3);
    EXPECT_EQ(r.history->undoCount(), 2u);
    // Editing goes on whatever the history holds, and a new step clears what could be redone.
    EXPECT_TRUE(r.userEdit(level, 21).applied);
    EXPECT_EQ(r.history->undoCount(), 3u);
    r.undo();
    EXPECT_TRUE(r.history->canRedo());
    r.userEdit(level, 22);
    EXPECT_FALSE(r.history->canRedo());
}

} // namespace
} // namespace quorvel
