#include <QSignalSpy>
#include <QtTest>

#include "binding/control_bindings.h"
#include "binding/field_hub.h"
#include "binding/field_ids.h"
#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "page_rig.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

using test::click;
using test::sendMouse;

QStringList bodies(const RecordingSink& sink) {
    QStringList out;
    for (const OutgoingFrame& f : sink.frames)
        out << QString::fromStdString(f.text.substr(0, f.text.size() - 5));
    return out;
}

FaderCtrl* makeFader(QWidget* host) {
    // Dressed as a channel fader: the thumb has to be where the strips' is for a drag to take.
    auto* f = new FaderCtrl(1012, host);
    f->setVertical(true);
    f->setTrackBitmaps(191);
    f->setThumbBitmaps(192, 209);
    f->setThumbArea(32, 2, 0, 5);
    f->setRange(0, 70);
    f->move(0, 0);
    return f;
}

ChangeSet only(FieldId f) {
    ChangeSet c;
    c.add(f);
    return c;
}

} // namespace

class TestBindings : public QObject {
    Q_OBJECT
private slots:
    void userChangeReachesTheEditOnce();
    void reportMovesIdleControlNeverDraggedOne();
    void releaseSendsForOnReleaseFaders();
    void togglesDecideFromTheState();
    void listMapsItemsToValues();
    void hubWakesOnlyTheChangedFields();
    void rebindingAndDestructionLeaveNoStaleEntries();
};

void TestBindings::userChangeReachesTheEditOnce() {
    test::PageRig rig;
    QWidget host;
    FaderCtrl* f = makeFader(&host);
    new FaderBinding(f, rig.edits, inputField(3, "level"), ValueMap::levelFader());
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(f->position(), 70 - rig.state.in(3).level);

    QSignalSpy edited(&rig.edits, &EditController::edited);
    QSignalSpy moves(f, &FaderCtrl::faderChanging);
    QSignalSpy ends(f, &FaderCtrl::faderChanged);
    const QPointF grip(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, grip);
    for (int i = 1; i <= 5; ++i)
        sendMouse(f, QEvent::MouseMove, grip - QPointF(0, 8 * i));
    sendMouse(f, QEvent::MouseButtonRelease, grip - QPointF(0, 40));
    // One edit, and one frame, per notification of the control; never two.
    const int notifications = static_cast<int>(moves.count() + ends.count());
    QVERIFY(notifications >= 2);
    QCOMPARE(edited.count(), notifications);
    QCOMPARE(static_cast<int>(rig.sink.frames.size()), notifications);
    QCOMPARE(edited.last().at(0).value<FieldId>(), inputField(3, "level"));
    QCOMPARE(rig.state.in(3).level, 70 - f->position());

    auto* mute = new ImageButton(1001, &host);
    mute->resize(80, 24);
    mute->show();
    new ToggleBinding(mute, rig.edits, inputField(3, "mute"));
    edited.clear();
    rig.sink.frames.clear();
    click(mute);
    QCOMPARE(edited.count(), 1);
    QCOMPARE(rig.sink.frames.size(), std::size_t(1));
    QVERIFY(mute->isOn());
}

void TestBindings::reportMovesIdleControlNeverDraggedOne() {
    test::PageRig rig;
    QWidget host;
    FaderCtrl* f = makeFader(&host);
    new FaderBinding(f, rig.edits, outputField(2, "level"), ValueMap::levelFader());
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    // Idle: the report moves it.
    rig.state.out(2).level = 30;
    rig.edits.announce(only(outputField(2, "level")));
    QCOMPARE(f->position(), 40);
    // A change of another field leaves it alone.
    rig.state.out(2).level = 50;
    rig.edits.announce(only(outputField(3, "level")));
    QCOMPARE(f->position(), 40);
    rig.edits.announce(ChangeSet::everything());
    QCOMPARE(f->position(), 20);

    // Dragged: the hand wins, whatever the device says meanwhile.
    const QPointF grip(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, grip);
    sendMouse(f, QEvent::MouseMove, grip + QPointF(0, 30));
    const int held = f->position();
    rig.state.out(2).level = 5;
    rig.edits.announce(only(outputField(2, "level")));
    rig.edits.announce(ChangeSet::everything());
    QCOMPARE(f->position(), held);
    // Released: it follows the state again, from the next notification on.
    sendMouse(f, QEvent::MouseButtonRelease, grip + QPointF(0, 30));
    rig.state.out(2).level = 64;
    rig.edits.announce(only(outputField(2, "level")));
    QCOMPARE(f->position(), 6);
}

