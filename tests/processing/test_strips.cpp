#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QtTest>

#include "../binding/page_rig.h"
#include "../reports/report_text.h"
#include "binding/field_ids.h"
#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/response_view.h"
#include "controls/skin_label.h"
#include "link/edit_sink.h"
#include "link/reports.h"
#include "mixing/groups.h"
#include "pages/mixing/group_page.h"
#include "pages/mixing/side_panel.h"
#include "pages/processing/input_strip.h"
#include "pages/processing/output_strip.h"
#include "pages/processing/phantom_page.h"
#include "pages/processing/strip_support.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

using test::click;
using test::sendMouse;

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
    void init() { rig = std::make_unique<test::PageRig>(); }
    void cleanup() { rig.reset(); }

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
    void levelsReportMovesOutputMuteAndLineCaption();
    void outputMuteTogglesFromTheState();
    void thumbnailClickOpensThePeqPage();
    void outputStripShowsBothMeters();
    void detailStripFollowsItsNewChannel();

private:
    std::unique_ptr<test::PageRig> rig;
};

void TestStrips::faderDragSendsLevel() {
    QWidget host;
    auto* strip = new InputStrip(rig->context(), 2, &host);
    strip->setGeometry(0, 0, 150, 700);
    strip->refresh();
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QSignalSpy edited(&rig->edits, &EditController::edited);

    FaderCtrl* f = strip->fader();
    QCOMPARE(f->position(), 10); // level 60 = 0 dB
    const QPointF grip(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, grip);
    sendMouse(f, QEvent::MouseMove, grip - QPointF(0, 400));
    // While dragging every step already goes out.
    QCOMPARE(rig->state.in(3).level, 70);
    QVERIFY(!rig->sink.frames.empty());
    QCOMPARE(QString::fromStdString(body(rig->sink.frames.back())), QStringLiteral("%A,01,03,00,46,"));
    sendMouse(f, QEvent::MouseButtonRelease, grip - QPointF(0, 400));
    QCOMPARE(QString::fromStdString(body(rig->sink.frames.back())), QStringLiteral("%A,01,03,00,46,"));
    QVERIFY(validateFrame(rig->sink.frames.back().text));
    // The readout hears which field the hand moved.
    QCOMPARE(edited.last().at(0).value<FieldId>(), inputField(3, "level"));

    // Offline the drag only changes the model.
    rig->state.link.linkOnline = false;
    rig->sink.frames.clear();
    const QPointF top(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, top);
    sendMouse(f, QEvent::MouseMove, top + QPointF(0, 1000));
    sendMouse(f, QEvent::MouseButtonRelease, top + QPointF(0, 1000));
    QCOMPARE(rig->state.in(3).level, 0);
    QVERIFY(rig->sink.frames.empty());
}

void TestStrips::volumeLinkedMuteReachesEveryMember() {
    QWidget host;
    std::vector<InputStrip*> strips;
    for (int k = 0; k < 4; ++k) {
        auto* s = new InputStrip(rig->context(), k, &host);
        s->setGeometry(k * 152, 0, 150, 700);
        strips.push_back(s);
    }
    for (int c : {1, 3, 4})
        toggleControlMember(rig->state, 0, c - 1);
    toggleLinkFlag(rig->state, 0, cg::kLinkVolume);
    for (InputStrip* s : strips)
        s->refresh();
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    click(strips[2]->muteButton());
    QVERIFY(strips[0]->muteButton()->isOn());
    QVERIFY(!strips[1]->muteButton()->isOn());
    QVERIFY(strips[2]->muteButton()->isOn());
    QVERIFY(strips[3]->muteButton()->isOn());
    QCOMPARE(bodies(rig->sink), QStringList({"%A,01,03,01,3C,", "%A,01,01,01,3C,", "%A,01,04,01,3C,"}));
    QCOMPARE(rig->sink.frames[1].pauseAfter, kMemberPause);
    QCOMPARE(rig->sink.frames[2].pauseAfter, kMemberPause);

    // Without the flag the mute stays on its own channel.
    toggleLinkFlag(rig->state, 0, cg::kLinkVolume);
    rig->sink.frames.clear();
    click(strips[2]->muteButton());
    QVERIFY(!strips[2]->muteButton()->isOn());
    QVERIFY(strips[0]->muteButton()->isOn());
    QCOMPARE(bodies(rig->sink), QStringList({"%A,01,03,00,3C,"}));
}

