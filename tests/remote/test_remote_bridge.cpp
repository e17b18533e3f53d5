// The application's side of the API: a remote edit goes through the window's edit controller as
// the Remote origin, and what the pages and the reports change reaches the subscribers.
#include "link/device_link.h"
#include "remote/api_server.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>

#include <nlohmann/json.hpp>

#include "../live/ports.h"
#include "admin/scene_library.h"
#include "app/app_options.h"
#include "app/main_window.h"
#include "app/remote_bridge.h"
#include "binding/edit_controller.h"
#include "link/field_registry.h"
#include "link/profile.h"
#include "presets/preset_blocks.h"
#include "presets/preset_store.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "sim/simulator.h"
#include "tcp_client.h"

using namespace quorvel;

namespace {

// The owner is this thread's event loop: keep it turning while the answer is awaited.
std::string awaitLine(test::LineClient& c) {
    for (int i = 0; i < 300; ++i) {
        QCoreApplication::processEvents();
        pollfd p{c.fd(), POLLIN, 0};
        if (::poll(&p, 1, 10) > 0) return c.readLine();
    }
    return {};
}

std::string ask(test::LineClient& c, const std::string& line) {
    c.sendLine(line);
    return awaitLine(c);
}

} // namespace

class RemoteBridgeTest : public QObject {
    Q_OBJECT
private slots:
    void remoteEditsGoThroughTheControllerAndPageEditsAreHeard() {
        DeviceState s;
        loadFactoryDefaults(s);
        s.link.linkOnline = true;
        RecordingSink sink;
        ui::EditController edits(s, sink);
        ui::LinkAdapter link(s, LinkOptions{});
        ui::RemoteBridge bridge(edits, link);
        remote::ApiOptions o;
        o.port = 0;
        remote::ApiServer server(bridge, o);
        std::string error;
        QVERIFY2(server.start(error), error.c_str());
        bridge.addListener(&server.handler());

        std::vector<ui::EditOrigin> origins;
        QObject::connect(&edits, &ui::EditController::userChanged,
                         [&](const ChangeSet&, ui::EditOrigin origin) { origins.push_back(origin); });
        edits.setLocked(true); // the lock holds back this window only
        test::LineClient c(server.port());
        QCOMPARE(ask(c, R"({"jsonrpc":"2.0","id":1,"method":"set","params":{"input[3].level":40}})"),
                 std::string(R"({"jsonrpc":"2.0","id":1,"result":{"input[3].level":40}})"));
        QCOMPARE(s.in(3).level, 40);
        QVERIFY(!sink.frames.empty());
        QCOMPARE(origins.size(), std::size_t(1));
        QVERIFY(origins[0] == ui::EditOrigin::Remote);
        edits.setLocked(false);

        QCOMPARE(
            ask(c, R"({"jsonrpc":"2.0","id":2,"method":"subscribe","params":{"paths":["input[4].level"]}})"),
            std::string(R"({"jsonrpc":"2.0","id":2,"result":{"paths":1,"meters":0}})"));
        // A page's edit, and a report announced through the controller.
        const FieldId level4 = *FieldRegistry::instance().idOf("input[4].level");
        edits.edit(level4, 25);
        QCOMPARE(awaitLine(c),
                 std::string(R"({"jsonrpc":"2.0","method":"changed","params":{"input[4].level":25}})"));
        s.in(4).level = 26;
        ChangeSet report;
        report.add(level4);
        edits.announce(report);
        QCOMPARE(awaitLine(c),
                 std::string(R"({"jsonrpc":"2.0","method":"changed","params":{"input[4].level":26}})"));

        // Offline an edit is stored, sent nowhere, and counted as pending.
        s.link.linkOnline = false;
        sink.frames.clear();
        ask(c, R"({"jsonrpc":"2.0","id":3,"method":"set","params":{"input[5].level":10}})");
        QVERIFY(sink.frames.empty());
        QVERIFY(ask(c, R"({"jsonrpc":"2.0","id":4,"method":"status"})").find(R"("pendingEdits":1)") !=
                std::string::npos);
        server.stop();
    }

