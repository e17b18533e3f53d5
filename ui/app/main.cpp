// The link's headers go first: Qt's keyword macros must not be defined while they are read.
#include "link/device_link.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "app/app_options.h"
#include "app/app_profile.h"
#include "app/link_adapter.h"
#include "app/main_window.h"
#include "app/measure.h"
#include "app/screenshot_walker.h"
#include "app/signal_watcher.h"
#include "app/skin_painter.h"
#include "app/ui_text.h"
#include "link/device_state.h"
#include "pages/admin/device_settings_page.h"
#if defined(QUORVEL_PRESETS_AVAILABLE)
#include "app/name_dialog.h"
#include "presets/preset_store.h"
#endif

#if defined(QUORVEL_SIM_AVAILABLE)
#include "sim/simulator.h"
#endif

using namespace quorvel;
using namespace quorvel::ui;

namespace {
constexpr const char* kDemoAddress = "127.0.0.2";
}

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
        return 2;
    }
    if (opts.help) {
        std::fputs(qPrintable(help), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("quorvel");
    QApplication::setApplicationVersion("3.2");
    QApplication::setFont(QFont(QString::fromLatin1(kUiFontFamily), 10));
    skin::applyApplicationLook(app);
    setLanguageFlag(opts.languageFlag);

    const Profile profile(opts.dataDir.isEmpty() ? defaultDataDirectory() : opts.dataDir);

    DeviceState state;
    loadFactoryDefaults(state, languageFlag());
    state.link.hostAddress = profile.readHostAddress().toStdString();

#if defined(QUORVEL_SIM_AVAILABLE)
    std::unique_ptr<sim::Simulator> simulator;
    if (opts.demo) {
        sim::SimOptions so;
        so.bind = kDemoAddress;
        so.port = kDevicePort;
        so.meterHz = 20;
        so.wiggle = true;
        simulator = std::make_unique<sim::Simulator>(so);
        std::string why;
        if (!simulator->start(why)) {
            std::fprintf(stderr, "quorvel: the demo device could not start: %s\n", why.c_str());
            return 1;
        }
    }
#else
    if (opts.demo) {
        std::fprintf(stderr, "quorvel: this build has no demo device\n");
        return 1;
    }
#endif
    // This run's address, never written to the profile.
    if (opts.demo)
        state.link.hostAddress = kDemoAddress;
    else if (!opts.host.isEmpty())
        state.link.hostAddress = opts.host.toStdString();

    LinkOptions lo;
    lo.languageFlag = languageFlag();
    if (opts.demo) lo.bindAddress = "127.0.0.1";
    LinkAdapter link(state, lo);

    MainWindow window(state, link, profile);
    if (opts.geometry.isValid()) {
        window.resize(opts.geometry);
        window.show();
    } else {
        window.showMaximized();
    }

#if defined(QUORVEL_PRESETS_AVAILABLE)
    // The preset file is opened once the window has painted (key derivation takes tens of ms);
    // a file that cannot be opened is reported with the engine's text and the run goes on
    // without presets.
    PresetStore presets(PresetStore::pathIn(profile.dataDir().toStdString()));
    presets.setErrorSink([&window](const std::string& message) {
        ui::showMessage(&window, QString::fromStdString(message), QStringLiteral("QUORVEL"),
                        QStringLiteral("presetError"));
    });
    QTimer::singleShot(0, &window, [&presets] { presets.OpenDatabase(); });
#endif

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
