// The surface lock on the whole window: every way of editing refused while the meters and the
// navigation go on, the wheel passed to the page, the PIN; the wheel's rest rule; double clicks.
//
// The link's headers go first: Qt's keyword macros must not be defined while they are read.
#include "link/device_link.h"
#include "log/event_log.h"
#include "log/traffic_log.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <memory>

#include "../binding/page_rig.h"
#include "../reports/report_text.h"
#include "app/app_options.h"
#include "app/lock_actions.h"
#include "app/lock_surface.h"
#include "app/log_dock.h"
#include "app/main_window.h"
#include "app/readout_panel.h"
#include "app/undo_actions.h"
#include "binding/edit_controller.h"
#include "binding/field_ids.h"
#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/wheel_gate.h"
#include "link/edit.h"
#include "link/report_changes.h"
#include "pages/processing/input_strip.h"
#include "pages/processing/output_strip.h"
#include "pages/processing/peq_page.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "widgets/nav_button.h"
#include "widgets/ui_text.h"

using namespace quorvel;
using namespace quorvel::ui;
using std::chrono::milliseconds;

namespace {

struct Rig {
    QTemporaryDir dir;
    Profile profile{dir.path()};
    DeviceState state;
    std::unique_ptr<LinkAdapter> link;
    std::unique_ptr<MainWindow> window;

    Rig() {
        loadFactoryDefaults(state, 1);
        state.link.hostAddress = "127.0.0.2";
        LinkOptions lo;
        lo.bindAddress = "127.0.0.1";
        link = std::make_unique<LinkAdapter>(state, lo);
        window = std::make_unique<MainWindow>(state, *link, profile);
        window->resize(1000, 700); // smaller than the pages: the surface scrolls
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) qWarning("window not exposed");
    }
    template <class T> T* find(const char* name) const { return window->findChild<T*>(name); }
    InputStrip* strip(int k) const { return qobject_cast<InputStrip*>(window->pages().inputStrip(k)); }
    LockActions& lock() const { return *window->lock(); }
    QScrollBar* vbar() const { return window->scrollArea()->verticalScrollBar(); }
};

void wheel(QWidget* w, int delta) {
    const QPointF pos(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &e);
}

void enter(QWidget* w) {
    const QPointF pos(w->width() / 2.0, w->height() / 2.0);
    QEnterEvent e(pos, w->mapTo(w->window(), pos), w->mapToGlobal(pos));
    QCoreApplication::sendEvent(w, &e);
}

// Press, drag and let go of a vertical fader's thumb.
void drag(FaderCtrl* f, int dy) {
    const QPointF grip(f->geometry().marginLeft + f->geometry().thumbWidth / 2.0, f->thumbCentre());
    test::sendMouse(f, QEvent::MouseButtonPress, grip);
    test::sendMouse(f, QEvent::MouseMove, grip + QPointF(0, dy));
    test::sendMouse(f, QEvent::MouseButtonRelease, grip + QPointF(0, dy));
}

void doubleClick(FaderCtrl* f) {
    const QPointF grip(f->geometry().marginLeft + f->geometry().thumbWidth / 2.0, f->thumbCentre());
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                           QEvent::MouseButtonRelease})
        test::sendMouse(f, t, grip);
}

QMessageBox* visibleBox(const char* objectName) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == objectName && w->isVisible()) return qobject_cast<QMessageBox*>(w);
    return nullptr;
}

void closeBoxes() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) b->close();
}

// A clock the tests move by hand.
struct HandClock {
    milliseconds now{100000};
    HandClock() {
        WheelGate::shared().setClock([this] { return now; });
    }
    ~HandClock() { WheelGate::shared().setClock({}); }
};

} // namespace

