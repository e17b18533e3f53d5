// Undo and redo from the controls' side: a real fader drag and button click through their
// bindings, the frames in the recording sink, the menu's names, the lock, the reset on a full
// state, and the shortcuts in the main window.
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "../binding/page_rig.h"
#include "app/main_window.h"
#include "app/undo_actions.h"
#include "binding/control_bindings.h"
#include "binding/field_ids.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/response_view.h"
#include "link/clock.h"
#include "pages/processing/peq_page.h"
#include "widgets/ui_text.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

std::vector<std::string> texts(const std::vector<OutgoingFrame>& frames) {
    std::vector<std::string> out;
    for (const OutgoingFrame& f : frames)
        out.push_back(f.text + "/" + std::to_string(f.pauseAfter.count()));
    return out;
}

// The frames an edit of `raw` would queue on a copy of the state as it stands.
std::vector<std::string> editFrames(const DeviceState& s, FieldId f, std::int32_t raw) {
    auto twin = std::make_unique<DeviceState>(s);
    RecordingSink sink;
    applyEdit(*twin, sink, f, raw);
    return texts(sink.frames);
}

void linkAllInputs(DeviceState& s) {
    for (int c = 1; c <= 16; ++c)
        s.controlGroups[0][static_cast<std::size_t>(c - 1)] = 1;
    s.controlGroups[0][cg::kMemberCount] = 16;
    s.controlGroups[0][cg::kLinkVolume] = 1;
}

} // namespace

class TestUndo : public QObject {
    Q_OBJECT
private slots:
    void faderDragOfAGroupIsOneStep();
    void toggleNamesLockAndOffline();
    void curveDragOnThePageIsOneStep();
    void fullStateReportStartsAfresh();
    void shortcutsInTheWindowLeaveTextFieldsTheirOwn();
};

void TestUndo::faderDragOfAGroupIsOneStep() {
    test::PageRig rig;
    linkAllInputs(rig.state);
    UndoActions undo(rig.edits, nullptr, nullptr);
    QWidget host;
    auto* fader = new FaderCtrl(1012, &host);
    fader->setRange(0, 70);
    const FieldId level = inputField(3, "level");
    new FaderBinding(fader, rig.edits, level);
    QVERIFY(!undo.undoAction()->isEnabled());
    QCOMPARE(undo.undoAction()->text(), QStringLiteral("Undo"));

    const std::int32_t before = rig.state.in(3).level;
    for (int pos : {20, 25, 30})
        emit fader->faderChanging(1012, pos);
    emit fader->faderChanged(1012, 35);
    QCOMPARE(undo.history().undoCount(), std::size_t{1});
    QVERIFY(undo.undoAction()->isEnabled());
    QCOMPARE(undo.undoAction()->text(), QStringLiteral("Undo CH3 VOL"));
    const std::int32_t after = rig.state.in(3).level;
    QCOMPARE(rig.state.in(16).level, after);

    const auto expectUndo = editFrames(rig.state, level, before);
    rig.sink.frames.clear();
    QVERIFY(undo.undo());
    QCOMPARE(texts(rig.sink.frames), expectUndo);
    QVERIFY(expectUndo.size() > 1); // the members' copies, each paused
    for (int c = 1; c <= 16; ++c)
        QCOMPARE(rig.state.in(c).level, before);
    QCOMPARE(undo.redoAction()->text(), QStringLiteral("Redo CH3 VOL"));

    const auto expectRedo = editFrames(rig.state, level, after);
    rig.sink.frames.clear();
    QVERIFY(undo.redo());
    QCOMPARE(texts(rig.sink.frames), expectRedo);
    // The fader follows the replay like any other change.
    QCOMPARE(fader->position(), after);
    QVERIFY(!undo.redoAction()->isEnabled());
}

void TestUndo::toggleNamesLockAndOffline() {
    setLanguageFlag(kEnglish);
    test::PageRig rig;
    UndoActions undo(rig.edits, nullptr, nullptr);
    QWidget host;
    auto* button = new ImageButton(1001, &host);
    button->resize(80, 24);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    const FieldId mute = inputField(5, "mute");
    new ToggleBinding(button, rig.edits, mute);
    const auto original = editFrames(rig.state, mute, 1);
    test::click(button);
    QCOMPARE(rig.state.in(5).mute, 1);
    QCOMPARE(undo.undoAction()->text(), QStringLiteral("Undo CH5 MUTE"));

    setLanguageFlag(kChinese);
    QSignalSpy refused(&undo, &UndoActions::stepRefused);
    rig.edits.setLocked(true);
    QVERIFY(!undo.undoAction()->isEnabled());
    QVERIFY(!undo.undo());
    QCOMPARE(rig.state.in(5).mute, 1);
    rig.edits.setLocked(false);
    QVERIFY(undo.undoAction()->text().startsWith(QStringLiteral("撤销 ")));
    setLanguageFlag(kEnglish);

    // Offline: stored and shown, nothing queued; online again, redo sends what the click sent.
    rig.state.link.linkOnline = false;
    rig.sink.frames.clear();
    QVERIFY(undo.undo());
    QCOMPARE(rig.state.in(5).mute, 0);
    QVERIFY(!button->isOn());
    QVERIFY(rig.sink.frames.empty());
    rig.state.link.linkOnline = true;
    QVERIFY(undo.redo());
    QCOMPARE(texts(rig.sink.frames), original);
    QCOMPARE(refused.count(), 0);
}

