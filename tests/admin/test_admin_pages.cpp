// The SHOW, DISPLAY and CONNECT tabs offscreen: clicks and choices in, frames and state out.
#include "admin/firmware_update.h"
#include "link/device_link.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <memory>

#include "../binding/page_rig.h"
#include "../live/ports.h"
#include "admin/bulk_upload.h"
#include "admin/scene_library.h"
#include "controls/drop_list.h"
#include "controls/image_button.h"
#include "pages/admin/device_search.h"
#include "pages/admin/device_settings_page.h"
#include "pages/admin/firmware_tab.h"
#include "pages/admin/scene_panel.h"
#include "pages/admin/unit_panel.h"
#include "pages/admin/upload_runner.h"
#include "presets/preset_store.h"
#include "sim/report_builder.h"
#include "sim/simulator.h"
#include "widgets/nav_button.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

QMessageBox* message(QWidget* root, const char* name) {
    return root->findChild<QMessageBox*>(name);
}

void choose(DropList* list, int index) {
    emit list->itemChosen(list->id(), index);
}

} // namespace

class AdminPagesTest : public QObject {
    Q_OBJECT
private slots:
    void unitsFollowTheCountAndRefuseADuplicate() {
        test::PageRig rig;
        rig.state.unitCount = 0;
        UnitPanel units(rig.context(), nullptr);
        units.showUnits();
        QCOMPARE(units.selectedUnit(), -1);
        QVERIFY(!units.selector(0)->isEnabled());
        QVERIFY(!units.callButton()->isEnabled()); // no unit, no call
        QVERIFY(!units.unitButton(0)->isEnabled());

        rig.state.unitCount = 2;
        units.showUnits();
        QCOMPARE(units.selectedUnit(), 0);
        QVERIFY(units.unitButton(1)->isEnabled() && !units.unitButton(2)->isEnabled());
        QVERIFY(units.selector(4)->isEnabled() && units.callButton()->isEnabled());
        QCOMPARE(units.selector(0)->count(), 17);
        QCOMPARE(units.selector(0)->itemText(16), QStringLiteral("M04"));

        choose(units.selector(3), 3); // unit 1, slot 4: CH03
        QCOMPARE(rig.state.units[0][3], 3);
        QCOMPARE(rig.sink.frames.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(rig.sink.frames[0].text),
                 QString::fromStdString(buildX(rig.state, 1)));

        test::click(units.unitButton(1));
        QCOMPARE(units.selectedUnit(), 1);
        QVERIFY(units.unitButton(1)->isOn() && !units.unitButton(0)->isOn());
        rig.sink.frames.clear();
        choose(units.selector(0), 3); // unit 2, slot 1: CH03 again
        QCOMPARE(rig.state.units[1][0], 0);
        QVERIFY(rig.sink.frames.empty());
        QCOMPARE(units.selector(0)->selection(), 0);
        QMessageBox* box = message(&units, "unitRefused");
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Already select."));

        units.call();
        QCOMPARE(QString::fromStdString(rig.sink.frames.at(0).text), QString::fromStdString(buildW(2)));
        rig.sink.frames.clear();
        units.resetAll();
        QCOMPARE(rig.sink.frames.size(), std::size_t{4});
        QCOMPARE(rig.state.units[0][3], 0);
        test::click(units.unitButton(0));
        QCOMPARE(units.selector(3)->selection(), 0);
    }

    void unitsFollowANamesReportWhileShown() {
        test::PageRig rig;
        rig.state.unitCount = 0;
        UnitPanel units(rig.context(), nullptr);
        units.show();
        QVERIFY(!units.unitButton(0)->isEnabled() && !units.callButton()->isEnabled());
        DeviceState device;
        loadFactoryDefaults(device);
        ReportDispatcher dispatcher(rig.state);
        rig.report(dispatcher, sim::buildNamesReport(device, 3));
        QCOMPARE(rig.state.unitCount, 3);
        QVERIFY(units.unitButton(2)->isEnabled() && !units.unitButton(3)->isEnabled());
        QCOMPARE(units.selectedUnit(), 0);
        QVERIFY(units.selector(0)->isEnabled() && units.callButton()->isEnabled());
    }