class LockTest : public QObject {
    Q_OBJECT

private slots:
    void lockRefusesEveryEditWhileMetersAndNavigationGoOn() {
        Rig r;
        MainWindow& w = *r.window;
        r.state.link.linkOnline = true;
        r.state.in(2).mute = 1;
        w.edits().announce(ChangeSet::everything());
        const DeviceState before = r.state;
        QSignalSpy userEdits(&w.edits(), &EditController::userChanged);
        const int menuHeight = w.menuBar()->height();
        const QRect client = w.scrollArea()->geometry();

        QVERIFY(w.editMenu()->actions().contains(r.lock().lockAction()));
        r.lock().lockAction()->trigger();
        QVERIFY(w.edits().locked());
        QVERIFY(r.lock().lockAction()->isChecked());
        auto* bar = qobject_cast<QLabel*>(r.lock().bar());
        QVERIFY(bar && bar->isVisible());
        QCOMPARE(bar->text(), "Locked");
        // The bar moves nothing on the surface.
        QCOMPARE(w.menuBar()->height(), menuHeight);
        QCOMPARE(w.scrollArea()->geometry(), client);

        InputStrip* s = r.strip(0);
        auto* fader = s->findChild<FaderCtrl*>("fader");
        auto* pan = s->findChild<FaderCtrl*>("panKnob");
        auto* mute = s->findChild<ImageButton*>("muteButton");
        auto* gain = s->findChild<DropList*>("gainList");
        QVERIFY(fader && pan && mute && gain);
        QVERIFY(r.lock().surface().dimmed(fader));
        QVERIFY(r.lock().surface().dimmed(mute));

        // Mouse.
        drag(fader, 40);
        QVERIFY(!fader->isDragging());
        test::click(mute);
        doubleClick(pan);
        test::sendMouse(gain, QEvent::MouseButtonPress, QPointF(5, 5));
        QVERIFY(!gain->isPopupVisible());
        // Keys.
        fader->setFocus();
        QTest::keyClick(fader, Qt::Key_End);
        QTest::keyClick(mute, Qt::Key_Space);
        // Wheel: the page scrolls instead.
        QVERIFY(r.vbar()->maximum() > 0);
        r.vbar()->setValue(0);
        wheel(fader, -120);
        QVERIFY(r.vbar()->value() > 0);
        const int scrolled = r.vbar()->value();
        wheel(gain, -120);
        QVERIFY(r.vbar()->value() > scrolled);
        // Operations of several steps.
        test::click(r.find<ImageButton>("clearMuteButton"));
        test::click(r.find<NavButton>("muteGroup1"));
        // Typed entry, by keys and by Enter on a text put there.
        w.readout()->showParameter(0, 3);
        auto* typed = r.find<QLineEdit>("readoutValue1");
        QVERIFY(!r.lock().surface().dimmed(typed)); // the readout stays readable
        typed->setFocus();
        QTest::keyClicks(typed, "-6");
        QTest::keyClick(typed, Qt::Key_Return);
        typed->setText("-20");
        w.readout()->applyTypedValue(0);
        QCOMPARE(typed->text(), "0dB");

        QVERIFY(userEdits.isEmpty());
        QCOMPARE(r.state.in(1).level, before.in(1).level);
        QCOMPARE(r.state.in(1).pan, before.in(1).pan);
        QCOMPARE(r.state.in(1).mute, before.in(1).mute);
        QCOMPARE(r.state.in(1).gainStep, before.in(1).gainStep);
        QCOMPARE(r.state.in(2).mute, 1);
        QCOMPARE(r.state.muteGroups, before.muteGroups);
        QVERIFY(!visibleBox("danteConflictMessage"));

        // The meters follow the device.
        auto* meter = s->findChild<LevelMeter*>("meter");
        const double shown = meter->level(0);
        ReportDispatcher d(r.state);
        const DispatchResult status = d.dispatch(test::statusReport(std::vector<int>(22, 50)), Clock::now());
        emit r.link->reportDispatched(status, shownChanges(status));
        QVERIFY(meter->level(0) != shown);

        // Navigation: tabs, views, the strip's way into its detail page.
        auto* matrixTab = r.find<NavButton>("tabMatrix");
        QVERIFY(!r.lock().surface().dimmed(matrixTab));
        QTest::mouseClick(matrixTab, Qt::LeftButton);
        QCOMPARE(w.navigation().tab(), Tab::Matrix);
        QTest::mouseClick(r.find<NavButton>("tabChannel"), Qt::LeftButton);
        QTest::mouseClick(r.find<NavButton>("viewCh9to12"), Qt::LeftButton);
        QCOMPARE(w.navigation().view(), StripView::Ch9to12);
        test::click(r.strip(8)->findChild<ImageButton*>("compButton"));
        QCOMPARE(w.navigation().detail(), DetailPage::Dynamics);

        // Remote clients are not this window's surface.
        QVERIFY(w.edits().edit(inputField(3, "mute"), 1, {}, EditOrigin::Remote).applied);

        // Ctrl+L without a PIN unlocks; everything edits again and nothing stays dimmed.
        w.navigation().selectView(StripView::Ch1to8);
        QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(!w.edits().locked());
        QVERIFY(!bar->isVisible());
        QVERIFY(!r.lock().surface().dimmed(fader));
        test::click(mute);
        QCOMPARE(r.state.in(1).mute, before.in(1).mute ? 0 : 1);
    }