    // A remote recall is the page's: the block stored and sent, the pages told, one undo step of
    // the Remote origin; a scene goes to the window's own recall.
    void recallOfAPresetAndAScene() {
        QTemporaryDir dir;
        PresetStore store(PresetStore::pathIn(dir.path().toStdString()));
        QVERIFY(store.OpenDatabase());
        DeviceState saved;
        loadFactoryDefaults(saved);
        std::string error;
        QVERIFY(assignField(saved, "output[1].geq[7]=40", error));
        QVERIFY(saveBlockPreset(store, PresetBlock::Geq, saved, 0));

        DeviceState s;
        loadFactoryDefaults(s);
        s.link.linkOnline = true;
        RecordingSink sink;
        ui::EditController edits(s, sink);
        ui::LinkAdapter link(s, LinkOptions{});
        ui::RemoteBridge bridge(edits, link);
        std::vector<std::string> scenesAsked;
        bridge.setRecallSources(&store, [&](std::string_view idOrName) {
            scenesAsked.emplace_back(idOrName);
            SceneResult r;
            if (idOrName != "Show") {
                r.status = SceneStatus::NoSuchId;
                r.message = "No scene.";
            }
            return r;
        });
        std::vector<ui::EditOrigin> origins;
        bool pagesTold = false;
        QObject::connect(&edits, &ui::EditController::userChanged,
                         [&](const ChangeSet&, ui::EditOrigin origin) { origins.push_back(origin); });
        QObject::connect(&edits, &ui::EditController::changed, [&](const ChangeSet& c) {
            pagesTold = pagesTold || c.contains(*FieldRegistry::instance().idOf("output[3].geq[7]"));
        });

        QVERIFY2(bridge.recall("GEQ", "1", 3, error), error.c_str());
        QCOMPARE(s.out(3).geq[6].gain, 40);
        QCOMPARE(s.out(1).geq[6].gain, saved.out(2).geq[6].gain);
        QVERIFY(!sink.frames.empty());
        QVERIFY(pagesTold);
        QCOMPARE(origins.size(), std::size_t(1));
        QVERIFY(origins[0] == ui::EditOrigin::Remote);

        sink.frames.clear();
        QVERIFY(!bridge.recall("GEQ", "1", 9, error)); // outputs are 1..8
        QVERIFY(!bridge.recall("GEQ", "SAVE2", 1, error));
        QVERIFY(sink.frames.empty());

        QVERIFY(bridge.recall("scene", "Show", 0, error));
        QVERIFY(!bridge.recall("scene", "Other", 0, error));
        QCOMPARE(error, std::string("No scene."));
        QCOMPARE(scenesAsked.size(), std::size_t(2));
    }