    void scenesSaveListAndRecall() {
        test::PageRig rig;
        // DELETE moves the file to the desktop's trash: this test's own.
        qputenv("XDG_DATA_HOME", (rig.dir.path() + "/xdg").toUtf8());
        PresetStore store(PresetStore::pathIn(rig.dir.path().toStdString()));
        QVERIFY(store.OpenDatabase());
        bool idle = true;
        UploadRunner upload(
            rig.state, rig.sink, [&idle] { return idle; }, nullptr);
        ScenePanel scenes(rig.context(), upload, nullptr);
        scenes.setStore(&store);
        QVERIFY(!scenes.slot(0)->isVisibleTo(&scenes));

        rig.state.in(2).level = 11;
        test::click(scenes.saveButton());
        QVERIFY(scenes.slot(0)->isVisibleTo(&scenes));
        QCOMPARE(scenes.slot(0)->text(), QStringLiteral("1:SAVE1"));
        QVERIFY(std::filesystem::exists(rig.dir.path().toStdString() + "/SAVE1.dat"));
        scenes.rename(1, QStringLiteral("Opening"));
        QCOMPARE(scenes.slot(0)->text(), QStringLiteral("1:Opening"));

        // Offline recall: the model comes back, nothing is sent.
        rig.state.link.linkOnline = false;
        rig.state.in(2).level = 50;
        scenes.recall(1);
        QCOMPARE(rig.state.in(2).level, 11);
        QVERIFY(rig.sink.frames.empty());
        QVERIFY(!upload.running());

        // Online recall: the upload runs one step per free line, 219 datagrams in all.
        rig.state.link.linkOnline = true;
        rig.state.in(2).level = 50;
        scenes.recall(1);
        QCOMPARE(rig.state.in(2).level, 11);
        QVERIFY(upload.running());
        QVERIFY(upload.progressBox()->isVisible());
        idle = false;
        upload.step();
        const std::size_t queued = rig.sink.frames.size();
        upload.step();
        QCOMPARE(rig.sink.frames.size(), queued); // a busy line gets nothing more
        idle = true;
        QTRY_VERIFY(!upload.running());
        QCOMPARE(rig.sink.frames.size(), std::size_t{219});
        QCOMPARE(QString::fromStdString(rig.sink.frames.back().text), QString::fromStdString(buildQ(1)));

        QVERIFY(!message(&scenes, "sceneUploadInterrupted"));

        // A cancelled upload says so; it still ends with Q 1.
        rig.sink.frames.clear();
        scenes.recall(1);
        upload.cancel();
        QTRY_VERIFY(!upload.running());
        QCOMPARE(QString::fromStdString(rig.sink.frames.back().text), QString::fromStdString(buildQ(1)));
        QTRY_VERIFY(message(&scenes, "sceneUploadInterrupted"));

        // A remote client's recall, by ID or name: refusals come back to it, none is shown here.
        rig.state.in(2).level = 50;
        std::vector<EditOrigin> origins;
        QObject::connect(&rig.edits, &EditController::userChanged,
                         [&](const ChangeSet&, EditOrigin origin) { origins.push_back(origin); });
        QVERIFY(scenes.recallFor("Opening").ok());
        QCOMPARE(origins.size(), std::size_t(1));
        QVERIFY(origins[0] == EditOrigin::Remote);
        QCOMPARE(rig.state.in(2).level, 11);
        QVERIFY(upload.running());
        QVERIFY(scenes.recallFor("1").status == SceneStatus::FileError); // still sending
        QTRY_VERIFY(!upload.running());
        QVERIFY(scenes.recallFor("Closing").status == SceneStatus::NoSuchId);
        QVERIFY(!message(&scenes, "sceneRefused"));

        scenes.remove(1);
        QVERIFY(!scenes.slot(0)->isVisibleTo(&scenes));
        QVERIFY(!std::filesystem::exists(rig.dir.path().toStdString() + "/SAVE1.dat"));
        QVERIFY(std::filesystem::exists(rig.dir.path().toStdString() + "/xdg/Trash/files/SAVE1.dat"));
    }

