// The shell around the live link against an in-process simulator: the count of edits made offline,
// both answers to the push-or-pull question, sending and getting everything on demand, the
// automatic reconnection setting, and a device that restarts under a running window.
//
// The link's headers go first: Qt's keyword macros must not be defined while they are read.
#include "link/device_link.h"
#include "link/field_registry.h"
#include "log/event_log.h"
#include "log/traffic_log.h"
#include "sim/simulator.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <unistd.h>

#include "app/link_actions.h"
#include "app/log_dock.h"
#include "app/main_window.h"
#include "app/undo_actions.h"
#include "binding/edit_controller.h"
#include "pages/admin/device_settings_page.h"
#include "pages/admin/upload_runner.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "widgets/nav_button.h"

using namespace quorvel;
using namespace quorvel::ui;
using namespace std::chrono_literals;

namespace {

const std::uint16_t kPort = static_cast<std::uint16_t>(40000 + (getpid() + 7919) % 20000);

struct Rig {
    QTemporaryDir dir;
    Profile profile{dir.path()};
    DeviceState state;
    std::unique_ptr<LinkAdapter> link;
    std::unique_ptr<MainWindow> window;

    // watchdog: short where a restart must be seen within a test's patience; the upload asks the
    // device to be quiet for longer than that.
    explicit Rig(bool autoReconnect = true, std::chrono::milliseconds watchdog = 10s) {
        loadFactoryDefaults(state, 1);
        state.link.hostAddress = "127.0.0.2";
        state.link.udpPort = kPort;
        LinkOptions lo;
        lo.bindAddress = "127.0.0.1";
        lo.timing.startWait = lo.timing.settleWait = 30ms;
        lo.timing.restartWait = 60ms;
        lo.timing.retryInterval = 400ms;
        lo.timing.watchdog = watchdog;
        lo.timing.reconnectInterval = 200ms;
        lo.autoReconnect = autoReconnect;
        link = std::make_unique<LinkAdapter>(state, lo);
        window = std::make_unique<MainWindow>(state, *link, profile);
        window->resize(1600, 1000);
        window->show();
    }
    LinkActions& actions() const { return *window->findChild<LinkActions*>(); }
    QLabel* pendingLabel() const { return actions().pendingLabel(); }
    QString status() const { return window->findChild<QLabel*>("statusLabel")->text(); }
    void pressConnect() {
        window->navigation().setTab(Tab::System);
        QTest::mouseClick(window->findChild<NavButton*>("connectButton"), Qt::LeftButton);
    }
    void edit(std::int32_t* member, std::int32_t raw) {
        window->edits().edit(*FieldRegistry::instance().idOf(state, member), raw);
    }
    // Clicks one answer of the push-or-pull question once it is up.
    bool answer(const char* button) {
        if (!QTest::qWaitFor([&] { return actions().question() && actions().question()->isVisible(); }, 5000))
            return false;
        QTest::mouseClick(actions().question()->findChild<QPushButton*>(button), Qt::LeftButton);
        return true;
    }
    UploadRunner* runner() const { return window->deviceSettingsPage()->uploadRunner(); }
};

std::unique_ptr<sim::Simulator> startSimulator() {
    sim::SimOptions o;
    o.bind = "127.0.0.2";
    o.port = kPort;
    o.meterHz = 20;
    auto s = std::make_unique<sim::Simulator>(o);
    std::string error;
    if (!s->start(error)) qFatal("simulator: %s", error.c_str());
    return s;
}

} // namespace

class LinkActionsTest : public QObject {
    Q_OBJECT

private slots:
    void pendingTextCountsInBothLanguages() {
        QCOMPARE(LinkActions::pendingText(0, 1), QString());
        QCOMPARE(LinkActions::pendingText(1, 1), "1 change not on the device");
        QCOMPARE(LinkActions::pendingText(3, 1), "3 changes not on the device");
        QCOMPARE(LinkActions::pendingText(3, 2), "3 项更改尚未发送到设备");
    }