    void pinLocksUntilTheRightOneIsTyped() {
        Rig r;
        MainWindow& w = *r.window;
        std::deque<std::optional<QString>> answers;
        r.lock().setPrompt([&answers](const QString&, const QString&) {
            std::optional<QString> a = answers.empty() ? std::nullopt : answers.front();
            if (!answers.empty()) answers.pop_front();
            return a;
        });
        QVERIFY(!r.lock().pinSet());
        // Too short, then twice different: nothing stored.
        answers = {QString("12")};
        QVERIFY(!r.lock().changePin());
        answers = {QString("1234"), QString("1243")};
        QVERIFY(!r.lock().changePin());
        QVERIFY(!r.lock().pinSet());
        closeBoxes();
        answers = {QString("1234"), QString("1234")};
        QVERIFY(r.lock().changePin());
        QVERIFY(r.lock().pinSet());
        QFile ini(r.profile.filePath());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray stored = ini.readAll();
        QVERIFY(stored.contains("pbkdf2-sha256$"));
        QVERIFY(!stored.contains("1234"));

        r.lock().toggle();
        QVERIFY(w.edits().locked());
        QVERIFY(!r.lock().setPinAction()->isEnabled()); // not on a locked surface
        answers = {QString("4321")};
        QVERIFY(!r.lock().unlock());
        QVERIFY(w.edits().locked());
        QVERIFY(visibleBox("lockWrongPin"));
        closeBoxes();
        answers = {}; // cancelled
        QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(w.edits().locked());
        QVERIFY(r.lock().lockAction()->isChecked());
        answers = {QString("1234")};
        QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(!w.edits().locked());

        // Changing it asks for the current one; an empty new PIN removes it.
        answers = {QString("0000")};
        QVERIFY(!r.lock().changePin());
        closeBoxes();
        answers = {QString("1234"), QString("")};
        QVERIFY(r.lock().changePin());
        QVERIFY(!r.lock().pinSet());
    }

    void startsLockedFromTheCommandLine() {
        AppOptions o;
        QString err, help;
        QVERIFY(parseAppOptions({"quorvel", "--locked"}, o, err, help));
        QVERIFY(o.locked);
        QVERIFY(parseAppOptions({"quorvel"}, o, err, help));
        QVERIFY(!o.locked);
        QVERIFY(help.contains("--locked"));
        // What main does with it: a window locked before it is first used is held back at once.
        Rig r;
        r.window->edits().setLocked(true);
        QVERIFY(r.lock().surface().dimmed(r.strip(0)->findChild<FaderCtrl*>("fader")));
        QVERIFY(r.lock().bar()->isVisible());
        r.window->edits().setLocked(false);
        setLanguageFlag(kChinese);
        r.window->edits().setLocked(true);
        QCOMPARE(qobject_cast<QLabel*>(r.lock().bar())->text(), QString::fromUtf8("已锁定"));
        setLanguageFlag(kEnglish);
    }

    void theLogPanelIsReadingAndKeepsWorkingWhileLocked() {
        TrafficLog traffic; // outlive the window's dock
        EventLog events;
        Rig r;
        LogDock* dock = LogDock::install(*r.window, *r.link, traffic, events);
        dock->show();
        r.window->edits().setLocked(true);
        QCheckBox* pause = dock->pauseBox();
        QVERIFY(!r.lock().surface().dimmed(pause));
        test::click(pause);
        QVERIFY(dock->paused());
        QTest::keyClicks(dock->lettersField(), "G");
        QCOMPARE(dock->lettersField()->text(), "G");
        dock->tabs()->setCurrentIndex(0);
        QTest::mouseClick(dock->tabs()->tabBar(), Qt::LeftButton, {},
                          dock->tabs()->tabBar()->tabRect(1).center());
        QCOMPARE(dock->tabs()->currentIndex(), 1);
        r.window->edits().setLocked(false);
    }

    void wheelScrollsUntilTheControlHasRested() {
        HandClock hand;
        Rig r;
        auto* fader = r.strip(0)->findChild<FaderCtrl*>("fader");
        auto* gain = r.strip(0)->findChild<DropList*>("gainList");
        const std::int32_t level = r.state.in(1).level;
        const int gainStep = r.state.in(1).gainStep;
        QVERIFY(r.vbar()->maximum() > 0);
        r.vbar()->setValue(0);

        enter(fader);
        hand.now += milliseconds(100);
        wheel(fader, -120); // too soon: the page scrolls
        QCOMPARE(r.state.in(1).level, level);
        const int afterFirst = r.vbar()->value();
        QVERIFY(afterFirst > 0);
        hand.now += milliseconds(250); // 350 ms since entering, but only 250 since the page moved
        wheel(fader, -120);
        QCOMPARE(r.state.in(1).level, level);
        QVERIFY(r.vbar()->value() > afterFirst);
        r.vbar()->setValue(0);
        hand.now += WheelGate::kRest; // rested: the fader takes it, the page stays
        wheel(fader, -120);
        QCOMPARE(r.state.in(1).level, level - 1);
        QCOMPARE(r.vbar()->value(), 0);
        hand.now += milliseconds(10); // and goes on taking it while the hand turns the wheel
        wheel(fader, -120);
        QCOMPARE(r.state.in(1).level, level - 2);

        // Another control the wheel lands on has not been rested on.
        wheel(gain, -120);
        QCOMPARE(r.state.in(1).gainStep, gainStep);
        QVERIFY(r.vbar()->value() > 0);
        // A control with the focus takes the wheel at once.
        r.vbar()->setValue(0);
        auto* other = r.strip(1)->findChild<FaderCtrl*>("fader");
        r.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(r.window.get()));
        other->setFocus();
        QVERIFY(other->hasFocus());
        const std::int32_t l2 = r.state.in(2).level;
        wheel(other, 120);
        QCOMPARE(r.state.in(2).level, l2 + 1);
        QCOMPARE(r.vbar()->value(), 0);