void TestBindings::releaseSendsForOnReleaseFaders() {
    test::PageRig rig;
    QWidget host;
    FaderCtrl* f = makeFader(&host);
    new FaderBinding(f, rig.edits, outputField(5, "level"), ValueMap::levelFader(),
                     FaderBinding::Send::OnRelease);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QSignalSpy edited(&rig.edits, &EditController::edited);
    const QPointF grip(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, grip);
    sendMouse(f, QEvent::MouseMove, grip - QPointF(0, 400));
    // Stored and shown (the readout hears it), not sent.
    QCOMPARE(rig.state.out(5).level, 70);
    QVERIFY(edited.count() >= 1);
    QVERIFY(rig.sink.frames.empty());
    sendMouse(f, QEvent::MouseButtonRelease, grip - QPointF(0, 400));
    QCOMPARE(bodies(rig.sink), QStringList({"%A,01,11,00,46,"}));
    // Offline the release stores only.
    rig.state.link.linkOnline = false;
    rig.sink.frames.clear();
    sendMouse(f, QEvent::MouseButtonPress, QPointF(45, f->thumbCentre()));
    sendMouse(f, QEvent::MouseMove, QPointF(45, f->thumbCentre() + 500));
    sendMouse(f, QEvent::MouseButtonRelease, QPointF(45, f->thumbCentre() + 500));
    QCOMPARE(rig.state.out(5).level, 0);
    QVERIFY(rig.sink.frames.empty());
}

void TestBindings::togglesDecideFromTheState() {
    test::PageRig rig;
    QWidget host;
    auto* b = new ImageButton(1001, &host);
    b->resize(80, 24);
    new ToggleBinding(b, rig.edits, outputField(1, "mute"));
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QVERIFY(!b->isOn());
    // The state changed without a notification (a stale button): the click still unmutes.
    rig.state.out(1).mute = 1;
    click(b);
    QCOMPARE(rig.state.out(1).mute, 0);
    QCOMPARE(bodies(rig.sink), QStringList({"%A,01,0D,00,3C,"}));
    QVERIFY(!b->isOn());

    // A toggle with its own pair of values and a caption that follows the value.
    auto* word = new ImageButton(1005, &host);
    word->resize(80, 24);
    auto* line = new ToggleBinding(word, rig.edits, outputField(3, "lineLevel"));
    line->setCaption([](std::int32_t v) { return v ? QStringLiteral("LINE") : QStringLiteral("MIC"); });
    QCOMPARE(word->text(), QStringLiteral("MIC"));
    rig.state.out(3).lineLevel = 1;
    rig.edits.announce(only(outputField(3, "lineLevel")));
    QCOMPARE(word->text(), QStringLiteral("LINE"));
    QVERIFY(word->isOn());

    // Display only: a click changes nothing.
    auto* comp = new ImageButton(1000, &host);
    comp->resize(80, 24);
    comp->show();
    auto* shown = new ToggleBinding(comp, rig.edits, inputField(1, "compEnabled"));
    shown->setDisplayOnly(true);
    rig.sink.frames.clear();
    const int before = rig.state.in(1).dynamics.compEnabled;
    click(comp);
    QCOMPARE(rig.state.in(1).dynamics.compEnabled, before);
    QVERIFY(rig.sink.frames.empty());
}

