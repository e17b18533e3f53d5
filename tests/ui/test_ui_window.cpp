// The main window against an in-process device simulator: layout and navigation, the readout and
// its typed entry, connecting with the popup and the status label, the address field, and the
// orderly close, also from SIGTERM.
//
// The link's headers go first: Qt's keyword macros must not be defined while they are read.
#include "link/device_link.h"
#include "sim/simulator.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>
#include <unistd.h>

#include "../reports/report_text.h"
#include "app/main_window.h"
#include "app/readout_panel.h"
#include "binding/edit_controller.h"
#include "controls/fader_ctrl.h"
#include "controls/level_meter.h"
#include "controls/response_view.h"
#include "link/report_changes.h"
#include "mixing/groups.h"
#include "pages/admin/device_settings_page.h"
#include "pages/processing/input_strip.h"
#include "pages/processing/output_strip.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "widgets/busy_popup.h"
#include "widgets/nav_button.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

// Unique per test process, so parallel test binaries never share a port.
const std::uint16_t kPort = static_cast<std::uint16_t>(40000 + getpid() % 20000);

struct Rig {
    QTemporaryDir dir;
    Profile profile{dir.path()};
    DeviceState state;
    std::unique_ptr<LinkAdapter> link;
    std::unique_ptr<MainWindow> window;

    explicit Rig(const std::string& host, std::chrono::milliseconds retry = std::chrono::milliseconds(400),
                 std::chrono::milliseconds watchdog = std::chrono::milliseconds(10000)) {
        loadFactoryDefaults(state, 1);
        state.link.hostAddress = host;
        state.link.udpPort = kPort;
        LinkOptions lo;
        lo.bindAddress = "127.0.0.1";
        lo.timing.startWait = std::chrono::milliseconds(30);
        lo.timing.restartWait = std::chrono::milliseconds(60);
        lo.timing.settleWait = std::chrono::milliseconds(30);
        lo.timing.retryInterval = retry;
        lo.timing.watchdog = watchdog;
        link = std::make_unique<LinkAdapter>(state, lo);
        window = std::make_unique<MainWindow>(state, *link, profile);
        window->resize(1600, 1000);
        window->show();
    }
    template <class T> T* find(const char* name) const { return window->findChild<T*>(name); }
    NavButton* button(const char* name) const { return find<NavButton>(name); }
    QString status() const { return find<QLabel>("statusLabel")->text(); }
    BusyPopup* popup() const { return window->deviceSettingsPage()->busyPopup(); }
    void pressConnect() {
        window->navigation().setTab(Tab::System);
        QTest::mouseClick(button("connectButton"), Qt::LeftButton);
    }
};

std::unique_ptr<sim::Simulator> startSimulator(int answerHandshake = 0, double silentAfter = -1) {
    sim::SimOptions o;
    o.bind = "127.0.0.2";
    o.port = kPort;
    o.meterHz = 20;
    o.answerHandshake = answerHandshake;
    o.silentAfterSeconds = silentAfter;
    auto s = std::make_unique<sim::Simulator>(o);
    std::string error;
    if (!s->start(error)) qFatal("simulator: %s", error.c_str());
    return s;
}

// What a strip's meter shows, whichever strip the build has.
double meterShown(QWidget* strip) {
    if (auto* m = strip->findChild<quorvel::LevelMeter*>()) return m->level(0);
    return 0;
}

InputStrip* inputStrip(const MainWindow& w, int k) {
    return qobject_cast<InputStrip*>(w.pages().inputStrip(k));
}
OutputStrip* outputStrip(const MainWindow& w, int k) {
    return qobject_cast<OutputStrip*>(w.pages().outputStrip(k));
}

