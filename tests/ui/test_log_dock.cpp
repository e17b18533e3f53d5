// The Log panel against the simulator: hidden by default and unhooked while hidden, the traffic
// filter with reports hidden until asked for, pause and copy, and the event log's feed.
#include "link/device_link.h"
#include "log/event_log.h"
#include "log/traffic_log.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <memory>

#include "app/app_options.h"
#include "app/log_dock.h"
#include "app/main_window.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "sim/simulator.h"
#include "widgets/name_dialog.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

const std::uint16_t kPort = static_cast<std::uint16_t>(40000 + (getpid() + 7919) % 20000);

struct Rig {
    QTemporaryDir dir;
    Profile profile{dir.path()};
    DeviceState state;
    TrafficLog traffic{std::chrono::milliseconds(20)};
    EventLog events;
    std::unique_ptr<LinkAdapter> link;
    std::unique_ptr<MainWindow> window;
    LogDock* dock = nullptr;

    Rig() {
        loadFactoryDefaults(state, 1);
        state.link.hostAddress = "127.0.0.2";
        state.link.udpPort = kPort;
        LinkOptions lo;
        lo.bindAddress = "127.0.0.1";
        lo.timing.startWait = lo.timing.restartWait = lo.timing.settleWait = std::chrono::milliseconds(20);
        link = std::make_unique<LinkAdapter>(state, lo);
        window = std::make_unique<MainWindow>(state, *link, profile);
        dock = LogDock::install(*window, *link, traffic, events);
        window->resize(1400, 900);
        window->show();
    }
    ~Rig() {
        window.reset();
        link.reset();
    }
    QString trafficText() const { return dock->trafficView()->toPlainText(); }
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

QAction* viewAction(const MainWindow& w, const char* name) {
    for (QAction* a : w.viewMenu()->actions())
        if (a->objectName() == name) return a;
    return nullptr;
}

} // namespace

class LogDockTest : public QObject {
    Q_OBJECT

private slots:
    void hiddenByDefaultAndHookedOnlyWhileWanted() {
        Rig r;
        QCOMPARE(r.window->findChild<LogDock*>("logDock"), r.dock);
        QVERIFY(!r.dock->isVisible());
        QVERIFY(!r.dock->reportsBox()->isChecked());
        QCOMPARE(r.link->link().trafficLog(), nullptr);
        QAction* toggle = viewAction(*r.window, "actionLog");
        QVERIFY(toggle);
        toggle->trigger();
        QTRY_VERIFY(r.dock->isVisible());
        QCOMPARE(r.link->link().trafficLog(), &r.traffic);
        toggle->trigger();
        QTRY_VERIFY(!r.dock->isVisible());
        QCOMPARE(r.link->link().trafficLog(), nullptr);
        // A file being written keeps the link hooked with the panel closed.
        std::string error;
        QVERIFY(r.traffic.openFile((r.dir.path() + "/t.log").toStdString(), error));
        r.dock->updateHook();
        QCOMPARE(r.link->link().trafficLog(), &r.traffic);
    }

    void filterPauseAndCopy() {
        auto sim = startSimulator();
        Rig r;
        r.dock->show();
        r.link->pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(r.state.link.linkOnline, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(r.trafficText().contains("> %Q,01,01,"), 3000);
        QVERIFY(r.trafficText().contains("> %Z,"));
        QVERIFY(r.trafficText().contains("< %Z,"));
        QTest::qWait(600); // a dozen status reports
        QVERIFY(!r.trafficText().contains("< %Q,"));

        QVERIFY(r.dock->countLabel()->text().startsWith(QString::number(r.dock->trafficView()->blockCount()) +
                                                        " of "));
        r.dock->reportsBox()->setChecked(true);
        QVERIFY(r.trafficText().contains("< %Q,"));
        const QString all = QString::number(r.dock->trafficView()->blockCount());
        QCOMPARE(r.dock->countLabel()->text(), all + " of " + all + " lines shown");
        r.dock->lettersField()->setText("Z");
        const QStringList lines = r.trafficText().split('\n');
        QVERIFY(lines.size() >= 2);
        for (const QString& l : lines)
            QVERIFY2(l.mid(18, 2) == "%Z", qPrintable(l));
        r.dock->lettersField()->clear();

        r.dock->pauseBox()->setChecked(true);
        const int before = r.dock->trafficView()->blockCount();
        QTest::qWait(600);
        QCOMPARE(r.dock->trafficView()->blockCount(), before);
        r.dock->pauseBox()->setChecked(false);
        QVERIFY(r.dock->trafficView()->blockCount() > before);

        r.dock->tabs()->setCurrentIndex(1);
        r.dock->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), r.trafficText());
        QTextCursor c = r.dock->trafficView()->textCursor();
        c.movePosition(QTextCursor::Start);
        c.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor, 2);
        r.dock->trafficView()->setTextCursor(c);
        r.dock->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), r.trafficText().section('\n', 0, 1) + '\n');
    }

    void linkStatusAndMessagesReachTheEventLog() {
        auto sim = startSimulator();
        Rig r;
        r.link->pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(r.state.link.linkOnline, 5000);
        r.link->workOffline();
        std::vector<EventEntry> got;
        r.events.since(0, got);
        QStringList texts;
        for (const auto& e : got)
            texts << QString::fromStdString(e.text);
        QVERIFY2(texts.contains("Link: ONLINE"), qPrintable(texts.join('|')));
        QVERIFY(texts.contains("Link: OFFLINE"));
        QCOMPARE(texts.count("Link: ONLINE"), 1);

        // Every message box, from any page, goes to the application's log.
        std::vector<EventEntry> before;
        const auto seq = appEventLog().since(0, before);
        showMessage(r.window.get(), "CANNOT CONNECT.", "QUORVEL 3.2", "testMessage");
        std::vector<EventEntry> after;
        appEventLog().since(seq, after);
        QCOMPARE(after.size(), std::size_t(1));
        QCOMPARE(after[0].text, std::string("QUORVEL 3.2: CANNOT CONNECT."));

        r.dock->show();
        QTRY_VERIFY(r.dock->eventView()->toPlainText().contains("Link: OFFLINE"));
    }

    void commandLineOption() {
        AppOptions o;
        QString err, help;
        QVERIFY(parseAppOptions({"quorvel", "--log-traffic", "/tmp/x.log"}, o, err, help));
        QCOMPARE(o.logTraffic, "/tmp/x.log");
        QVERIFY(help.contains("--log-traffic"));
        QVERIFY(parseAppOptions({"quorvel"}, o, err, help));
        QVERIFY(o.logTraffic.isEmpty());
        QVERIFY(!parseAppOptions({"quorvel", "--log-traffic"}, o, err, help));
    }
};

QTEST_MAIN(LogDockTest)
#include "test_log_dock.moc"