void TestStrips::fastLinkedDragDoesNotFloodTheWire() {
    QWidget host;
    std::vector<InputStrip*> strips;
    for (int k = 0; k < 4; ++k) {
        auto* s = new InputStrip(rig->context(), k, &host);
        s->setGeometry(k * 152, 0, 150, 700);
        strips.push_back(s);
    }
    for (int c = 1; c <= 4; ++c)
        toggleControlMember(rig->state, 0, c - 1);
    toggleLinkFlag(rig->state, 0, cg::kLinkVolume);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    // Forty moves at once. The strip hands every step to the edit operation (the paced sender
    // keeps only the latest of each channel); the members' faders follow every step.
    FaderCtrl* f = strips[0]->fader();
    const QPointF grip(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, grip);
    for (int i = 1; i <= 40; ++i)
        sendMouse(f, QEvent::MouseMove, grip + QPointF(0, (i % 2 ? 1 : -1) * i));
    sendMouse(f, QEvent::MouseButtonRelease, grip + QPointF(0, 40));
    const int finalLevel = rig->state.in(1).level;
    QCOMPARE(rig->state.in(4).level, finalLevel);
    for (InputStrip* s : strips)
        QCOMPARE(s->fader()->position(), 70 - finalLevel);
    // The latest level is the last thing queued for the channel and every member.
    auto frameFor = [finalLevel](int c) {
        return QStringLiteral("%A,01,%1,00,%2,")
            .arg(c, 2, 10, QLatin1Char('0'))
            .arg(QString::number(finalLevel, 16).toUpper().rightJustified(2, QLatin1Char('0')));
    };
    const QStringList tail = {frameFor(1), frameFor(2), frameFor(3), frameFor(4)};
    QCOMPARE(bodies(rig->sink).mid(bodies(rig->sink).size() - 4), tail);
}

void TestStrips::reportsMoveFadersAndLightMeters() {
    QWidget host;
    auto* strip = new InputStrip(rig->context(), 0, &host);
    strip->setGeometry(0, 0, 150, 700);
    strip->refresh();
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    ReportDispatcher dispatcher(rig->state);
    // Input channel c gets level 20 + c from this report.
    const std::string levels = test::levelsReport(0, 1);

    rig->state.link.linkOnline = false;
    DispatchResult r = rig->report(dispatcher, levels);
    QVERIFY(!r.moveFaders);
    QCOMPARE(strip->fader()->position(), 10);

    rig->state.link.linkOnline = true;
    r = rig->report(dispatcher, levels);
    QVERIFY(r.moveFaders);
    QCOMPARE(strip->fader()->position(), 70 - 21);

    // A report while the user holds the fader does not yank it away.
    FaderCtrl* f = strip->fader();
    const QPointF grip(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, grip);
    sendMouse(f, QEvent::MouseMove, grip + QPointF(0, 30));
    const int held = f->position();
    rig->report(dispatcher, test::levelsReport(10, 2));
    QCOMPARE(f->position(), held);
    sendMouse(f, QEvent::MouseButtonRelease, grip + QPointF(0, 30));

    // Status report: meter value clamped for display, rig->state words from channelOpen / lastOpen.
    std::vector<int> status(22, 0);
    status[0] = 90;
    status[20] = 0x01;
    status[21] = 1;
    r = rig->report(dispatcher, test::statusReport(status));
    QCOMPARE(r.kind, ReportKind::Status);
    strip->refreshMeters();
    QCOMPARE(strip->meter()->level(0), 70.0);
    auto* word = strip->findChild<ImageButton*>("stateButton");
    QVERIFY(word->isOn());
    QCOMPARE(word->text(), QStringLiteral("ACTIVE"));
    QCOMPARE(strip->findChild<ImageButton*>("lastKeepButton")->text(), QStringLiteral("Last keep"));
    status[0] = 5;
    status[20] = 0;
    rig->report(dispatcher, test::statusReport(status));
    strip->refreshMeters();
    QCOMPARE(strip->meter()->level(0), 0.0);
    QCOMPARE(word->text(), QStringLiteral("WAITING"));
    strip->setLanguage(2);
    QCOMPARE(word->text(), QStringLiteral("通道关闭"));
}