void TestBindings::listMapsItemsToValues() {
    test::PageRig rig;
    QWidget host;
    auto* list = new DropList(1009, &host);
    list->setItems({"a", "b", "c"});
    // Items stand for 4, 2 and 0; a value no item stands for selects nothing in particular.
    new ListBinding(list, rig.edits, outputField(2, "outSwitchJ"), {4, 2, 0});
    rig.state.out(2).outSwitchJ = 2;
    rig.edits.announce(only(outputField(2, "outSwitchJ")));
    QCOMPARE(list->selection(), 1);
    emit list->itemChosen(list->id(), 0);
    QCOMPARE(rig.state.out(2).outSwitchJ, 4);
    QCOMPARE(bodies(rig.sink), QStringList({"%J,01,02,01,04,"}));
    // An index past the mapping edits nothing.
    emit list->itemChosen(list->id(), 7);
    QCOMPARE(rig.state.out(2).outSwitchJ, 4);
    QCOMPARE(rig.sink.frames.size(), std::size_t(1));
}

void TestBindings::hubWakesOnlyTheChangedFields() {
    test::PageRig rig;
    QObject owner;
    std::vector<int> runs(kInputRecords, 0);
    for (int c = 1; c <= kInputRecords; ++c)
        new WatchBinding(
            rig.edits, {inputField(c, "level")}, [&runs, c] { ++runs[static_cast<size_t>(c - 1)]; }, &owner);
    int multi = 0;
    new WatchBinding(
        rig.edits, {inputField(1, "mute"), inputField(2, "mute"), inputField(3, "mute")},
        [&multi] { ++multi; }, &owner);
    std::fill(runs.begin(), runs.end(), 0);
    multi = 0;

    ChangeSet c;
    c.add(inputField(4, "level"));
    c.add(inputField(1, "mute"));
    c.add(inputField(3, "mute"));
    rig.edits.announce(c);
    for (int k = 1; k <= kInputRecords; ++k)
        QCOMPARE(runs[static_cast<size_t>(k - 1)], k == 4 ? 1 : 0);
    QCOMPARE(multi, 1); // two of its fields changed, it ran once

    rig.edits.announce(ChangeSet::everything());
    QCOMPARE(runs[0], 1);
    QCOMPARE(multi, 2);
    // An edit notifies the same way.
    rig.edits.edit(inputField(7, "level"), 12);
    QCOMPARE(runs[6], 2);
    QCOMPARE(runs[5], 1);
}

void TestBindings::rebindingAndDestructionLeaveNoStaleEntries() {
    test::PageRig rig;
    QWidget host;
    FaderCtrl* f = makeFader(&host);
    auto* b = new FaderBinding(f, rig.edits, inputField(1, "level"), ValueMap::levelFader());
    const std::size_t before = FieldHub::of(rig.edits).bindingCount();
    rig.state.in(5).level = 33;
    b->bindTo(inputField(5, "level"));
    QCOMPARE(f->position(), 37); // shows the new record at once
    rig.state.in(1).level = 1;
    rig.edits.announce(only(inputField(1, "level")));
    QCOMPARE(f->position(), 37); // the old record no longer reaches it
    rig.state.in(5).level = 3;
    rig.edits.announce(only(inputField(5, "level")));
    QCOMPARE(f->position(), 67);

    delete f; // takes its binding along
    QCOMPARE(FieldHub::of(rig.edits).bindingCount(), before - 1);
    rig.edits.announce(only(inputField(5, "level")));
    rig.edits.announce(ChangeSet::everything());

    // A binding aimed at no field shows 0 and edits nothing.
    auto* flag = new ImageButton(1102, &host);
    new ToggleBinding(flag, rig.edits, kNoField);
    emit flag->clicked(1102);
    QVERIFY(!flag->isOn());
    QVERIFY(rig.sink.frames.empty());
}

QTEST_MAIN(TestBindings)
#include "test_bindings.moc"