    void offlineEditsAreCountedAndPullKeepsTheDevicesSettings() {
        auto sim = startSimulator();
        Rig r;
        QVERIFY(r.pendingLabel()->isHidden());
        r.edit(&r.state.in(3).level, 33);
        QVERIFY(r.pendingLabel()->isVisible());
        QCOMPARE(r.pendingLabel()->text(), "1 change not on the device");
        r.edit(&r.state.in(3).level, 34); // the same fader: still one change
        r.edit(&r.state.in(3).mute, 1);
        QCOMPARE(r.pendingLabel()->text(), "2 changes not on the device");
        // A control surface's or a script's edit waits on this computer just as well.
        r.window->edits().edit(*FieldRegistry::instance().idOf(r.state, &r.state.in(6).mute), 1, {},
                               EditOrigin::Remote);
        QCOMPARE(r.pendingLabel()->text(), "3 changes not on the device");
        // Beside the status label, not over it.
        const QRect s = r.window->findChild<QLabel*>("statusLabel")->geometry();
        QVERIFY(r.pendingLabel()->geometry().left() > s.right());

        r.pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(r.link->online(), 5000);
        QTRY_VERIFY(r.actions().question());
        // Enter keeps the device's settings.
        QCOMPARE(r.actions().question()->defaultButton()->objectName(), "pullButton");
        QVERIFY(r.answer("pullButton"));
        QVERIFY(r.actions().pending().empty());
        QVERIFY(r.pendingLabel()->isHidden());
        const DeviceState device = sim->snapshot();
        QCOMPARE(r.state.in(3).level, device.in(3).level);
        QVERIFY(device.in(3).level != 34);
        QVERIFY(!r.runner()->running());
        // Edits online go straight out and wait for nothing.
        r.edit(&r.state.in(4).level, 20);
        QVERIFY(r.pendingLabel()->isHidden());
        QTRY_COMPARE(sim->snapshot().in(4).level, 20);
    }

    void pushSendsTheComputersSettingsAndTheNextFullStateShowsThem() {
        auto sim = startSimulator();
        Rig r;
        r.edit(&r.state.in(3).level, 34);
        r.edit(&r.state.in(5).mute, 1);
        r.pressConnect();
        // The device's full state overwrote the computer's values before anyone answered.
        QTRY_VERIFY_WITH_TIMEOUT(r.link->online(), 5000);
        QVERIFY(r.answer("pushButton"));
        QCOMPARE(r.state.in(3).level, 34); // restored at once, before the upload
        QVERIFY(r.runner()->running());
        QVERIFY(r.actions().pending().empty());
        QElapsedTimer took;
        took.start();
        QTRY_VERIFY_WITH_TIMEOUT(!r.runner()->running(), 20000);
        qInfo("upload took %lld ms", static_cast<long long>(took.elapsed()));
        QCOMPARE(sim->snapshot().in(3).level, 34);
        QCOMPARE(sim->snapshot().in(5).mute, 1);
        // Sending everything is not hundreds of edits to take back one by one.
        QCoreApplication::processEvents();
        const EditHistory& history = r.window->findChild<UndoActions*>("undoActions")->history();
        QCOMPARE(history.undoCount(), std::size_t{0});
        r.edit(&r.state.in(7).level, 25);
        QCOMPARE(history.undoCount(), std::size_t{1});

        // Get all: a new handshake, whose report carries what the push left on the device.
        r.state.in(3).level = 0;
        r.state.in(5).mute = 0;
        int fullStates = 0;
        connect(r.link.get(), &LinkAdapter::reportDispatched, this,
                [&](const DispatchResult& d, const ChangeSet&) { fullStates += d.wentOnline; });
        r.actions().getAllAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(fullStates == 1, 5000);
        QTRY_COMPARE(history.undoCount(), std::size_t{0}); // the device's state starts it afresh
        QCOMPARE(r.state.in(3).level, 34);
        QCOMPARE(r.state.in(5).mute, 1);
        QVERIFY(!r.actions().question()); // nothing pending: nothing to ask
        QVERIFY(r.link->online());
        QTRY_COMPARE(sim->subscribedClients(), 1); // Q 1 after the names report

        // Send all on demand, while online.
        r.state.in(6).level = 12; // not through the edit path: only a send-all carries it
        QVERIFY(r.actions().push());
        QTRY_VERIFY_WITH_TIMEOUT(!r.runner()->running(), 20000);
        QCOMPARE(sim->snapshot().in(6).level, 12);
    }

