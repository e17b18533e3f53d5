// The HELP tab offscreen against the simulator: a question before anything is sent, the transfer
// on its worker while the window keeps running, the result told once, and a close during the
// transfer asked first.
//
// The link's headers go first: Qt's keyword macros must not be defined while they are read.
#include "admin/firmware_update.h"
#include "link/device_link.h"
#include "link/profile.h"
#include "simulator.h"

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <memory>

#include "../live/ports.h"
#include "pages/admin/device_settings_page.h"
#include "pages/admin/firmware_tab.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "widgets/nav_button.h"
#include "widgets/ui_text.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

struct Rig {
    QTemporaryDir app, device;
    DeviceState state;
    std::unique_ptr<LinkAdapter> link;
    std::unique_ptr<Profile> profile;
    std::unique_ptr<sim::Simulator> sim;
    std::string digital, dsp;

    explicit Rig(int portOffset, const std::string& updateUrl = {}) {
        loadFactoryDefaults(state);
        state.link.hostAddress = "127.0.0.2";
        state.link.udpPort = testPort(portOffset);
        LinkOptions lo;
        lo.bindAddress = "127.0.0.1";
        lo.timing.startWait = lo.timing.restartWait = lo.timing.settleWait = std::chrono::milliseconds(0);
        link = std::make_unique<LinkAdapter>(state, lo);
        if (!updateUrl.empty()) {
            std::string error;
            writeProfileValue(profilePath(app.path().toStdString()), kProfileSection, "updateurl", updateUrl,
                              error);
        }
        profile = std::make_unique<Profile>(app.path());
        sim::SimOptions o;
        o.port = static_cast<std::uint16_t>(state.link.udpPort);
        o.meterHz = 0;
        o.firmwareDir = device.path().toStdString();
        sim = std::make_unique<sim::Simulator>(o);
        std::string error;
        sim->start(error);
        digital.assign(2100, 'n');
        dsp.assign(1300, 'd');
        std::ofstream(app.filePath("Digital-QUORVEL.bin").toStdString(), std::ios::binary) << digital;
        std::ofstream(app.filePath("DSP-QUORVEL.bin").toStdString(), std::ios::binary) << dsp;
    }
    std::string stored(const char* name) const {
        std::ifstream in(device.filePath(name).toStdString(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

// The message box of that name, once it has opened.
QMessageBox* box(QWidget* owner, const char* name) {
    QMessageBox* found = nullptr;
    for (int i = 0; i < 400 && !found; ++i) {
        found = owner->findChild<QMessageBox*>(name);
        if (!found) QTest::qWait(10);
    }
    return found;
}

void answer(QMessageBox* b, QMessageBox::StandardButton which) {
    QVERIFY(b);
    b->button(which)->click();
}

} // namespace

class FirmwareTabTest : public QObject {
    Q_OBJECT
private slots:
    void localUpdateRunsOnAWorkerAndTellsTheResultOnce() {
        Rig rig(1);
        QWidget window;
        window.resize(700, 420);
        FirmwareTab tab(rig.state, *rig.link, *rig.profile, &window);
        tab.setTiming(firmware::FirmwareTiming::quick());
        tab.resize(580, 300);
        window.show();
        QVERIFY2(!tab.findChild<NavButton*>("updateButton")->isVisible(), "no version page configured");

        QTest::mouseClick(tab.findChild<NavButton*>("localButton"), Qt::LeftButton);
        answer(box(&tab, "updateQuestion"), QMessageBox::Ok);
        QVERIFY(rig.state.updateBusy);
        // A second press while it runs is turned away.
        QTest::mouseClick(tab.findChild<NavButton*>("localButton"), Qt::LeftButton);
        QMessageBox* busy = box(&tab, "updateBusy");
        QVERIFY(busy);
        QCOMPARE(busy->text(), QString("Updateing......."));
        busy->close();

        QMessageBox* result = box(&tab, "updateResult");
        QVERIFY(result);
        QCOMPARE(result->text(), QString("Update successfully"));
        QVERIFY(!rig.state.updateBusy);
        QVERIFY(!tab.transferRunning());
        auto* bar = tab.findChild<QProgressBar*>("firmwareProgress");
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(bar->maximum(), 2); // 1300 bytes and the checksum
        QCOMPARE(rig.stored("digital.bin"), rig.digital);
        QCOMPARE(rig.stored("dsp.bin"), rig.dsp);
        QCOMPARE(QString::fromStdString(rig.state.basicVersion), QString("250"));
        QCOMPARE(tab.findChild<QLabel*>("hardwareVersionLabel")->text(),
                 QString::fromUtf8("Hardware version：3.2"));
        QCOMPARE(tab.findChild<QLabel*>("basicVersionLabel")->text(),
                 QString::fromUtf8("Basic version：2.5"));
        QCOMPARE(tab.findChild<QLabel*>("localVersionLabel")->text(),
                 QString::fromUtf8("Local version：0.0"));
    }

    void anOnlineLinkGivesWayAndStaysOffline() {
        Rig rig(5);
        FirmwareTab tab(rig.state, *rig.link, *rig.profile, nullptr);
        tab.setTiming(firmware::FirmwareTiming::quick());
        tab.show();
        rig.link->pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(rig.state.link.linkOnline, 5000);
        QTRY_COMPARE(rig.sim->subscribedClients(), 1);
        tab.startLocal();
        QVERIFY(!rig.state.link.linkOnline);
        QMessageBox* result = box(&tab, "updateResult");
        QVERIFY(result);
        QCOMPARE(result->text(), QString("Update successfully"));
        QCOMPARE(rig.stored("digital.bin"), rig.digital);
        QCOMPARE(rig.sim->subscribedClients(), 0);
        QVERIFY(!rig.state.link.linkOnline);
        QVERIFY(!rig.state.link.socketReady);
        // The user reconnects afterwards, on a socket of the link's own again.
        rig.link->pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(rig.state.link.linkOnline, 5000);
    }

    void cancelSendsNothing() {
        Rig rig(2);
        FirmwareTab tab(rig.state, *rig.link, *rig.profile, nullptr);
        tab.show();
        tab.pressLocal();
        answer(box(&tab, "updateQuestion"), QMessageBox::Cancel);
        QTest::qWait(50);
        QVERIFY(!rig.state.updateBusy);
        QVERIFY(!tab.transferRunning());
        QVERIFY(QDir(rig.device.path()).isEmpty());
    }

    void closingDuringATransferAsksFirst() {
        Rig rig(3);
        // Big enough to still be under way when the close comes.
        rig.digital.assign(300 * 1024, 'x');
        std::ofstream(rig.app.filePath("Digital-QUORVEL.bin").toStdString(), std::ios::binary) << rig.digital;
        QWidget window;
        FirmwareTab tab(rig.state, *rig.link, *rig.profile, &window);
        tab.setTiming(firmware::FirmwareTiming::quick());
        window.show();
        tab.pressLocal();
        answer(box(&tab, "updateQuestion"), QMessageBox::Ok);
        QTRY_VERIFY(tab.transferRunning());

        // CONNECT waits for the update: it would break it off mid-image.
        DeviceSettingsPage page(rig.state, *rig.link, *rig.profile, nullptr);
        page.pressConnect();
        QVERIFY(box(&page, "updateBusy"));
        QVERIFY(!rig.state.link.handshakePending);
        QVERIFY(tab.transferRunning());

        window.close();
        QMessageBox* ask = box(&tab, "closeDuringUpdate");
        QVERIFY(ask);
        QVERIFY(window.isVisible());
        answer(ask, QMessageBox::Cancel);
        QVERIFY(window.isVisible());
        QVERIFY(tab.transferRunning());

        window.close();
        answer(box(&tab, "closeDuringUpdate"), QMessageBox::Ok);
        QTRY_VERIFY(!window.isVisible());
        QVERIFY(!tab.transferRunning());
        QVERIFY(!rig.state.updateBusy);
        QVERIFY2(QDir(rig.device.path()).isEmpty(), "a cancelled image is never completed");
    }

    void recoveryAsksThenHandsOver() {
        Rig rig(4, "http://127.0.0.1:9/version");
        setLanguageFlag(kChinese);
        FirmwareTab tab(rig.state, *rig.link, *rig.profile, nullptr);
        tab.show();
        QVERIFY(tab.findChild<NavButton*>("updateButton")->isVisible());
        QCOMPARE(tab.findChild<NavButton*>("recoveryButton")->text(), QString::fromUtf8("恢复出厂设置"));
        QSignalSpy confirmed(&tab, &FirmwareTab::recoveryConfirmed);
        tab.pressRecovery();
        QMessageBox* ask = box(&tab, "recoveryQuestion");
        QVERIFY(ask);
        QCOMPARE(ask->text(), QString::fromUtf8("是否要恢复出厂化设置？"));
        answer(ask, QMessageBox::Ok);
        QCOMPARE(confirmed.count(), 1);
        rig.state.updateBusy = true;
        tab.pressRecovery();
        QMessageBox* busy = box(&tab, "resetBusy");
        QVERIFY(busy);
        QCOMPARE(busy->text(), QString("Reseting device......."));
        QCOMPARE(confirmed.count(), 1);
        setLanguageFlag(kEnglish);
    }
};

QTEST_MAIN(FirmwareTabTest)
#include "test_firmware_tab.moc"