    // The whole window on the simulator, as a room controller meets it: a set reaches the device,
    // a fader moved at the device and a page's edit reach a subscriber.
    void apiSessionAgainstTheWindowOnTheSimulator() {
        sim::SimOptions so;
        so.bind = "127.0.0.2";
        so.port = testPort(3);
        so.wiggle = true;
        sim::Simulator device(so);
        std::string error;
        QVERIFY2(device.start(error), error.c_str());

        QTemporaryDir dir;
        ui::Profile profile{dir.path()};
        DeviceState state;
        loadFactoryDefaults(state, 1);
        state.link.hostAddress = "127.0.0.2";
        state.link.udpPort = so.port;
        LinkOptions lo;
        lo.bindAddress = "127.0.0.1";
        lo.timing.restartWait = lo.timing.startWait = lo.timing.settleWait = std::chrono::milliseconds(0);
        ui::LinkAdapter link(state, lo);
        ui::MainWindow window(state, link, profile);
        ui::RemoteSurfaces remote;
        remote.bridge = std::make_unique<ui::RemoteBridge>(window.edits(), link);
        QVERIFY2(ui::startApiSurface(remote, "127.0.0.1:" + std::to_string(testPort(4)), "", error),
                 error.c_str());
        QVERIFY(remote.api);

        test::LineClient c(remote.api->port());
        QVERIFY(ask(c, R"({"jsonrpc":"2.0","id":1,"method":"connect"})").find("result") != std::string::npos);
        for (int i = 0; i < 500 && !state.link.linkOnline; ++i)
            QTest::qWait(10);
        QVERIFY(state.link.linkOnline);

        QCOMPARE(ask(c, R"({"jsonrpc":"2.0","id":2,"method":"set","params":{"input[3].level":50}})"),
                 std::string(R"({"jsonrpc":"2.0","id":2,"result":{"input[3].level":50}})"));
        QTRY_COMPARE_WITH_TIMEOUT(device.snapshot().in(3).level, 50, 5000);

        QVERIFY(ask(c, R"({"jsonrpc":"2.0","id":3,"method":"subscribe","params":{"paths":"all"}})")
                    .find("result") != std::string::npos);
        // The simulator's hand on a fader: any level it moved, as the device now holds it.
        bool wiggleHeard = false;
        for (int i = 0; i < 400 && !wiggleHeard; ++i) {
            const std::string line = awaitLine(c);
            if (line.find(R"("method":"changed")") == std::string::npos) continue;
            const auto params = nlohmann::json::parse(line)["params"];
            for (auto it = params.begin(); it != params.end(); ++it)
                if (it.key().find("].level") != std::string::npos) wiggleHeard = true;
        }
        QVERIFY(wiggleHeard);

        // A page's edit.
        window.edits().edit(*FieldRegistry::instance().idOf("output[2].mute"), 1);
        bool pageHeard = false;
        for (int i = 0; i < 400 && !pageHeard; ++i) {
            const std::string line = awaitLine(c);
            pageHeard = line.find(R"("output[2].mute":1)") != std::string::npos;
        }
        QVERIFY(pageHeard);
        QTRY_COMPARE_WITH_TIMEOUT(device.snapshot().out(2).mute, 1, 5000);
        link.workOffline();
    }

    void commandLineAndProfileToken() {
        ui::AppOptions o;
        QString err, help;
        QVERIFY(ui::parseAppOptions({"quorvel"}, o, err, help));
        QCOMPARE(o.api, QString("127.0.0.1:39021"));
        QVERIFY(ui::parseAppOptions({"quorvel", "--api", "off"}, o, err, help));
        QCOMPARE(o.api, QString("off"));
        QVERIFY(ui::parseAppOptions({"quorvel", "--api", "127.0.0.3:4000"}, o, err, help));
        QVERIFY(!ui::parseAppOptions({"quorvel", "--api", "lan:4000"}, o, err, help));
        QVERIFY(err.contains("--api"));
        QVERIFY(help.contains("--api"));

        // Off loopback the window's API stays shut without the profile's token.
        QTemporaryDir dir;
        QCOMPARE(readApiToken(dir.path().toStdString()), std::string());
        std::string error;
        QVERIFY(writeProfileValue(profilePath(dir.path().toStdString()), kProfileSection, kProfileApiTokenKey,
                                  "t0ken", error));
        QCOMPARE(readApiToken(dir.path().toStdString()), std::string("t0ken"));
        DeviceState s;
        loadFactoryDefaults(s);
        RecordingSink sink;
        ui::EditController edits(s, sink);
        ui::LinkAdapter link(s, LinkOptions{});
        QVERIFY(!ui::startRemoteApi("0.0.0.0:4000", "", edits, link, error));
        QVERIFY(error.find("token") != std::string::npos);
        error.clear();
        QVERIFY(!ui::startRemoteApi("off", "", edits, link, error));
        QVERIFY(error.empty());
    }
};

QTEST_MAIN(RemoteBridgeTest)
#include "test_remote_bridge.moc"
