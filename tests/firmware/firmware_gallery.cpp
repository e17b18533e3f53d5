// Renders the SET and HELP tabs of the device settings, idle and in the middle of a transfer to
// the simulator with the device's own waits, for judging the look.
// Usage: firmware_gallery [out-dir] [language]
//
// The link's headers go first: Qt's keyword macros must not be defined while they are read.
#include "link/device_link.h"
#include "link/profile.h"
#include "simulator.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTemporaryDir>

#include <fstream>

#include "pages/admin/device_settings_page.h"
#include "pages/admin/firmware_tab.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "widgets/ui_text.h"

using namespace quorvel;
using namespace quorvel::ui;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    const int lang = argc > 2 ? std::atoi(argv[2]) : 1;
    setLanguageFlag(lang);
    QDir().mkpath(out);
    const QString suffix = lang == kChinese ? "-zh" : "-en";

    QTemporaryDir data, device;
    std::string error;
    writeProfileValue(profilePath(data.path().toStdString()), kProfileSection, "updateurl",
                      "http://127.0.0.1:8/version", error);
    std::ofstream(data.filePath("Digital-QUORVEL.bin").toStdString(), std::ios::binary)
        << std::string(24 * 1024, 'n');
    std::ofstream(data.filePath("DSP-QUORVEL.bin").toStdString(), std::ios::binary)
        << std::string(16 * 1024, 'd');

    sim::SimOptions o;
    o.port = 0;
    o.meterHz = 0;
    o.basicVersion = "260";
    o.hardwareVersion = "41";
    o.firmwareDir = device.path().toStdString();
    sim::Simulator sim(o);
    if (!sim.start(error)) return 1;

    DeviceState state;
    loadFactoryDefaults(state, lang);
    state.link.hostAddress = "127.0.0.2";
    state.link.udpPort = sim.boundPort();
    LinkOptions lo;
    lo.bindAddress = "127.0.0.1";
    LinkAdapter link(state, lo);
    Profile profile(data.path());
    DeviceSettingsPage page(state, link, profile, nullptr);
    page.resize(1100, 560);
    page.refresh();
    page.show();
    auto grab = [&](const char* name) { page.grab().save(QDir(out).filePath(name + suffix + ".png")); };

    page.selectTab(DeviceSettingsPage::SetTab);
    QApplication::processEvents();
    grab("system-set");
    page.selectTab(DeviceSettingsPage::HelpTab);
    QApplication::processEvents();
    grab("system-help");

    page.firmwareTab()->startLocal();
    auto* bar = page.findChild<QProgressBar*>("firmwareProgress");
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 20000 && !(bar->maximum() > 10 && bar->value() >= 9))
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    grab("system-help-transfer");
    return 0;
}
