// The link's headers go first: Qt's keyword macros must not be defined while they are read.
#include "link/device_link.h"
#include "log/event_log.h"
#include "log/traffic_log.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "admin/scene_library.h"
#include "app/app_options.h"
#include "app/demo_device.h"
#include "app/link_actions.h"
#include "app/log_dock.h"
#include "app/main_window.h"
#include "app/remote_bridge.h"
#include "app/screenshot_walker.h"
#include "app/signal_watcher.h"
#include "binding/edit_controller.h"
#include "link/device_state.h"
#include "link/profile.h"
#include "mixing/automix_ops.h"
#include "pages/admin/device_settings_page.h"
#include "pages/admin/scene_panel.h"
#include "presets/preset_store.h"
#include "quorvel_version.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "session/measure.h"
#include "widgets/name_dialog.h"
#include "widgets/preset_list.h"
#include "widgets/skin_painter.h"
#include "widgets/ui_text.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

// A display somebody looks at. Without one, opening the application object would itself abort;
// on the offscreen platform (tests, scripts) nobody could close a box.
bool displayWatched() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal")) return false;
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

void showStartFailure(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("QUORVEL"), text, QMessageBox::Ok);
    box.setObjectName("startFailure");
    box.exec();
}

// A start from the desktop menu has no terminal: the reason must also be seen. Scripted runs
// (screenshots) have nobody to close a box, so they only get the line.
int failStart(const QString& text, bool interactive) {
    std::fprintf(stderr, "quorvel: %s\n", qPrintable(text));
    if (interactive && displayWatched()) showStartFailure(text);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    measure::markProcessStart();

    // The options are read before any display is opened, so --help works without one.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    AppOptions opts;
    QString error, help;
    if (!parseAppOptions(args, opts, error, help)) {
        std::fprintf(stderr, "quorvel: %s\n%s", qPrintable(error), qPrintable(help));
        if (displayWatched()) {
            QApplication app(argc, argv);
            showStartFailure(error);
        }
        return 2;
    }
    if (opts.help) {
        std::fputs(qPrintable(help), stdout);
        return 0;
    }
    if (opts.version) {
        std::fputs("quorvel " QUORVEL_VERSION "\n", stdout);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("quorvel");
    QApplication::setApplicationVersion(QUORVEL_VERSION);
    // Lets the desktop match the window to the installed desktop file and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));
    QApplication::setFont(QFont(QString::fromLatin1(kUiFontFamily), 10));
    skin::applyApplicationLook(app);
    setLanguageFlag(opts.languageFlag);

    const Profile profile(opts.dataDir.isEmpty() ? defaultDataDirectory() : opts.dataDir);
    {
        std::string why;
        const std::filesystem::path eventFile =
            std::filesystem::path(profile.dataDir().toStdString()) / EventLog::kFileName;
        if (!appEventLog().openFile(eventFile, why))
            std::fprintf(stderr, "quorvel: event log: %s\n", why.c_str());
        logEvent("QUORVEL 3.2 started");
    }
    // Before the link, which may still log its last frames while it closes.
    TrafficLog traffic;
    if (!opts.logTraffic.isEmpty()) {
        std::string why;
        if (!traffic.openFile(opts.logTraffic.toStdString(), why))
            return failStart(pick("The traffic log cannot be written: %1", "无法写入通信日志: %1")
                                 .arg(QString::fromStdString(why)),
                             opts.screenshotDir.isEmpty());
    }

    DeviceState state;
    loadFactoryDefaults(state, languageFlag());
    startWithSyncOff(state);
    state.link.hostAddress = profile.readHostAddress().toStdString();

    DemoDevice demo;
    if (opts.demo) {
        sim::SimOptions so;
        so.port = kDevicePort;
        so.meterHz = 20;
        so.wiggle = true;
        so.units = opts.demoUnits; // the demo mixer has its conference units attached
        std::string why;
        if (!startDemoDevice(so, demo, why))
            return failStart(pick("The demo device could not start: %1", "演示设备无法启动: %1")
                                 .arg(QString::fromStdString(why)),
                             opts.screenshotDir.isEmpty());
    }
    // This run's address, never written to the profile.
    if (opts.demo)
        state.link.hostAddress = demo.deviceAddress;
    else if (!opts.host.isEmpty())
        state.link.hostAddress = opts.host.toStdString();

    LinkOptions lo;
    lo.languageFlag = languageFlag();
    if (opts.demo) lo.bindAddress = demo.localAddress;
    lo.autoReconnect = !opts.noReconnect && profile.readAutoReconnect();
    LinkAdapter link(state, lo);

    // The preset file is opened once the window has painted (key derivation takes tens of ms);
    // a file that cannot be opened is reported with the engine's text and the run goes on
    // without presets.
    PresetStore presets(PresetStore::pathIn(profile.dataDir().toStdString()));
    MainWindow window(state, link, profile, nullptr, &presets);
    if (opts.locked) window.edits().setLocked(true);
    if (opts.geometry.isValid()) {
        window.resize(opts.geometry);
        window.show();
    } else {
        MainWindow::showMaximisedOnScreen(window);
    }

    LogDock::install(window, link, traffic, appEventLog());

    presets.setErrorSink([&window](const std::string& message) {
        ui::showMessage(&window, QString::fromStdString(message), QStringLiteral("QUORVEL"),
                        QStringLiteral("presetError"));
    });
    QTimer::singleShot(0, &window, [&presets, &window, &state] {
        presets.OpenDatabase();
        // Every page's preset list works on the one store.
        for (PresetList* list : window.findChildren<PresetList*>()) {
            list->bind(&presets, &state);
            list->fill();
        }
        window.deviceSettingsPage()->setSceneStore(&presets);
    });

    // After the window and the link, so it goes first: the servers' threads post to them.
    RemoteSurfaces remote;
    remote.bridge = std::make_unique<RemoteBridge>(window.edits(), link);
    if (auto* actions = window.findChild<LinkActions*>())
        remote.bridge->setPendingCount([actions] { return static_cast<int>(actions->pending().count()); });
    remote.bridge->setRecallSources(&presets, [&window](std::string_view idOrName) {
        return window.deviceSettingsPage()->scenePanel()->recallFor(idOrName);
    });
    std::string apiError;
    if (!startApiSurface(remote, opts.api.toStdString(), readApiToken(profile.dataDir().toStdString()),
                         apiError))
        std::fprintf(stderr, "quorvel: --api: %s\n", apiError.c_str());
    if (opts.oscPort != 0) {
        std::string why;
        if (!startOscSurface(remote, opts.oscAddress, opts.oscPort, why))
            return failStart(QString::fromStdString(why), opts.screenshotDir.isEmpty());
        if (const std::string w = osc::offLoopbackWarning(opts.oscAddress, opts.oscPort); !w.empty())
            std::fprintf(stderr, "quorvel: %s\n", w.c_str());
    }

    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &window, [&window] { window.close(); });

    if (opts.connect || opts.demo)
        QTimer::singleShot(0, &window, [&window] { window.deviceSettingsPage()->pressConnect(); });

    std::unique_ptr<ScreenshotWalker> walker;
    if (!opts.screenshotDir.isEmpty()) {
        walker = std::make_unique<ScreenshotWalker>(window, opts.screenshotDir, opts.demo);
        walker->start();
    }

    const int rc = app.exec();
    measure::printSummary();
    return rc;
}