void TestUndo::curveDragOnThePageIsOneStep() {
    test::PageRig rig;
    UndoActions undo(rig.edits, nullptr, nullptr);
    QWidget host;
    auto* page = new PeqPage(rig.context(), &host);
    ManualClock clock;
    page->setClock(&clock);
    page->setGeometry(0, 0, 1000, 700);
    page->bindTo(0);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    ResponseView* v = page->view();
    const PeqBand before = rig.state.in(1).peq[1];
    const QPointF start = v->handlePoint(1);
    test::sendMouse(v, QEvent::MouseButtonPress, start);
    QPointF at = start;
    for (int i = 1; i <= 8; ++i) {
        clock.advance(std::chrono::milliseconds(30));
        at = start + QPointF(4 * i, -6 * i);
        test::sendMouse(v, QEvent::MouseMove, at);
    }
    test::sendMouse(v, QEvent::MouseButtonRelease, at);
    const std::string released = rig.sink.frames.back().text;
    const PeqBand after = rig.state.in(1).peq[1];
    QVERIFY(after.bandGain != before.bandGain);
    QCOMPARE(undo.history().undoCount(), std::size_t{1});

    rig.sink.frames.clear();
    QVERIFY(undo.undo());
    QCOMPARE(rig.state.in(1).peq[1].bandGain, before.bandGain);
    QCOMPARE(rig.state.in(1).peq[1].bandFreq, before.bandFreq);
    QCOMPARE(rig.sink.frames.size(), std::size_t{1});
    QCOMPARE(rig.sink.frames.front().text, buildG(rig.state, 1, 2));
    rig.sink.frames.clear();
    QVERIFY(undo.redo());
    QCOMPARE(rig.state.in(1).peq[1].bandGain, after.bandGain);
    QCOMPARE(rig.sink.frames.size(), std::size_t{1});
    QCOMPARE(rig.sink.frames.front().text, released);
    QVERIFY(v->handlePoint(1) != start); // the curve follows the replay
}

void TestUndo::fullStateReportStartsAfresh() {
    test::PageRig rig;
    UndoActions undo(rig.edits, nullptr, nullptr);
    QSignalSpy reset(&undo, &UndoActions::historyReset);
    rig.edits.edit(inputField(2, "pan"), 40);
    rig.edits.announceUser(ChangeSet::everything()); // a scene recall is the user's
    QCoreApplication::processEvents();
    QCOMPARE(undo.history().undoCount(), std::size_t{1});
    QCOMPARE(reset.count(), 0);

    ChangeSet levels;
    levels.add(inputField(2, "level"));
    rig.state.in(2).level = 12;
    rig.edits.announce(levels); // a levels report
    QCoreApplication::processEvents();
    QCOMPARE(reset.count(), 0);

    rig.state.in(2).pan = 150;
    rig.edits.announce(ChangeSet::everything()); // the device's full state
    QCoreApplication::processEvents();
    QCOMPARE(reset.count(), 1);
    QVERIFY(!undo.undoAction()->isEnabled());
    // What the device said is the new starting point.
    rig.edits.edit(inputField(2, "pan"), 60);
    QVERIFY(undo.undo());
    QCOMPARE(rig.state.in(2).pan, 150);
    QCOMPARE(reset.count(), 1);
}

void TestUndo::shortcutsInTheWindowLeaveTextFieldsTheirOwn() {
    QTemporaryDir dir;
    Profile profile{dir.path()};
    DeviceState state;
    loadFactoryDefaults(state, 1);
    state.link.hostAddress = "127.0.0.2"; // never connected here
    LinkOptions lo;
    lo.bindAddress = "127.0.0.1";
    LinkAdapter link(state, lo);
    MainWindow window(state, link, profile);
    window.resize(1600, 1000);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* actions = window.findChild<UndoActions*>("undoActions");
    QVERIFY(actions);
    QVERIFY(window.editMenu()->actions().contains(actions->undoAction()));
    QVERIFY(window.editMenu()->actions().contains(actions->redoAction()));

    window.edits().edit(inputField(1, "level"), 30);
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(state.in(1).level, 60);
    QTest::keyClick(&window, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(state.in(1).level, 30);
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(state.in(1).level, 30);
    // Locked with Ctrl+L, Ctrl+Z takes nothing back; unlocked, it does again.
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    QVERIFY(window.edits().locked());
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(state.in(1).level, 30);
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    QVERIFY(!window.edits().locked());
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(state.in(1).level, 60);
    QTest::keyClick(&window, Qt::Key_Y, Qt::ControlModifier);

    // A text field being edited keeps Ctrl+Z for its own text.
    auto* line = new QLineEdit(&window);
    line->show();
    line->setFocus();
    QTest::keyClicks(line, "12");
    QTest::keyClick(line, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(state.in(1).level, 30);
    QVERIFY(line->text() != QStringLiteral("12"));
}

QTEST_MAIN(TestUndo)
#include "test_undo.moc"
