#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QtTest>

#include "../reports/report_text.h"
#include "binding/edit_controller.h"
#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/response_view.h"
#include "link/edit_sink.h"
#include "link/reports.h"
#include "mixing/groups.h"
#include "pages/mixing/group_page.h"
#include "pages/mixing/side_panel.h"
#include "pages/processing/input_strip.h"
#include "pages/processing/output_strip.h"
#include "pages/processing/phantom_page.h"
#include "session/navigation_model.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

void sendMouse(QWidget* w, QEvent::Type type, QPointF pos) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, pos, w->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

void click(QWidget* w) {
    const QPointF c(w->width() / 2.0, w->height() / 2.0);
    sendMouse(w, QEvent::MouseButtonPress, c);
    sendMouse(w, QEvent::MouseButtonRelease, c);
}

std::string body(const OutgoingFrame& f) {
    return f.text.substr(0, f.text.size() - 5);
}

QStringList bodies(const RecordingSink& sink) {
    QStringList out;
    for (const OutgoingFrame& f : sink.frames)
        out << QString::fromStdString(body(f));
    return out;
}

} // namespace

class TestStrips : public QObject {
    Q_OBJECT
private slots:
    void init() {
        loadFactoryDefaults(state);
        state.link.linkOnline = true;
        sink.frames.clear();
    }

    void faderDragSendsLevel();
    void volumeLinkedMuteReachesEveryMember();
    void fastLinkedDragDoesNotFloodTheWire();
    void reportsMoveFadersAndLightMeters();
    void stripLayoutFollowsWidth();
    void lineInputStripsHideAutomixerControls();
    void danteConflictUndoesTheChoice();
    void outputStripEdits();
    void phantomPageTogglesChannels();
    void groupPageSelectionAndRefusal();
    void sidePanelClearsMutes();
    void nameMenuRenamesAndSendsV();

private:
    DeviceState state;
    RecordingSink sink;
};

void TestStrips::faderDragSendsLevel() {
    QWidget host;
    auto* strip = new InputStrip(state, sink, 2, &host);
    strip->setGeometry(0, 0, 150, 700);
    strip->refresh();
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QSignalSpy readout(strip, &InputStrip::readoutRequested);

    FaderCtrl* f = strip->fader();
    QCOMPARE(f->position(), 10); // level 60 = 0 dB
    const QPointF grip(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, grip);
    sendMouse(f, QEvent::MouseMove, grip - QPointF(0, 400));
    // While dragging every step already goes out.
    QCOMPARE(state.in(3).level, 70);
    QVERIFY(!sink.frames.empty());
    QCOMPARE(QString::fromStdString(body(sink.frames.back())), QStringLiteral("%A,01,03,00,46,"));
    sendMouse(f, QEvent::MouseButtonRelease, grip - QPointF(0, 400));
    QCOMPARE(QString::fromStdString(body(sink.frames.back())), QStringLiteral("%A,01,03,00,46,"));
    QVERIFY(validateFrame(sink.frames.back().text));
    QCOMPARE(readout.last().at(0).toInt(), 2);
    QCOMPARE(readout.last().at(1).toInt(), 3);

    // Offline the drag only changes the model.
    state.link.linkOnline = false;
    sink.frames.clear();
    const QPointF top(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, top);
    sendMouse(f, QEvent::MouseMove, top + QPointF(0, 1000));
    sendMouse(f, QEvent::MouseButtonRelease, top + QPointF(0, 1000));
    QCOMPARE(state.in(3).level, 0);
    QVERIFY(sink.frames.empty());
}

