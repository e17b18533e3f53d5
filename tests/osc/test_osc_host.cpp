// OSC in the application: a surface's edit is a Remote edit of the window's controller, and what
// the controller announces (a page's edit, a report) goes back to the surface.
#include "link/device_link.h"

#include <QTest>

#include "app/app_options.h"
#include "app/remote_bridge.h"
#include "binding/edit_controller.h"
#include "link/edit_sink.h"
#include "osc_client.h"
#include "session/link_adapter.h"

using namespace quorvel;
using namespace std::chrono_literals;

class OscHostTest : public QObject {
    Q_OBJECT
private slots:
    void theOptionNamesAPortOrAnAddressAndPort() {
        ui::AppOptions o;
        QString err, help;
        QVERIFY(ui::parseAppOptions({"quorvel"}, o, err, help));
        QCOMPARE(o.oscPort, quint16{0}); // off unless asked for
        QVERIFY(help.contains("--osc"));
        QVERIFY(ui::parseAppOptions({"quorvel", "--osc", "9000"}, o, err, help));
        QCOMPARE(o.oscAddress, std::string("127.0.0.1"));
        QCOMPARE(o.oscPort, quint16{9000});
        QVERIFY(ui::parseAppOptions({"quorvel", "--osc", "127.0.0.3:9001"}, o, err, help));
        QCOMPARE(o.oscAddress, std::string("127.0.0.3"));
        QCOMPARE(o.oscPort, quint16{9001});
        QVERIFY(!ui::parseAppOptions({"quorvel", "--osc", "host:9000"}, o, err, help));
        QVERIFY(err.startsWith("--osc"));
    }

    void surfaceEditsAreRemoteEditsAndChangesComeBack() {
        DeviceState s;
        loadFactoryDefaults(s);
        s.link.hostAddress = "127.0.0.2";
        ui::LinkAdapter link(s, LinkOptions{});
        RecordingSink sink;
        ui::EditController edits(s, sink);
        edits.setLocked(true); // holds back this window's own controls, not a remote surface
        std::string error;
        auto bridge = ui::startOscBridge(edits, link, "127.0.0.1", 0, error);
        QVERIFY2(bridge, error.c_str());
        std::vector<ui::EditOrigin> origins;
        QObject::connect(&edits, &ui::EditController::userChanged,
                         [&](const ChangeSet&, ui::EditOrigin o) { origins.push_back(o); });

        osc::rig::OscClient surface(bridge->osc->port());
        surface.sendInt("/quorvel/input/3/level/raw", 50);
        QTRY_COMPARE(s.in(3).level, 50);
        QCOMPARE(origins.size(), std::size_t{1});
        QVERIFY(origins[0] == ui::EditOrigin::Remote);
        QVERIFY(sink.frames.empty()); // offline: stored, nothing sent

        // A page's edit reaches the surface, which registered by sending.
        edits.setLocked(false);
        edits.edit(*FieldRegistry::instance().idOf("output[2].mute"), 1);
        std::vector<osc::rig::Received> got;
        bool seen = false;
        for (int i = 0; i < 200 && !seen; ++i) {
            QCoreApplication::processEvents();
            surface.receiveUntil(
                got, [](auto& g) { return osc::rig::OscClient::last(g, "/quorvel/output/2/mute"); }, 10ms);
            seen = osc::rig::OscClient::last(got, "/quorvel/output/2/mute") != nullptr;
        }
        QVERIFY(seen);
        QCOMPARE(osc::rig::OscClient::last(got, "/quorvel/output/2/mute")->numbers, std::vector<double>{1});
        bridge.reset(); // stops before the controller and the link go
    }
};

QTEST_MAIN(OscHostTest)
#include "test_osc_host.moc"