void TestStrips::stripLayoutFollowsWidth() {
    QWidget host;
    auto* strip = new InputStrip(rig->context(), 0, &host);
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
    auto* strip = new InputStrip(rig->context(), 8, &host);
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
    auto* strip = new InputStrip(rig->context(), 2, &host);
    strip->setGeometry(0, 0, 150, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    rig->state.in(7).danteSource = 2;
    auto* source = strip->findChild<DropList*>("sourceList");
    emit source->itemChosen(source->id(), 2);
    QCOMPARE(rig->state.in(3).danteSource, 0);
    QCOMPARE(source->selection(), 0);
    QVERIFY(rig->sink.frames.empty());
    QTRY_VERIFY(host.findChild<QMessageBox*>("danteConflictMessage"));
    auto* box = host.findChild<QMessageBox*>("danteConflictMessage");
    QCOMPARE(box->text(), QString::fromUtf8("已经设了Dante输入源"));
    box->close();
}

void TestStrips::outputStripEdits() {
    QWidget host;
    auto* strip = new OutputStrip(rig->context(), 7, &host);
    strip->setGeometry(0, 0, 150, 700);
    strip->refresh();
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    // Dragging stores; only the release sends.
    FaderCtrl* f = strip->fader();
    const QPointF grip(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, grip);
    sendMouse(f, QEvent::MouseMove, grip - QPointF(0, 400));
    QCOMPARE(rig->state.out(8).level, 70);
    QVERIFY(rig->sink.frames.empty());
    sendMouse(f, QEvent::MouseButtonRelease, grip - QPointF(0, 400));
    QCOMPARE(bodies(rig->sink), QStringList({"%A,01,14,00,46,"}));

    rig->sink.frames.clear();
    QCOMPARE(strip->lineButton()->text(), QStringLiteral("MIC"));
    click(strip->lineButton());
    QCOMPARE(strip->lineButton()->text(), QStringLiteral("LINE"));
    strip->setLanguage(2);
    QCOMPARE(strip->lineButton()->text(), QStringLiteral("LINE"));
    DropList* delay = strip->delayList();
    QCOMPARE(delay->count(), 200);
    emit delay->itemChosen(delay->id(), 199);
    QCOMPARE(rig->state.out(8).outSwitchJ, 199);
    QCOMPARE(delay->text(), QStringLiteral("99.5 ms"));
    QCOMPARE(bodies(rig->sink), QStringList({"%I,01,08,01,", "%J,01,08,01,C7,"}));
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
    auto* page = new PhantomPage(rig->context(), &host);
    page->setGeometry(0, 0, 1400, 700);
    page->refresh();
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(page->button(9)->pos(), QPoint(200, 200));
    QCOMPARE(page->button(0)->text(), QStringLiteral("CH 1"));
    click(page->button(1));
    click(page->button(8));
    QVERIFY(page->button(8)->isOn());
    QCOMPARE(rig->state.in(9).phantom, 1);
    QCOMPARE(bodies(rig->sink).value(0), QStringLiteral("%O,01,02,00,02,00,"));
    // Channel 9's frame still carries only the mask of channels 1..8.
    QCOMPARE(bodies(rig->sink), QStringList({"%O,01,02,00,02,00,", "%O,01,09,00,02,00,"}));
    // The page switches one channel, even in a group with the 48V link on.
    toggleControlMember(rig->state, 0, 2);
    toggleControlMember(rig->state, 0, 3);
    toggleLinkFlag(rig->state, 0, cg::kLinkPhantom);
    click(page->button(2));
    QCOMPARE(rig->state.in(3).phantom, 1);
    QCOMPARE(rig->state.in(4).phantom, 0);
    QVERIFY(page->button(2)->isOn());
    // A report switching 48V moves the button too.
    rig->state.in(4).phantom = 1;
    rig->edits.announce(ChangeSet::everything());
    QVERIFY(page->button(3)->isOn());
    auto* title = page->findChild<QWidget*>("phantomTitle");
    QCOMPARE(title->x(), 1400 / 3);
}

void TestStrips::groupPageSelectionAndRefusal() {
    QWidget host;
    auto* page = new GroupPage(rig->context(), &host);
    page->setGeometry(0, 0, 1400, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QSignalSpy changed(&rig->edits, &EditController::changed);

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
    QCOMPARE(rig->state.controlGroups[1][cg::kMemberCount], 1);
    click(page->findChild<ImageButton*>(QStringLiteral("linkFlag%1").arg(cg::kLinkGain)));
    QCOMPARE(rig->state.controlGroups[1][cg::kLinkGain], 1);
    QCOMPARE(changed.count(), 2);
    // Pressing the selected group again deselects it.
    click(page->findChild<ImageButton*>("controlSelect2"));
    QCOMPARE(page->selectedControlGroup(), -1);

    click(page->findChild<ImageButton*>("muteSelect4"));
    click(page->findChild<ImageButton*>("muteOutput2"));
    QCOMPARE(rig->state.muteGroups[3][19], 1);
    QVERIFY(rig->sink.frames.empty()); // groups are never sent by themselves

    // The buttons follow the selected group's fields when something else changes them (a scene
    // load), and a membership change reaches the other views through the change notification.
    click(page->findChild<ImageButton*>("controlSelect3"));
    QSignalSpy notified(&rig->edits, &EditController::changed);
    rig->state.controlGroups[2][7] = 1;
    rig->state.controlGroups[2][cg::kMemberCount] = 1;
    rig->edits.announce(ChangeSet::everything());
    QVERIFY(page->findChild<ImageButton*>("controlInput8")->isOn());
    QCOMPARE(page->findChild<SkinLabel*>("memberCount")->text(), QStringLiteral("MEMBERS: 1"));
    click(page->findChild<ImageButton*>("controlInput9"));
    QCOMPARE(notified.count(), 2);
    const ChangeSet last = notified.last().at(0).value<ChangeSet>();
    QVERIFY(last.contains(fieldId("controlGroups[3][9]")));
    QVERIFY(last.contains(fieldId("controlGroups[3][27]")));
    QCOMPARE(page->findChild<SkinLabel*>("memberCount")->text(), QStringLiteral("MEMBERS: 2"));
    QVERIFY(rig->sink.frames.empty());
}

void TestStrips::sidePanelClearsMutes() {
    NavigationModel& nav = rig->nav;
    QWidget host;
    auto* panel = new SidePanel(rig->edits, nav, &host);
    panel->setGeometry(0, 0, 150, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    // A group gains its first member elsewhere (the GROUPS page): its VIEW button wakes up.
    auto* view1 = panel->findChild<ImageButton*>("viewGroup1");
    QVERIFY(view1->isGrayed());
    ChangeSet joined;
    toggleControlMember(rig->state, 0, 4, &joined);
    rig->edits.announce(joined);
    QVERIFY(!view1->isGrayed());
    click(panel->findChild<ImageButton*>("bus3"));
    QCOMPARE(nav.bus(), 5); // AUX3
    click(panel->findChild<ImageButton*>("viewGroup2"));
    QCOMPARE(nav.viewedGroup(), 2);
    click(panel->findChild<ImageButton*>("viewGroup2"));
    QCOMPARE(nav.viewedGroup(), 0);

    rig->state.in(5).mute = 1;
    rig->state.out(2).mute = 1;
    click(panel->findChild<ImageButton*>("clearMuteButton"));
    QCOMPARE(rig->state.in(5).mute, 0);
    QCOMPARE(rig->state.out(2).mute, 0);
    QCOMPARE(rig->sink.frames.size(), std::size_t(28)); // 26 A, and y, v after the returns' A
    rig->sink.frames.clear();
    rig->state.in(1).solo = 1;
    click(panel->findChild<ImageButton*>("clearSoloButton"));
    QCOMPARE(rig->state.in(1).solo, 0);
    QCOMPARE(rig->sink.frames.size(), std::size_t(6));
}

void TestStrips::nameMenuRenamesAndSendsV() {
    QWidget host;
    auto* strip = new InputStrip(rig->context(), 1, &host);
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
    QCOMPARE(nameView(rig->state.in(2).name), std::string_view("\xBD\xB2\xCC\xA8"));
    QCOMPARE(rig->sink.frames.size(), std::size_t(1));
    QVERIFY(rig->sink.frames[0].inPieces);
    QCOMPARE(QString::fromStdString(rig->sink.frames[0].text.substr(0, 17)),
             QStringLiteral("%V,01,02,8BB253F0"));
    // A name too long for the device is refused: nothing stored, nothing sent.
    QDialog* refused = rename(QStringLiteral("TOOLONGNAME"));
    QVERIFY(refused);
    refused->reject();
    QCOMPARE(nameView(rig->state.in(2).name), std::string_view("\xBD\xB2\xCC\xA8"));
    QCOMPARE(rig->sink.frames.size(), std::size_t(1));
}

void TestStrips::levelsReportMovesOutputMuteAndLineCaption() {
    QWidget host;
    std::vector<OutputStrip*> strips;
    for (int k = 0; k < 4; ++k) {
        auto* s = new OutputStrip(rig->context(), k, &host);
        s->setGeometry(k * 152, 0, 150, 700);
        strips.push_back(s);
    }
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    for (OutputStrip* s : strips) {
        QVERIFY(!s->muteButton()->isOn());
        QCOMPARE(s->lineButton()->text(), QStringLiteral("MIC"));
    }
    // Output o: level 10 + o, muted when o is odd, line level when o is even.
    ReportDispatcher dispatcher(rig->state);
    QVERIFY(rig->report(dispatcher, test::levelsReport(10, 1)).moveFaders);
    for (int o = 1; o <= 4; ++o) {
        OutputStrip* s = strips[static_cast<std::size_t>(o - 1)];
        QCOMPARE(s->fader()->position(), 70 - (10 + o));
        QCOMPARE(s->muteButton()->isOn(), o % 2 == 1);
        QCOMPARE(s->lineButton()->text(), o % 2 == 0 ? QStringLiteral("LINE") : QStringLiteral("MIC"));
        QCOMPARE(s->lineButton()->isOn(), o % 2 == 0);
    }
    QVERIFY(rig->sink.frames.empty()); // a report sends nothing back
}

void TestStrips::outputMuteTogglesFromTheState() {
    QWidget host;
    auto* strip = new OutputStrip(rig->context(), 0, &host);
    strip->setGeometry(0, 0, 150, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    // The device muted output 1 while the link was down: the state knows, the button shows unmuted.
    rig->state.link.linkOnline = false;
    ReportDispatcher dispatcher(rig->state);
    rig->report(dispatcher, test::levelsReport(10, 1));
    QCOMPARE(rig->state.out(1).mute, 1);
    QVERIFY(!strip->muteButton()->isOn());
    rig->state.link.linkOnline = true;
    // The first click unmutes (A 13 with mute 0, level 11), it does not send mute 1 again.
    click(strip->muteButton());
    QCOMPARE(rig->state.out(1).mute, 0);
    QCOMPARE(bodies(rig->sink), QStringList({"%A,01,0D,00,0B,"}));
    QVERIFY(!strip->muteButton()->isOn());
    click(strip->muteButton());
    QCOMPARE(bodies(rig->sink).last(), QStringLiteral("%A,01,0D,01,0B,"));
    QVERIFY(strip->muteButton()->isOn());
    // The same for the input strips' toggles.
    auto* input = new InputStrip(rig->context(), 1, &host);
    input->setGeometry(160, 0, 150, 700);
    input->show();
    rig->state.in(2).mute = 1;
    rig->sink.frames.clear();
    click(input->muteButton());
    QCOMPARE(rig->state.in(2).mute, 0);
    QCOMPARE(bodies(rig->sink).value(0).left(12), QStringLiteral("%A,01,02,00,"));
}

void TestStrips::thumbnailClickOpensThePeqPage() {
    QWidget host;
    auto* strip = new InputStrip(rig->context(), 4, &host);
    strip->setGeometry(0, 0, 150, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QSignalSpy detail(strip, &InputStrip::detailRequested);
    click(strip->thumbnail());
    QCOMPARE(detail.count(), 1);
    QCOMPARE(detail.last().at(0).toInt(), 4);
    QCOMPARE(detail.last().at(1).toInt(), int(InputStrip::kDetailPeq));
    // A press that leaves the view before the release is no click.
    sendMouse(strip->thumbnail(), QEvent::MouseButtonPress, QPointF(10, 10));
    sendMouse(strip->thumbnail(), QEvent::MouseButtonRelease, QPointF(-30, 10));
    QCOMPARE(detail.count(), 1);
    // The thumbnail cannot be edited: nothing reached the device.
    QVERIFY(rig->sink.frames.empty());
    click(strip->findChild<ImageButton*>("compButton"));
    QCOMPARE(detail.last().at(1).toInt(), int(InputStrip::kDetailDynamics));
}

void TestStrips::outputStripShowsBothMeters() {
    QWidget host;
    auto* strip = new OutputStrip(rig->context(), 1, &host);
    auto* unmetered = new OutputStrip(rig->context(), 5, &host);
    strip->setGeometry(0, 0, 150, 700);
    unmetered->setGeometry(160, 0, 150, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(strip->meter(0)->objectName(), QStringLiteral("meter"));
    QCOMPARE(strip->meter(1)->objectName(), QStringLiteral("meter2"));
    const QRect a = strip->meter(0)->geometry(), b = strip->meter(1)->geometry();
    QVERIFY(b.left() > a.right());
    QCOMPARE(a.top(), b.top());
    // Together they take the place of one input meter, so the strips' meters line up.
    QCOMPARE(b.right() - a.left() + 1, kStripMeterWidth);
    QCOMPARE(a.left(), strip->fader()->QWidget::geometry().right() + 2);

    std::vector<int> status(22, 0);
    status[13] = 50; // output 2
    status[17] = 40; // output 6: not metered by the device
    ReportDispatcher dispatcher(rig->state);
    dispatcher.dispatch(test::statusReport(status), Clock::now());
    strip->refreshMeters();
    unmetered->refreshMeters();
    QCOMPARE(strip->meter(0)->level(0), 50.0);
    QCOMPARE(strip->meter(1)->level(0), 50.0);
    QCOMPARE(unmetered->meter(0)->level(0), 0.0);
    QCOMPARE(unmetered->meter(1)->level(0), 0.0);
}

void TestStrips::detailStripFollowsItsNewChannel() {
    QWidget host;
    auto* strip = new InputStrip(rig->context(), 0, &host);
    strip->setGeometry(0, 0, 150, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    rig->state.in(6).level = 20;
    rig->state.in(6).mute = 1;
    strip->bindTo(5);
    QCOMPARE(strip->fader()->position(), 50);
    QVERIFY(strip->muteButton()->isOn());
    QCOMPARE(strip->findChild<ImageButton*>("nameButton")->text(), QStringLiteral("CH 6"));
    // Notifications of the channel it showed before no longer move it; its new channel's do.
    rig->state.in(1).level = 0;
    ChangeSet old;
    old.add(inputField(1, "level"));
    rig->edits.announce(old);
    QCOMPARE(strip->fader()->position(), 50);
    // An equaliser edit elsewhere (the PEQ page) redraws the thumbnail of the channel shown.
    const auto gainOf = [&] { return strip->thumbnail()->bands().at(0).gain; };
    const double flat = gainOf();
    rig->edits.edit(fieldId("input[6].peq[1].bandGain"), 300);
    QVERIFY(gainOf() > flat);
    rig->edits.edit(fieldId("input[1].peq[1].bandGain"), 0);
    QVERIFY(gainOf() > flat);
    rig->sink.frames.clear();
    click(strip->muteButton());
    QCOMPARE(rig->state.in(6).mute, 0);
    QCOMPARE(rig->state.in(1).mute, 0);
    QCOMPARE(bodies(rig->sink).value(0).left(12), QStringLiteral("%A,01,06,00,"));
}

QTEST_MAIN(TestStrips)
#include "test_strips.moc"