void TestStrips::volumeLinkedMuteReachesEveryMember() {
    QWidget host;
    std::vector<InputStrip*> strips;
    for (int k = 0; k < 4; ++k) {
        auto* s = new InputStrip(state, sink, k, &host);
        s->setGeometry(k * 152, 0, 150, 700);
        strips.push_back(s);
    }
    // What the main window does with a group copy: every shown strip redraws.
    for (InputStrip* s : strips)
        QObject::connect(s, &InputStrip::membersChanged, &host, [&strips] {
            for (InputStrip* t : strips)
                t->refresh();
        });
    for (int c : {1, 3, 4})
        toggleControlMember(state, 0, c - 1);
    toggleLinkFlag(state, 0, cg::kLinkVolume);
    for (InputStrip* s : strips)
        s->refresh();
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    click(strips[2]->muteButton());
    QVERIFY(strips[0]->muteButton()->isOn());
    QVERIFY(!strips[1]->muteButton()->isOn());
    QVERIFY(strips[2]->muteButton()->isOn());
    QVERIFY(strips[3]->muteButton()->isOn());
    QCOMPARE(bodies(sink), QStringList({"%A,01,03,01,3C,", "%A,01,01,01,3C,", "%A,01,04,01,3C,"}));
    QCOMPARE(sink.frames[1].pauseAfter, kMemberPause);
    QCOMPARE(sink.frames[2].pauseAfter, kMemberPause);

    // Without the flag the mute stays on its own channel.
    toggleLinkFlag(state, 0, cg::kLinkVolume);
    sink.frames.clear();
    click(strips[2]->muteButton());
    QVERIFY(!strips[2]->muteButton()->isOn());
    QVERIFY(strips[0]->muteButton()->isOn());
    QCOMPARE(bodies(sink), QStringList({"%A,01,03,00,3C,"}));
}

void TestStrips::fastLinkedDragDoesNotFloodTheWire() {
    QWidget host;
    auto* strip = new InputStrip(state, sink, 0, &host);
    strip->setGeometry(0, 0, 150, 700);
    for (int c : {1, 2, 3, 4})
        toggleControlMember(state, 0, c - 1);
    toggleLinkFlag(state, 0, cg::kLinkVolume);
    strip->refresh();
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    // Forty moves at once: each member copy holds the wire 10 ms, so sending every step would
    // queue 160 frames and 1.2 s of pauses behind the hand.
    FaderCtrl* f = strip->fader();
    const QPointF grip(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, grip);
    for (int i = 1; i <= 40; ++i)
        sendMouse(f, QEvent::MouseMove, grip + QPointF(0, (i % 2 ? 1 : -1) * i));
    sendMouse(f, QEvent::MouseButtonRelease, grip + QPointF(0, 40));
    const int finalLevel = state.in(1).level;
    QCOMPARE(state.in(4).level, finalLevel); // the model follows every step
    QVERIFY(sink.frames.size() <= 8);
    // The latest level reaches the channel and every member once the wire is free.
    auto frameFor = [finalLevel](int c) {
        return QStringLiteral("%A,01,%1,00,%2,")
            .arg(c, 2, 10, QLatin1Char('0'))
            .arg(QString::number(finalLevel, 16).toUpper().rightJustified(2, QLatin1Char('0')));
    };
    const QStringList tail = {frameFor(1), frameFor(2), frameFor(3), frameFor(4)};
    QTRY_COMPARE(bodies(sink).mid(bodies(sink).size() - 4), tail);
}