    void resetAsksThenRestoresAndReports() {
        test::PageRig rig;
        rig.state.link.linkOnline = false;
        DeviceSettingsPage page(rig.context(), nullptr);
        // The scene buttons stand where the page's layout puts them.
        auto at = [&page](QWidget* w) { return QRect(w->mapTo(&page, QPoint(0, 0)), w->size()); };
        QCOMPARE(at(page.scenePanel()->saveButton()), QRect(100, 150, 50, 50));
        QCOMPARE(at(page.scenePanel()->slot(0)), QRect(220, 150, 50, 50));
        QCOMPARE(at(page.scenePanel()->slot(13)), QRect(220 + 60 * 5, 150 + 60, 50, 50));
        QCOMPARE(at(page.scenePanel()->slot(31)), QRect(220 + 60 * 7, 150 + 60 * 3, 50, 50));
        rig.state.in(1).routeToOutput.fill(0);
        rig.state.automix.nomAttenuation = 21;
        page.requestFactoryReset();
        QMessageBox* ask = message(&page, "resetQuestion");
        QVERIFY(ask);
        ask->button(QMessageBox::Cancel)->click();
        QCOMPARE(rig.state.automix.nomAttenuation, 21);
        page.requestFactoryReset();
        QTRY_VERIFY(message(&page, "resetQuestion"));
        message(&page, "resetQuestion")->button(QMessageBox::Ok)->click();
        QCOMPARE(rig.state.automix.nomAttenuation, 27);
        QCOMPARE(rig.state.in(1).routeToOutput[7], 1);
        QVERIFY(rig.sink.frames.empty()); // offline: nothing to send
        QTRY_VERIFY(message(&page, "resetDone"));
        QCOMPARE(message(&page, "resetDone")->text(), QStringLiteral("Reset successfully."));
    }