    void aRestartedDeviceIsReconnectedAndTheOfflineEditsAsked() {
        TrafficLog traffic; // outlive the window's dock
        EventLog events;
        auto sim = startSimulator();
        Rig r(true, 300ms);
        LogDock::install(*r.window, *r.link, traffic, events);
        auto* undo = r.window->findChild<UndoActions*>("undoActions");
        int resets = 0;
        connect(undo, &UndoActions::historyReset, this, [&] { ++resets; });
        r.pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(r.link->online(), 5000);
        QTest::qWait(100);
        QCOMPARE(resets, 0);              // nothing to forget yet
        r.edit(&r.state.in(4).level, 20); // online: goes out, nothing pending
        sim.reset();
        QTRY_COMPARE_WITH_TIMEOUT(r.status(), QString("RECONNECTING"), 3000);
        QVERIFY(!r.link->online());
        r.edit(&r.state.in(2).level, 15);
        QCOMPARE(r.pendingLabel()->text(), "1 change not on the device");
        // Taking back an edit while the device is away leaves the device behind as well.
        QVERIFY(undo->undo());
        QCOMPARE(r.state.in(2).level, 60);
        QVERIFY(undo->undo());
        QCOMPARE(r.pendingLabel()->text(), "2 changes not on the device");
        r.edit(&r.state.in(2).level, 15);
        sim = startSimulator();
        QTRY_VERIFY_WITH_TIMEOUT(r.link->online(), 5000);
        QCOMPARE(r.status(), "ONLINE");
        // The device's state came back: the history starts afresh, and the log tells the story.
        QTRY_COMPARE(resets, 1);
        std::vector<EventEntry> entries;
        events.since(0, entries);
        QStringList texts;
        for (const EventEntry& e : entries)
            texts << QString::fromStdString(e.text);
        QVERIFY2(texts.contains("Link: RECONNECTING"), qPrintable(texts.join('|')));
        QCOMPARE(texts.count("Link: reconnected"), 1);
        QVERIFY(texts.indexOf("Link: reconnected") > texts.indexOf("Link: RECONNECTING"));
        QCOMPARE(resets, 1); // the names report after the full state forgets nothing more
        QVERIFY(r.answer("pullButton"));
        QVERIFY(r.pendingLabel()->isHidden());
        QCOMPARE(r.window->findChild<NavButton*>("connectButton")->text(), "DISCONNECT");
        // No popup and no message on the way.
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!(w->isVisible() && w->objectName() == "linkMessage"));
    }

    void theSettingFollowsTheMenuAndTheCheckBoxAndIsStored() {
        Rig r(true);
        QVERIFY(r.profile.readAutoReconnect()); // on unless turned off
        QCheckBox* box = r.window->deviceSettingsPage()->reconnectBox();
        QAction* action = r.actions().reconnectAction();
        QVERIFY(box->isChecked() && action->isChecked());
        QVERIFY(r.window->deviceMenu()->actions().contains(action));
        action->trigger();
        QVERIFY(!box->isChecked());
        QVERIFY(!r.link->link().connection().autoReconnect());
        QVERIFY(!r.profile.readAutoReconnect());
        box->click();
        QVERIFY(action->isChecked());
        QVERIFY(r.link->link().connection().autoReconnect());
        QVERIFY(r.profile.readAutoReconnect());
    }
};

QTEST_MAIN(LinkActionsTest)
#include "test_link_actions.moc"