void TestStrips::reportsMoveFadersAndLightMeters() {
    QWidget host;
    auto* strip = new InputStrip(state, sink, 0, &host);
    strip->setGeometry(0, 0, 150, 700);
    strip->refresh();
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    ReportDispatcher dispatcher(state);
    // Input channel c gets level 20 + c from this report.
    const std::string levels = test::levelsReport(0, 1);

    state.link.linkOnline = false;
    DispatchResult r = dispatcher.dispatch(levels, Clock::now());
    QVERIFY(!r.moveFaders);
    QCOMPARE(strip->fader()->position(), 10);

    state.link.linkOnline = true;
    r = dispatcher.dispatch(levels, Clock::now());
    QVERIFY(r.moveFaders);
    strip->refreshFader();
    QCOMPARE(strip->fader()->position(), 70 - 21);

    // A report while the user holds the fader does not yank it away.
    FaderCtrl* f = strip->fader();
    const QPointF grip(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, grip);
    sendMouse(f, QEvent::MouseMove, grip + QPointF(0, 30));
    const int held = f->position();
    dispatcher.dispatch(test::levelsReport(10, 2), Clock::now());
    strip->refreshFader();
    QCOMPARE(f->position(), held);
    sendMouse(f, QEvent::MouseButtonRelease, grip + QPointF(0, 30));

    // Status report: meter value clamped for display, state words from channelOpen / lastOpen.
    std::vector<int> status(22, 0);
    status[0] = 90;
    status[20] = 0x01;
    status[21] = 1;
    r = dispatcher.dispatch(test::statusReport(status), Clock::now());
    QCOMPARE(r.kind, ReportKind::Status);
    strip->refreshMeters();
    QCOMPARE(strip->meter()->level(0), 70.0);
    auto* word = strip->findChild<ImageButton*>("stateButton");
    QVERIFY(word->isOn());
    QCOMPARE(word->text(), QStringLiteral("ACTIVE"));
    QCOMPARE(strip->findChild<ImageButton*>("lastKeepButton")->text(), QStringLiteral("Last keep"));
    status[0] = 5;
    status[20] = 0;
    dispatcher.dispatch(test::statusReport(status), Clock::now());
    strip->refreshMeters();
    QCOMPARE(strip->meter()->level(0), 0.0);
    QCOMPARE(word->text(), QStringLiteral("WAITING"));
    strip->setLanguage(2);
    QCOMPARE(word->text(), QStringLiteral("通道关闭"));
}

void TestStrips::stripLayoutFollowsWidth() {
    QWidget host;
    auto* strip = new InputStrip(state, sink, 0, &host);
    host.resize(400, 800);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    for (int w : {150, 183, 250}) {
        strip->setGeometry(0, 0, w, 700);
        const QRect eq = strip->thumbnail()->geometry();
        QCOMPARE(eq.x(), 4);
        QCOMPARE(eq.width(), w - 8);
        const QRect mute = strip->muteButton()->geometry();
        QVERIFY(std::abs(mute.center().x() - w / 2) <= 1);
        QCOMPARE(mute.y(), 520);
        const QRect fader = strip->fader()->QWidget::geometry();
        const QRect meter = strip->meter()->geometry();
        QCOMPARE(meter.x(), fader.right() + 2); // one free pixel between them
        const int pairCentre = (fader.left() + meter.right()) / 2;
        QVERIFY(std::abs(pairCentre - w / 2) <= 1);
        QCOMPARE(fader.y(), 290);
    }
}

