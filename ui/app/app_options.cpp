#include "app/app_options.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include "remote/api_server.h"

#include "osc/osc_server.h"
#include "session/app_profile.h"

namespace quorvel::ui {

bool parseAppOptions(const QStringList& arguments, AppOptions& out, QString& error, QString& helpText) {
    QCommandLineParser p;
    p.setApplicationDescription("QUORVEL mixer control application.");
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption host("host", "Device address for this run (not stored).", "ADDR");
    const QCommandLineOption connect("connect", "Connect once the window is up.");
    const QCommandLineOption dataDir("data-dir", "Directory of the profile, database and scenes.", "DIR");
    const QCommandLineOption language("language", "Language of the labels: en or zh.", "en|zh", "en");
    const QCommandLineOption demo(
        "demo",
        "Start a built-in device simulator on the first free address from 127.0.0.2 and connect to it.");
    const QCommandLineOption geometry("geometry", "Window size instead of maximised.", "WxH");
    const QCommandLineOption units("units", "Conference units the demo device reports, 0..4.", "N", "4");
    QCommandLineOption screenshots("screenshot-dir", "Save a PNG of every page into DIR, then quit.", "DIR");
    screenshots.setFlags(QCommandLineOption::HiddenFromHelp);
    p.addOptions({help, host, connect, dataDir, language, demo, geometry, units, screenshots});
    const QCommandLineOption version("version", "Show the version and exit.");
    p.addOption(version);
    const QCommandLineOption noReconnect(
        "no-reconnect", "Do not reconnect on your own when the device falls silent (this run only).");
    p.addOption(noReconnect);
    const QCommandLineOption locked("locked",
                                    "Start with the surface locked (Ctrl+L unlocks, or the lock PIN).");
    p.addOption(locked);
    const QCommandLineOption logTraffic(
        "log-traffic", "Append every frame sent, accepted or dropped to FILE, one line each.", "FILE");
    p.addOption(logTraffic);
    const QCommandLineOption api("api",
                                 "Remote-control API: ADDR:PORT, or off (default 127.0.0.1:39021; off "
                                 "loopback clients must give the profile's apiToken).",
                                 "ADDR:PORT|off", "127.0.0.1:39021");
    p.addOption(api);
    const QCommandLineOption osc(
        "osc", "Serve OSC for control surfaces and tablets on PORT (127.0.0.1) or ADDR:PORT; off by default.",
        "[ADDR:]PORT");
    p.addOption(osc);
    // Read before any application object exists, so the program name is filled in here.
    helpText = p.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("quorvel"));

    if (!p.parse(arguments)) {
        error = p.errorText();
        return false;
    }
    // A bare word is most likely a device address typed without --host; running on the stored
    // address instead would look like success while talking to another device.
    if (!p.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument \"%1\" (use --host ADDR for a device address)")
                    .arg(p.positionalArguments().first());
        return false;
    }
    out = AppOptions{};
    out.help = p.isSet(help);
    out.version = p.isSet(version);
    if (p.isSet(host)) {
        out.host = p.value(host).trimmed();
        if (!isValidDeviceAddress(out.host)) {
            error =
                QStringLiteral("--host: \"%1\" is not an IPv4 address such as 192.168.1.106").arg(out.host);
            return false;
        }
    }
    out.connect = p.isSet(connect);
    out.noReconnect = p.isSet(noReconnect);
    out.dataDir = p.value(dataDir);
    const QString lang = p.value(language).toLower();
    if (lang == "en")
        out.languageFlag = 1;
    else if (lang == "zh")
        out.languageFlag = 2;
    else {
        error = QStringLiteral("--language: expected en or zh, got \"%1\"").arg(lang);
        return false;
    }
    out.demo = p.isSet(demo);
    if (p.isSet(geometry)) {
        static const QRegularExpression re("^(\\d{2,5})x(\\d{2,5})$");
        const auto m = re.match(p.value(geometry));
        if (!m.hasMatch()) {
            error = QStringLiteral("--geometry: expected WxH, got \"%1\"").arg(p.value(geometry));
            return false;
        }
        out.geometry = QSize(m.captured(1).toInt(), m.captured(2).toInt());
    }
    out.screenshotDir = p.value(screenshots);
    out.locked = p.isSet(locked);
    out.logTraffic = p.value(logTraffic);
    if (p.isSet(logTraffic) && out.logTraffic.isEmpty()) {
        error = QStringLiteral("--log-traffic: expected a file name");
        return false;
    }
    bool unitsOk = false;
    out.demoUnits = p.value(units).toInt(&unitsOk);
    if (!unitsOk || out.demoUnits < 0 || out.demoUnits > 4) {
        error = QStringLiteral("--units: expected 0 to 4, got \"%1\"").arg(p.value(units));
        return false;
    }
    if (p.isSet(osc)) {
        osc::OscEndpoint e;
        std::string why;
        if (!osc::parseOscEndpoint(p.value(osc).trimmed().toStdString(), e, why)) {
            error = QStringLiteral("--osc: %1").arg(QString::fromStdString(why));
            return false;
        }
        out.oscAddress = e.address;
        out.oscPort = e.port;
    }
    if (out.demo && !out.host.isEmpty()) {
        error = QStringLiteral("--demo and --host cannot be combined");
        return false;
    }
    out.api = p.value(api);
    remote::ListenAddress apiAddress;
    std::string why;
    if (!remote::parseListenAddress(out.api.toStdString(), apiAddress, why)) {
        error = QStringLiteral("--api: %1").arg(QString::fromStdString(why));
        return false;
    }
    return true;
}

} // namespace quorvel::ui