QMessageBox* messageBox(const char* objectName) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == objectName && w->isVisible()) return qobject_cast<QMessageBox*>(w);
    return nullptr;
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void layoutMetrics() {
        QCOMPARE(MainWindow::stripWidthFor(1920), 182);
        QCOMPARE(MainWindow::stripWidthFor(1575), 150);
        QCOMPARE(MainWindow::stripWidthFor(1000), 150);
        QCOMPARE(MainWindow::pageHeightFor(1080), 860);
        QCOMPARE(MainWindow::pageHeightFor(919), 700);

        Rig r("127.0.0.2");
        MainWindow& w = *r.window;
        auto* scroll = w.scrollArea();
        w.resize(1900, 1100);
        QTRY_COMPARE(w.stripWidth(), MainWindow::stripWidthFor(scroll->width()));
        QTRY_COMPARE(w.pageHeight(), MainWindow::pageHeightFor(scroll->height()));
        const int W = w.stripWidth();
        QVERIFY(W > 150);
        QCOMPARE(inputStrip(w, 2)->geometry(), QRect(2 * (W + 2), MainWindow::kPageTop, W, w.pageHeight()));
        QCOMPARE(r.button("tabMode")->geometry(), QRect(2 * W, 120, W, 50));

        // A narrow, low window keeps the minimum strip and page sizes and scrolls instead.
        w.resize(900, 600);
        QTRY_COMPARE(w.stripWidth(), 150);
        QCOMPARE(w.pageHeight(), 700);
        QVERIFY(w.canvas()->width() >= 9 * 150 + 18 + 150);
        QVERIFY(w.canvas()->height() >= MainWindow::kPageTop + 700);
        QCOMPARE(inputStrip(w, 7)->height(), 700);

        // Taller only: the strip width stays, the pages follow the new height.
        w.resize(900, 1100);
        QTRY_COMPARE(w.pageHeight(), MainWindow::pageHeightFor(scroll->height()));
        QCOMPARE(w.stripWidth(), 150);
        QCOMPARE(inputStrip(w, 0)->height(), w.pageHeight());
    }

    void viewAndTabSwitching() {
        Rig r("127.0.0.2");
        MainWindow& w = *r.window;
        auto visible = [&](bool output, int from, int to) {
            for (int k = from; k <= to; ++k) {
                QWidget* s = output ? static_cast<QWidget*>(outputStrip(w, k - 1)) : inputStrip(w, k - 1);
                if (!s->isVisible()) return false;
            }
            return true;
        };
        auto hidden = [&](bool output, int from, int to) {
            for (int k = from; k <= to; ++k)
                if ((output ? static_cast<QWidget*>(outputStrip(w, k - 1)) : inputStrip(w, k - 1))
                        ->isVisible())
                    return false;
            return true;
        };
        QVERIFY(visible(false, 1, 8) && hidden(false, 9, 18));

        QTest::mouseClick(r.button("viewCh9to12"), Qt::LeftButton);
        QCOMPARE(w.navigation().view(), StripView::Ch9to12);
        QVERIFY(visible(false, 9, 12) && hidden(false, 1, 8) && hidden(false, 13, 18));
        QVERIFY(r.button("viewCh9to12")->isChecked() && !r.button("viewCh1to8")->isChecked());

        QTest::mouseClick(r.button("viewOutputs"), Qt::LeftButton);
        QVERIFY(visible(true, 1, 4) && hidden(true, 5, 8) && hidden(false, 1, 18));

        QTest::mouseClick(r.button("tabSystem"), Qt::LeftButton);
        QCOMPARE(w.navigation().tab(), Tab::System);
        QVERIFY(w.deviceSettingsPage()->isVisible() && hidden(true, 1, 8));
        QCOMPARE(w.deviceSettingsPage()->geometry(),
                 QRect(0, MainWindow::kPageTop, 9 * w.stripWidth() + 18, w.pageHeight()));
        QVERIFY(r.button("tabSystem")->isChecked() && !r.button("tabChannel")->isChecked());
        QTest::mouseClick(r.button("tabMatrix"), Qt::LeftButton);
        QVERIFY(w.pages().page(154)->isVisible() && !w.deviceSettingsPage()->isVisible());
        QTest::mouseClick(r.button("tabChannel"), Qt::LeftButton);
        QVERIFY(visible(true, 1, 4) && !w.pages().page(154)->isVisible()); // the view is remembered

        // Detail pages beside their detail strip.
        const int W = w.stripWidth();
        w.navigation().openDetail(DetailPage::Peq, 2);
        QCOMPARE(w.navigation().displayMode(), DisplayMode::InputDetail);
        QVERIFY(w.pages().detailInputStrip()->isVisible() &&
                qobject_cast<InputStrip*>(w.pages().detailInputStrip())->index() == 2);
        QCOMPARE(w.pages().page(150)->geometry(), QRect(W + 2, MainWindow::kPageTop, 7 * W, w.pageHeight()));
        w.navigation().openDetail(DetailPage::Geq, 1);
        QCOMPARE(w.pages().page(151)->geometry(), QRect(0, MainWindow::kPageTop, 8 * W, w.pageHeight()));
        QCOMPARE(w.pages().detailOutputStrip()->x(), 8 * W + 16);
        QVERIFY(!w.pages().page(150)->isVisible());

        // While a group's members are shown the view buttons do nothing.
        r.state.controlGroups[0][4] = 1; // channel 5
        w.navigation().viewGroup(1);
        QVERIFY(inputStrip(w, 4)->isVisible() && inputStrip(w, 4)->x() == 0 &&
                w.pages().page(152)->isVisible());
        QTest::mouseClick(r.button("viewCh1to8"), Qt::LeftButton);
        QVERIFY(!inputStrip(w, 0)->isVisible());
        QVERIFY(!r.button("viewCh1to8")->isChecked());
        w.navigation().viewGroup(0);
        QTest::mouseClick(r.button("viewCh1to8"), Qt::LeftButton);
        QVERIFY(visible(false, 1, 8));
    }

    void muteGroupButtonsSwitchTheirMembers() {
        Rig r("127.0.0.2");
        QCOMPARE(toggleMuteMember(r.state, 0, 2), ToggleResult::Added); // channel 3 in group 1
        QCOMPARE(toggleMuteMember(r.state, 1, 4), ToggleResult::Added); // channel 5 in group 2
        QTest::mouseClick(r.button("muteGroup1"), Qt::LeftButton);
        QCOMPARE(r.state.in(3).mute, 1);
        QCOMPARE(r.state.in(5).mute, 0);
        QTest::mouseClick(r.button("muteGroup1"), Qt::LeftButton);
        QCOMPARE(r.state.in(3).mute, 0);
    }

    void viewButtonsMirrorTheirStrips() {
        Rig r("127.0.0.2");
        MainWindow& w = *r.window;
        QCOMPARE(r.button("viewCh1to8")->thumbnail().size(), 8);
        QCOMPARE(r.button("viewCh9to12")->thumbnail().size(), 4);
        QCOMPARE(r.button("viewOutputs")->thumbnail().size(), 4);
        // A mute on a strip shows on its view button at once.
        w.navigation().showView(StripView::Ch1to8, w.navigation().bus(), Tab::Channel);
        QTest::mouseClick(inputStrip(w, 2)->findChild<QWidget*>("muteButton"), Qt::LeftButton);
        QCOMPARE(r.state.in(3).mute, 1);
        QVERIFY(r.button("viewCh1to8")->thumbnail()[2].mute);
        // Device-side changes arrive with a refresh.
        r.state.in(10).level = 12;
        r.state.out(4).mute = 1;
        w.edits().announce(ChangeSet::everything());
        QCOMPARE(r.button("viewCh9to12")->thumbnail()[1].level, 12);
        QVERIFY(r.button("viewOutputs")->thumbnail()[3].mute);
    }

    void levelsReportMovesTheDetailStripFader() {
        Rig r("127.0.0.2");
        MainWindow& w = *r.window;
        w.navigation().openDetail(DetailPage::Peq, 1);
        auto* fader = w.pages().detailInputStrip()->findChild<FaderCtrl*>("fader");
        QVERIFY(fader && fader->isVisible());
        r.state.link.linkOnline = true;
        ReportDispatcher d(r.state);
        const std::string frame = test::levelsReport(0, 1); // input c gets level 20 + c
        const DispatchResult levels = d.dispatch(frame, Clock::now());
        QVERIFY(levels.moveFaders);
        emit r.link->reportDispatched(levels, shownChanges(levels));
        QCOMPARE(fader->position(), 70 - 22);
    }

    void readoutEntryAndLanguage() {
        Rig r("127.0.0.2");
        MainWindow& w = *r.window;
        auto* v1 = r.find<QLineEdit>("readoutValue1");
        auto* v2 = r.find<QLineEdit>("readoutValue2");
        w.readout()->showParameter(0, 3);
        QCOMPARE(v1->text(), "0dB");
        QCOMPARE(r.find<QLabel>("readoutParamName")->text(), "VOL");
        v1->setFocus();
        v1->selectAll();
        QTest::keyClicks(v1, "-6");
        QTest::keyClick(v1, Qt::Key_Return);
        QCOMPARE(r.state.in(1).level, 54);
        QCOMPARE(v1->text(), "-6dB");
        v1->setText("99");
        QTest::keyClick(v1, Qt::Key_Enter);
        QCOMPARE(r.state.in(1).level, 70);
        QCOMPARE(v1->text(), "10dB");
        v1->setText("nonsense");
        QTest::keyClick(v1, Qt::Key_Return);
        QCOMPARE(r.state.in(1).level, 70);
        QCOMPARE(v1->text(), "10dB"); // the readout shows the value again

        w.readout()->showParameter(4, 22); // band 1 of channel 5: gain and frequency
        QCOMPARE(v2->text(), "200Hz");     // band 1 as RESET leaves it
        v2->setText("250");
        QTest::keyClick(v2, Qt::Key_Return);
        QCOMPARE(r.state.in(5).peq[0].bandFreq, 250);

        w.setLanguage(2);
        QCOMPARE(r.status(), QString::fromUtf8("离线"));
        QCOMPARE(r.button("tabChannel")->text(), QString::fromUtf8("通道"));
        QCOMPARE(r.find<QLabel>("labelMuteGroups")->text(), QString::fromUtf8("静音分组"));
        QCOMPARE(r.find<QLabel>("readoutParamName")->text(), QString::fromUtf8("频段1"));
        QCOMPARE(r.button("connectButton")->text(), QString::fromUtf8("连接"));
        w.setLanguage(1);
        QCOMPARE(r.status(), "OFFLINE");
    }

    void connectsToTheSimulator() {
        auto sim = startSimulator(2); // answers only the second Z: the popup stays up a while
        Rig r("127.0.0.2");
        QCOMPARE(r.status(), "OFFLINE");
        r.pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(r.popup()->isVisible(), 3000);
        QCOMPARE(r.popup()->size(), QSize(240, 60));
        QTRY_VERIFY_WITH_TIMEOUT(r.state.link.linkOnline, 5000);
        QCOMPARE(r.state.link.handshakeAttempts, 1);
        QTRY_VERIFY(!r.popup()->isVisible());
        QCOMPARE(r.status(), "ONLINE");
        QVERIFY(r.button("linkIndicator")->lampOn());
        QCOMPARE(r.button("connectButton")->text(), "DISCONNECT");
        QVERIFY(r.button("connectButton")->isChecked());
        QTRY_VERIFY(r.button("reportIndicator")->lampOn());

        // A fader moved at the device moves the strip; a typed value reaches the device.
        r.window->navigation().showView(StripView::Ch1to8, 1, Tab::Channel);
        sim->moveFaderAtDevice(1, 40);
        QTRY_COMPARE(r.state.in(1).level, 40);
        r.window->readout()->showParameter(1, 3);
        auto* v1 = r.find<QLineEdit>("readoutValue1");
        v1->setText("-25");
        QTest::keyClick(v1, Qt::Key_Return);
        QTRY_COMPARE(sim->snapshot().in(2).level, 35);
        r.window->readout()->showParameter(2, 24); // band 3 of channel 3: the frequency field
        auto* v2 = r.find<QLineEdit>("readoutValue2");
        v2->setText("3150");
        QTest::keyClick(v2, Qt::Key_Return);
        QTRY_COMPARE(sim->snapshot().in(3).peq[2].bandFreq, 3150);

        // Live meters arrive and the talking channels light up.
        QTRY_VERIFY_WITH_TIMEOUT(
            meterShown(inputStrip(*r.window, 0)) > 0 || meterShown(inputStrip(*r.window, 1)) > 0, 8000);

        r.pressConnect(); // DISCONNECT
        QCOMPARE(r.status(), "OFFLINE");
        QVERIFY(!r.button("linkIndicator")->lampOn());
        QCOMPARE(r.button("connectButton")->text(), "CONNECT");
        QTRY_COMPARE(sim->subscribedClients(), 0); // Q 0 reached it
    }

    void silenceShowsOfflineButKeepsTheLink() {
        auto sim = startSimulator(0, 1.0);
        Rig r("127.0.0.2", std::chrono::milliseconds(400), std::chrono::milliseconds(300));
        r.pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(r.state.link.linkOnline, 3000);
        QCOMPARE(r.status(), "ONLINE");
        // The device falls silent: the label and the lamp say so, the link stays up.
        QTRY_COMPARE_WITH_TIMEOUT(r.status(), QString("OFFLINE"), 4000);
        QVERIFY(!r.button("linkIndicator")->lampOn());
        QVERIFY(r.state.link.linkOnline);
        QCOMPARE(r.button("connectButton")->text(), "DISCONNECT");
    }

    void offlineAbandonsAnAttempt() {
        Rig r("127.0.0.3", std::chrono::milliseconds(250));
        r.pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(r.popup()->isVisible(), 3000);
        QTest::mouseClick(r.button("offlineButton"), Qt::LeftButton);
        QVERIFY(!r.popup()->isVisible());
        QVERIFY(!r.state.link.handshakePending && !r.state.link.linkOnline);
        // No retry runs on, so no failure is reported later.
        QTest::qWait(1000);
        QVERIFY(!messageBox("linkMessage"));
        QCOMPARE(r.button("connectButton")->text(), "CONNECT");
        QVERIFY(!r.link->link().socketReady());
    }

    void aboutFromTheHelpMenu() {
        Rig r("127.0.0.2");
        QTimer::singleShot(0, [] {
            QWidget* box = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == "aboutBox" && w->isVisible()) box = w;
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), "QUORVEL 3.2");
            QTest::mouseClick(box->findChild<QPushButton*>("aboutOk"), Qt::LeftButton);
        });
        r.find<QAction>("actionAbout")->trigger(); // modal; the timer above closes it
        QVERIFY(r.window->isVisible());

        // A close request (a signal, say) while the box is up ends both.
        QTimer::singleShot(0, r.window.get(), [&r] { r.window->close(); });
        r.find<QAction>("actionAbout")->trigger();
        QTRY_VERIFY(!r.window->isVisible());
    }

    void cannotConnect() {
        Rig r("127.0.0.3", std::chrono::milliseconds(250)); // nothing listens there
        r.pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(r.popup()->isVisible(), 3000);
        // Pressing again while the handshake is pending changes nothing.
        QTest::mouseClick(r.button("connectButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(messageBox("linkMessage"), 5000);
        QCOMPARE(messageBox("linkMessage")->text(), "CANNOT CONNECT.");
        QVERIFY(!r.popup()->isVisible());
        QVERIFY(!r.state.link.linkOnline && !r.state.link.handshakePending);
        QCOMPARE(r.button("connectButton")->text(), "CONNECT");
        QCOMPARE(r.status(), "OFFLINE");
        messageBox("linkMessage")->close();
    }

    void addressFieldRefusesMalformed() {
        Rig r("127.0.0.2");
        r.window->navigation().setTab(Tab::System);
        auto* field = r.find<QLineEdit>("addressField");
        QCOMPARE(field->text(), "127.0.0.2");
        field->setText("192.168.1");
        QTest::mouseClick(r.button("addressOk"), Qt::LeftButton);
        QTRY_VERIFY(messageBox("addressRefused"));
        QVERIFY(messageBox("addressRefused")->text().contains("192.168.1"));
        QCOMPARE(r.state.link.hostAddress, std::string("127.0.0.2"));
        QVERIFY(!QFile::exists(r.profile.filePath()));
        messageBox("addressRefused")->close();

        auto* span = r.find<QLineEdit>("spanField");
        span->setText("fast");
        QTest::keyClick(span, Qt::Key_Return);
        QTRY_VERIFY(messageBox("spanRefused"));
        QCOMPARE(r.state.spanTime, 100);
        messageBox("spanRefused")->close();
        span->setText("250");
        QTest::keyClick(span, Qt::Key_Return);
        QCOMPARE(r.state.spanTime, 250);

        field->setText(" 127.0.0.5 ");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(r.state.link.hostAddress, std::string("127.0.0.5"));
        QCOMPARE(Profile(r.dir.path()).readHostAddress(), "127.0.0.5");
    }

    void closeWhileReceiving() {
        auto sim = startSimulator();
        Rig r("127.0.0.2");
        r.pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(r.state.link.linkOnline, 5000);
        QTRY_COMPARE(sim->subscribedClients(), 1);
        QSignalSpy closed(r.window.get(), &MainWindow::closed);
        r.window->close();
        // The window waits for the receive side; it is still up right after the request.
        QVERIFY(r.window->isVisible());
        QVERIFY(r.window->closing());
        QTRY_VERIFY(!r.window->isVisible());
        QCOMPARE(closed.count(), 1);
        QVERIFY(!r.link->link().socketReady());
        QTRY_COMPARE(sim->subscribedClients(), 0);
    }

    void recoveryResetsTheConnectedDeviceAndTheLinkStaysUp() {
        auto sim = startSimulator();
        Rig r("127.0.0.2");
        r.pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(r.state.link.linkOnline, 5000);
        sim->moveFaderAtDevice(4, 12);
        QTRY_COMPARE(r.state.in(4).level, 12);

        // SYSTEM, HELP, RECOVERY, OK: through the window's own edit path to the device.
        r.window->navigation().setTab(Tab::System);
        QTest::mouseClick(r.button("settingsTabHelp"), Qt::LeftButton);
        QTest::mouseClick(r.button("recoveryButton"), Qt::LeftButton);
        QMessageBox* ask = nullptr;
        QTRY_VERIFY((ask = r.window->findChild<QMessageBox*>("recoveryQuestion")));
        ask->button(QMessageBox::Ok)->click();
        QVERIFY(r.state.updateBusy);
        QMessageBox* done = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((done = r.window->findChild<QMessageBox*>("resetDone")), 15000);
        QCOMPARE(done->text(), QStringLiteral("Reset successfully."));
        QVERIFY(!r.state.updateBusy);
        DeviceState factory;
        loadFactoryDefaults(factory, 1);
        const DeviceState device = sim->snapshot();
        QCOMPARE(device.in(4).level, factory.in(4).level);
        QCOMPARE(std::string(nameView(device.in(4).name)), std::string("CH 4"));
        QCOMPARE(device.automix.nomAttenuation, 27);
        // The upload's last Q 1 has the device reporting again (the device takes it on its own
        // thread, a moment after the message).
        QVERIFY(r.state.link.linkOnline);
        QTRY_COMPARE(sim->subscribedClients(), 1);
        sim->moveFaderAtDevice(4, 20);
        QTRY_COMPARE(r.state.in(4).level, 20);
    }

    void terminationSignalClosesInOrder() {
        QTemporaryDir dir;
        QProcess app;
        app.start(QUORVEL_APP_PATH,
                  {"--data-dir", dir.path(), "--host", "127.0.0.4", "--connect", "--geometry", "800x600"});
        QVERIFY(app.waitForStarted());
        QTest::qWait(1500); // the receive thread is up by now
        QCOMPARE(app.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
        QVERIFY(app.waitForFinished(5000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
        QVERIFY(!QFile::exists(dir.filePath("quorvel.ini"))); // --host is for this run only
    }
    // Every processing page shows what the user touched in the readout, with its kind's name and
    // unit; handles show the band, output pages count from channel 18.
    void processingPagesFeedTheReadout() {
        Rig r("127.0.0.2");
        MainWindow& w = *r.window;
        auto* name = r.find<QLabel>("readoutParamName");
        auto* v1 = r.find<QLineEdit>("readoutValue1");
        auto* v2 = r.find<QLineEdit>("readoutValue2");
        auto knob = [&](int page, const char* object) {
            auto* k = w.pages().page(page)->findChild<FaderCtrl*>(object);
            Q_ASSERT(k);
            return k;
        };

        w.navigation().openDetail(DetailPage::Dynamics, 2);
        emit knob(149, "compThresholdKnob")->faderChanging(1113, 20);
        QCOMPARE(w.readout()->readoutChannel(), 2);
        QCOMPARE(w.readout()->kind(), 54);
        QCOMPARE(name->text(), "Threshold");
        QCOMPARE(v1->text(), "-40dB");
        emit knob(149, "compRatioKnob")->faderChanged(1115, 45);
        QCOMPARE(w.readout()->kind(), 55);
        QCOMPARE(v1->text(), "1:4.5");

        w.navigation().openDetail(DetailPage::Peq, 1);
        emit knob(150, "band2Gain")->faderChanged(1100, 180);
        QCOMPARE(w.readout()->kind(), 8);
        QCOMPARE(name->text(), "BAND2 GAIN");
        QCOMPARE(v1->text(), "3.0dB");
        auto* view = w.pages().page(150)->findChild<ResponseView*>("peqView");
        emit view->handleMoved(2, 2500.0, -6.0, true);
        QCOMPARE(w.readout()->readoutChannel(), 1);
        QCOMPARE(w.readout()->kind(), 24);
        QCOMPARE(v1->text(), "-6.0dB");
        QCOMPARE(v2->text(), "2500Hz");

        w.navigation().openDetail(DetailPage::Limiter, 7);
        emit knob(156, "limiterReleaseKnob")->faderChanged(1111, 1);
        QCOMPARE(w.readout()->readoutChannel(), 25);
        QCOMPARE(w.readout()->kind(), 44);
        QCOMPARE(v1->text(), "1ms");

        w.navigation().openDetail(DetailPage::Geq, 0);
        r.state.out(1).geq[4].gain = 200;
        emit w.pages().page(151)->findChild<ResponseView*>("geqView")->handleReset(4);
        QCOMPARE(r.state.out(1).geq[4].gain, 150);
        QCOMPARE(w.readout()->readoutChannel(), 18);
        QCOMPARE(w.readout()->kind(), 9);
        QCOMPARE(name->text(), "BAND5");
        QCOMPARE(v1->text(), "0.0dB");
    }
};

QTEST_MAIN(WindowTest)
#include "test_ui_window.moc"