void TestStrips::lineInputStripsHideAutomixerControls() {
    QWidget host;
    auto* strip = new InputStrip(state, sink, 8, &host);
    strip->setGeometry(0, 0, 150, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    strip->refresh();
    for (const char* name : {"priorityButton", "phantomButton", "stateButton", "compButton"})
        QVERIFY2(!strip->findChild<QWidget*>(name)->isVisible(), name);
    auto* gain = strip->findChild<DropList*>("gainList");
    QCOMPARE(gain->count(), 2);
    QCOMPARE(gain->itemText(1), QStringLiteral("10 dB"));
    strip->bindTo(1);
    QCOMPARE(gain->count(), 4);
    QVERIFY(strip->findChild<QWidget*>("priorityButton")->isVisible());
}

void TestStrips::danteConflictUndoesTheChoice() {
    QWidget host;
    auto* strip = new InputStrip(state, sink, 2, &host);
    strip->setGeometry(0, 0, 150, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    state.in(7).danteSource = 2;
    auto* source = strip->findChild<DropList*>("sourceList");
    emit source->itemChosen(source->id(), 2);
    QCOMPARE(state.in(3).danteSource, 0);
    QCOMPARE(source->selection(), 0);
    QVERIFY(sink.frames.empty());
    QTRY_VERIFY(host.findChild<QMessageBox*>("danteConflictMessage"));
    auto* box = host.findChild<QMessageBox*>("danteConflictMessage");
    QCOMPARE(box->text(), QString::fromUtf8("已经设了Dante输入源"));
    box->close();
}

void TestStrips::outputStripEdits() {
    QWidget host;
    auto* strip = new OutputStrip(state, sink, 7, &host);
    strip->setGeometry(0, 0, 150, 700);
    strip->refresh();
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    // Dragging stores; only the release sends.
    FaderCtrl* f = strip->fader();
    const QPointF grip(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, grip);
    sendMouse(f, QEvent::MouseMove, grip - QPointF(0, 400));
    QCOMPARE(state.out(8).level, 70);
    QVERIFY(sink.frames.empty());
    sendMouse(f, QEvent::MouseButtonRelease, grip - QPointF(0, 400));
    QCOMPARE(bodies(sink), QStringList({"%A,01,14,00,46,"}));

    sink.frames.clear();
    QCOMPARE(strip->lineButton()->text(), QStringLiteral("MIC"));
    click(strip->lineButton());
    QCOMPARE(strip->lineButton()->text(), QStringLiteral("LINE"));
    strip->setLanguage(2);
    QCOMPARE(strip->lineButton()->text(), QStringLiteral("LINE"));
    DropList* delay = strip->delayList();
    QCOMPARE(delay->count(), 200);
    emit delay->itemChosen(delay->id(), 199);
    QCOMPARE(state.out(8).outSwitchJ, 199);
    QCOMPARE(delay->text(), QStringLiteral("99.5 ms"));
    QCOMPARE(bodies(sink), QStringList({"%I,01,08,01,", "%J,01,08,01,C7,"}));
    // A language switch keeps the chosen delay.
    strip->setLanguage(1);
    QCOMPARE(delay->selection(), 199);

    QSignalSpy detail(strip, &OutputStrip::detailRequested);
    click(strip->findChild<ImageButton*>("limiterButton"));
    QCOMPARE(detail.count(), 1);
    QCOMPARE(detail.last().at(1).toInt(), 1);
}

void TestStrips::phantomPageTogglesChannels() {
    QWidget host;
    auto* page = new PhantomPage(state, sink, &host);
    page->setGeometry(0, 0, 1400, 700);
    page->refresh();
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(page->button(9)->pos(), QPoint(200, 200));
    QCOMPARE(page->button(0)->text(), QStringLiteral("CH 1"));
    click(page->button(1));
    click(page->button(8));
    QVERIFY(page->button(8)->isOn());
    QCOMPARE(state.in(9).phantom, 1);
    // Channel 9's frame still carries only the mask of channels 1..8.
    QCOMPARE(bodies(sink), QStringList({"%O,01,02,00,02,00,", "%O,01,09,00,02,00,"}));
    auto* title = page->findChild<QWidget*>("phantomTitle");
    QCOMPARE(title->x(), 1400 / 3);
}

void TestStrips::groupPageSelectionAndRefusal() {
    QWidget host;
    auto* page = new GroupPage(state, &host);
    page->setGeometry(0, 0, 1400, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QSignalSpy changed(page, &GroupPage::groupsChanged);

    // Nothing selected: member buttons do nothing.
    click(page->findChild<ImageButton*>("controlInput5"));
    QCOMPARE(changed.count(), 0);

    click(page->findChild<ImageButton*>("controlSelect1"));
    click(page->findChild<ImageButton*>("controlSelect2"));
    QVERIFY(!page->findChild<ImageButton*>("controlSelect1")->isOn());
    QVERIFY(page->findChild<ImageButton*>("controlSelect2")->isOn());
    QCOMPARE(page->selectedControlGroup(), 1);

    click(page->findChild<ImageButton*>("controlInput5"));
    click(page->findChild<ImageButton*>("controlOutput3")); // refused beside an input
    QVERIFY(page->findChild<ImageButton*>("controlInput5")->isOn());
    QVERIFY(!page->findChild<ImageButton*>("controlOutput3")->isOn());
    QCOMPARE(state.controlGroups[1][cg::kMemberCount], 1);
    click(page->findChild<ImageButton*>(QStringLiteral("linkFlag%1").arg(cg::kLinkGain)));
    QCOMPARE(state.controlGroups[1][cg::kLinkGain], 1);
    QCOMPARE(changed.count(), 2);
    // Pressing the selected group again deselects it.
    click(page->findChild<ImageButton*>("controlSelect2"));
    QCOMPARE(page->selectedControlGroup(), -1);

    click(page->findChild<ImageButton*>("muteSelect4"));
    click(page->findChild<ImageButton*>("muteOutput2"));
    QCOMPARE(state.muteGroups[3][19], 1);
    QVERIFY(sink.frames.empty()); // groups are never sent by themselves
}

void TestStrips::sidePanelClearsMutes() {
    EditController edits(state, sink);
    NavigationModel nav;
    QWidget host; // after the navigation: the panel leaves it when the host goes
    auto* panel = new SidePanel(edits, nav, &host);
    panel->setGeometry(0, 0, 150, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    click(panel->findChild<ImageButton*>("bus3"));
    QCOMPARE(nav.bus(), 5); // AUX3
    click(panel->findChild<ImageButton*>("viewGroup2"));
    QCOMPARE(nav.viewedGroup(), 2);
    click(panel->findChild<ImageButton*>("viewGroup2"));
    QCOMPARE(nav.viewedGroup(), 0);

    state.in(5).mute = 1;
    state.out(2).mute = 1;
    click(panel->findChild<ImageButton*>("clearMuteButton"));
    QCOMPARE(state.in(5).mute, 0);
    QCOMPARE(state.out(2).mute, 0);
    QCOMPARE(sink.frames.size(), std::size_t(26));
    sink.frames.clear();
    state.in(1).solo = 1;
    click(panel->findChild<ImageButton*>("clearSoloButton"));
    QCOMPARE(state.in(1).solo, 0);
    QCOMPARE(sink.frames.size(), std::size_t(6));
}

void TestStrips::nameMenuRenamesAndSendsV() {
    QWidget host;
    auto* strip = new InputStrip(state, sink, 1, &host);
    strip->setGeometry(0, 0, 150, 700);
    strip->refresh();
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    auto* nameButton = strip->findChild<ImageButton*>("nameButton");
    QCOMPARE(nameButton->text(), QStringLiteral("CH 2"));
    // Menu, NAME, dialog, typed text, OK; the dialog that took the text, or null.
    auto rename = [&](const QString& typed) -> QDialog* {
        click(nameButton);
        QMenu* menu = nullptr;
        if (!QTest::qWaitFor([&] { return (menu = strip->findChild<QMenu*>("stripMenu")) != nullptr; }))
            return nullptr;
        menu->findChild<QAction*>("actionName")->trigger();
        menu->close();
        QDialog* dialog = nullptr;
        if (!QTest::qWaitFor([&] { return (dialog = strip->findChild<QDialog*>("nameDialog")) != nullptr; }))
            return nullptr;
        auto* field = dialog->findChild<QLineEdit*>("nameField");
        if (field->text() != nameButton->text()) return nullptr;
        field->setText(typed);
        QMetaObject::invokeMethod(dialog, "accept");
        return dialog;
    };
    QVERIFY(rename(QString::fromUtf8("讲台")));
    QCOMPARE(nameButton->text(), QString::fromUtf8("讲台"));
    QCOMPARE(nameView(state.in(2).name), std::string_view("\xBD\xB2\xCC\xA8"));
    QCOMPARE(sink.frames.size(), std::size_t(1));
    QVERIFY(sink.frames[0].inPieces);
    QCOMPARE(QString::fromStdString(sink.frames[0].text.substr(0, 17)), QStringLiteral("%V,01,02,8BB253F0"));
    // A name too long for the device is refused: nothing stored, nothing sent.
    QDialog* refused = rename(QStringLiteral("TOOLONGNAME"));
    QVERIFY(refused);
    refused->reject();
    QCOMPARE(nameView(state.in(2).name), std::string_view("\xBD\xB2\xCC\xA8"));
    QCOMPARE(sink.frames.size(), std::size_t(1));
}

QTEST_MAIN(TestStrips)
#include "test_strips.moc"