    void searchListsDevicesAndARowBecomesTheAddress() {
        test::PageRig rig;
        rig.state.link.linkOnline = false;
        const std::uint16_t port = testPort(8);
        rig.state.link.udpPort = port;
        std::vector<std::unique_ptr<sim::Simulator>> sims;
        for (const char* a : {"127.0.0.2", "127.0.0.3"}) {
            sim::SimOptions so;
            so.bind = a;
            so.port = port;
            sims.push_back(std::make_unique<sim::Simulator>(so));
            std::string error;
            QVERIFY2(sims.back()->start(error), error.c_str());
        }
        DeviceSettingsPage page(rig.context(), nullptr);
        page.show();
        page.startSearch();
        QTreeWidget* list = page.searchList();
        QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 2, 5000);
        QCOMPARE(list->topLevelItem(0)->text(1), QString::number(port));
        QTreeWidgetItem* third = nullptr;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(0) == "127.0.0.3") third = list->topLevelItem(i);
        QVERIFY(third);
        emit list->itemClicked(third, 0);
        QCOMPARE(QString::fromStdString(rig.state.link.hostAddress), QStringLiteral("127.0.0.3"));
        QCOMPARE(page.findChild<QLineEdit*>("addressField")->text(), QStringLiteral("127.0.0.3"));
        QTRY_VERIFY_WITH_TIMEOUT(!page.search()->running(), 6000);
        QCOMPARE(list->topLevelItemCount(), 2);
    }

    void searchWhileOnlineGoesOfflineFirst() {
        test::PageRig rig;
        rig.state.link.linkOnline = false;
        const std::uint16_t port = testPort(9);
        rig.state.link.udpPort = port;
        sim::SimOptions so;
        so.bind = "127.0.0.2";
        so.port = port;
        sim::Simulator dev(so);
        std::string error;
        QVERIFY2(dev.start(error), error.c_str());
        DeviceSettingsPage page(rig.context(), nullptr);
        page.show();
        page.pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(rig.state.link.linkOnline, 8000);
        // The link's socket holds 127.0.0.1 on the port: the search can only bind once it is gone.
        page.startSearch();
        QVERIFY(!rig.state.link.linkOnline);
        QTRY_COMPARE_WITH_TIMEOUT(page.searchList()->topLevelItemCount(), 1, 5000);
        QVERIFY(!message(&page, "searchFailed"));
        QCOMPARE(page.searchList()->topLevelItem(0)->text(0), QStringLiteral("127.0.0.2"));
        page.search()->stop();
    }

    void connectRightAfterSearchKeepsTheNewConnection() {
        test::PageRig rig;
        rig.state.link.linkOnline = false;
        rig.state.link.udpPort = testPort(6);
        DeviceSettingsPage page(rig.context(), nullptr);
        page.show();
        page.pressConnect(); // nobody answers: the handshake stays pending on the link's socket
        QTRY_VERIFY_WITH_TIMEOUT(rig.state.link.handshakePending, 5000);
        page.startSearch(); // goes offline; the sweep waits for the socket to be let go
        QVERIFY(!rig.state.link.handshakePending);
        page.pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(rig.state.link.handshakePending, 5000);
        // The delayed sweep neither ran nor took the port from under the new attempt.
        QVERIFY(!page.search()->running());
        QVERIFY(rig.state.link.socketReady);
        QVERIFY(page.findChild<NavButton*>("searchButton")->isEnabled());
    }

    void eachTabShowsOnlyItsOwnControls() {
        test::PageRig rig;
        DeviceSettingsPage page(rig.context(), nullptr);
        page.show();
        QWidget* connectOnly[] = {
            page.findChild<QLineEdit*>("addressField"),  page.findChild<QLineEdit*>("spanField"),
            page.findChild<NavButton*>("searchButton"),  page.findChild<NavButton*>("connectButton"),
            page.findChild<NavButton*>("offlineButton"), page.searchList()};
        QWidget* sets = page.findChild<VersionLabels*>("versionLabels", Qt::FindDirectChildrenOnly);
        QVERIFY(sets);
        for (int tab :
             {DeviceSettingsPage::ShowTab, DeviceSettingsPage::HelpTab, DeviceSettingsPage::DisplayTab,
              DeviceSettingsPage::SetTab, DeviceSettingsPage::ConnectTab}) {
            page.selectTab(tab);
            for (QWidget* w : connectOnly)
                QCOMPARE(w->isVisible(), tab == DeviceSettingsPage::ConnectTab);
            QCOMPARE(page.scenePanel()->isVisible(), tab == DeviceSettingsPage::ShowTab);
            QCOMPARE(page.firmwareTab()->isVisible(), tab == DeviceSettingsPage::HelpTab);
            QCOMPARE(page.unitPanel()->isVisible(), tab == DeviceSettingsPage::DisplayTab);
            QCOMPARE(sets->isVisible(), tab == DeviceSettingsPage::SetTab);
            // No tab is left with a placeholder text over its controls.
            for (QLabel* l : page.findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
                QVERIFY2(!l->isVisible() || tab == DeviceSettingsPage::ConnectTab,
                         qPrintable(l->objectName()));
        }
        QVERIFY(!page.findChild<NavButton*>("settingsTabSet")->isVisible());
    }

    void recoveryOnTheHelpTabResetsSendsAndReports() {
        test::PageRig rig; // online, the line always free
        DeviceSettingsPage page(rig.context(), nullptr);
        page.show();
        page.selectTab(DeviceSettingsPage::HelpTab);
        rig.state.automix.nomAttenuation = 21;
        FirmwareTab* help = page.firmwareTab();
        test::click(help->findChild<NavButton*>("recoveryButton"));
        QTRY_VERIFY(message(help, "recoveryQuestion"));
        message(help, "recoveryQuestion")->button(QMessageBox::Ok)->click();
        QCOMPARE(rig.state.automix.nomAttenuation, 27);
        QVERIFY(rig.state.updateBusy);
        QVERIFY(page.uploadRunner()->running());
        // A second RECOVERY while the first is on the wire is turned away.
        help->pressRecovery();
        QVERIFY(message(help, "resetBusy"));
        QTRY_VERIFY_WITH_TIMEOUT(message(&page, "resetDone"), 5000);
        QCOMPARE(message(&page, "resetDone")->text(), QStringLiteral("Reset successfully."));
        QVERIFY(!rig.state.updateBusy);
        QCOMPARE(rig.sink.frames.size(), std::size_t{219});
        QCOMPARE(QString::fromStdString(rig.sink.frames.front().text), QString::fromStdString(buildQ(0)));
        QCOMPARE(QString::fromStdString(rig.sink.frames.back().text), QString::fromStdString(buildQ(1)));
    }

    void recoveryWaitsForASceneStillOnItsWay() {
        test::PageRig rig;
        DeviceSettingsPage page(rig.context(), nullptr);
        rig.state.automix.nomAttenuation = 21;
        QVERIFY(page.uploadRunner()->start()); // as a scene recall does
        page.firmwareTab()->pressRecovery();
        QTRY_VERIFY(message(page.firmwareTab(), "recoveryQuestion"));
        message(page.firmwareTab(), "recoveryQuestion")->button(QMessageBox::Ok)->click();
        // Neither the model nor the upload under way take half a reset; no success is claimed.
        QVERIFY(message(&page, "resetBusy"));
        QCOMPARE(rig.state.automix.nomAttenuation, 21);
        QVERIFY(!rig.state.updateBusy);
        QTRY_VERIFY(!page.uploadRunner()->running());
        QVERIFY(!message(&page, "resetDone"));
    }

    void localUpdateStopsARunningSearchAndASearchWaitsForTheUpdate() {
        test::PageRig rig;
        rig.state.link.linkOnline = false;
        const std::uint16_t port = testPort(7);
        rig.state.link.udpPort = port;
        QTemporaryDir stored;
        sim::SimOptions so;
        so.bind = "127.0.0.2";
        so.port = port;
        so.meterHz = 0;
        so.firmwareDir = stored.path().toStdString();
        sim::Simulator dev(so);
        std::string error;
        QVERIFY2(dev.start(error), error.c_str());
        const std::string digital(1500, 'n'), dsp(2048, 'd');
        std::ofstream(rig.dir.filePath("Digital-QUORVEL.bin").toStdString(), std::ios::binary) << digital;
        std::ofstream(rig.dir.filePath("DSP-QUORVEL.bin").toStdString(), std::ios::binary) << dsp;

        DeviceSettingsPage page(rig.context(), nullptr);
        page.firmwareTab()->setTiming(firmware::FirmwareTiming::quick());
        page.show();
        page.startSearch();
        QTRY_VERIFY(page.search()->running());
        page.selectTab(DeviceSettingsPage::HelpTab);
        page.firmwareTab()->pressLocal();
        QTRY_VERIFY(message(page.firmwareTab(), "updateQuestion"));
        message(page.firmwareTab(), "updateQuestion")->button(QMessageBox::Ok)->click();
        QVERIFY(!page.search()->running()); // its socket held the port the update binds
        QVERIFY(rig.state.updateBusy);
        page.startSearch();
        QVERIFY(message(&page, "updateBusy"));
        QVERIFY(!page.search()->running());
        QTRY_VERIFY_WITH_TIMEOUT(message(page.firmwareTab(), "updateResult"), 10000);
        QCOMPARE(message(page.firmwareTab(), "updateResult")->text(), QStringLiteral("Update successfully"));
        QVERIFY(!message(&page, "searchFailed"));
        std::ifstream in(stored.filePath("digital.bin").toStdString(), std::ios::binary);
        QCOMPARE(std::string(std::istreambuf_iterator<char>(in), {}), digital);
    }
};

QTEST_MAIN(AdminPagesTest)
#include "test_admin_pages.moc"