        // On a surface with nothing to scroll the control takes the wheel as always.
        r.window->resize(2400, 1400);
        QTRY_COMPARE(r.vbar()->maximum(), 0);
        enter(gain);
        wheel(gain, -120);
        QCOMPARE(r.state.in(1).gainStep, gainStep + 1);
    }

    void restRuleAlone() {
        HandClock hand;
        WheelGate& g = WheelGate::shared();
        int a = 0, b = 0;
        g.pointerEntered(&a);
        hand.now += milliseconds(299);
        QVERIFY(!g.takes(&a, false));
        hand.now += milliseconds(299);
        QVERIFY(!g.takes(&a, false)); // the page moved at 299: the rest starts again
        hand.now += milliseconds(299);
        QVERIFY(!g.takes(&a, false));
        hand.now += WheelGate::kRest;
        QVERIFY(g.takes(&a, false));
        QVERIFY(!g.takes(&b, false)); // never entered
        QVERIFY(g.takes(&b, true));   // focus wins
        g.pointerEntered(&a);
        hand.now += milliseconds(400);
        g.pointerLeft(&a);
        QVERIFY(!g.takes(&a, false)); // it went away in between
    }

    void doubleClickPutsTheDocumentedDefaultBack() {
        test::PageRig rig;
        InputStrip strip(rig.context(), 0, nullptr);
        strip.resize(150, 700);
        strip.show();
        auto* fader = strip.findChild<FaderCtrl*>("fader");
        QVERIFY(fader);
        const FieldId level = inputField(1, "level");
        UndoActions undo(rig.edits, nullptr, nullptr);
        QVERIFY(rig.edits.edit(level, 30).applied);
        rig.sink.frames.clear();
        QSignalSpy changes(&rig.edits, &EditController::userChanged);
        doubleClick(fader);
        QCOMPARE(rig.state.in(1).level, 60); // 0 dB
        QCoreApplication::processEvents();
        // Taken back in one step, like any other gesture.
        QCOMPARE(undo.history().undoCount(), std::size_t{2});
        const auto reset = rig.sink.frames;
        QVERIFY(undo.undo());
        QCOMPARE(rig.state.in(1).level, 30);
        QVERIFY(undo.redo());
        rig.sink.frames = reset;
        QCOMPARE(fader->position(), 70 - 60);
        // The reset is one edit, with the frame a plain edit to 0 dB puts on the wire.
        DeviceState scratch = rig.state;
        scratch.in(1).level = 30;
        RecordingSink expected;
        applyEdit(scratch, expected, level, 60);
        QVERIFY(!expected.frames.empty());
        QVERIFY(rig.sink.frames.size() >= expected.frames.size());
        QCOMPARE(rig.sink.frames.back().text, expected.frames.back().text);
        QVERIFY(!changes.isEmpty());
        QCOMPARE(std::count_if(rig.sink.frames.begin(), rig.sink.frames.end(),
                               [&](const OutgoingFrame& f) { return f.text == expected.frames.back().text; }),
                 1);

        // A PEQ gain knob goes back to 0 dB, one that never had a RESET value stays.
        PeqPage peq(rig.context(), nullptr);
        peq.bindTo(0);
        peq.resize(1000, 700);
        peq.show();
        rig.edits.edit(inputField(1, "peq[2].bandGain"), 200);
        auto* gainKnob = peq.findChild<FaderCtrl*>("band2Gain");
        QVERIFY(gainKnob);
        QCOMPARE(gainKnob->position(), 200);
        QSignalSpy dbl(gainKnob, &FaderCtrl::faderDoubleClicked);
        const QPointF centre(gainKnob->width() / 2.0, gainKnob->height() / 2.0);
        test::sendMouse(gainKnob, QEvent::MouseButtonDblClick, centre);
        QCOMPARE(dbl.count(), 1);
        QCOMPARE(rig.state.in(1).peq[1].bandGain, 150);
    }
};

QTEST_MAIN(LockTest)
#include "test_lock.moc"
