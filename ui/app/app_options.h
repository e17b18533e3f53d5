// The command line of the application.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <string>

namespace quorvel::ui {

struct AppOptions {
    QString host;         // device address for this run only; empty = the profile's
    bool connect = false; // press CONNECT once the window is up
    QString dataDir;      // overrides the data directory
    int languageFlag = 1;
    bool demo = false;
    QSize geometry;        // fixed window size instead of maximised (screenshots)
    QString screenshotDir; // walk every page, save one PNG each, then quit
    int demoUnits = 4;     // conference units the demo device reports (0..4)
    bool help = false;
    bool version = false;
    bool noReconnect = false; // this run never retries the handshake on its own
    bool locked = false;      // the surface starts locked
    QString logTraffic;       // append every frame sent, accepted or dropped to this file
    QString api = QStringLiteral("127.0.0.1:39021"); // remote-control API: ADDR:PORT or off
    std::string oscAddress = "127.0.0.1";            // OSC for control surfaces; port 0: off
    quint16 oscPort = 0;
};

// Returns false with a one-line message on a bad option or value; helpText is always filled.
bool parseAppOptions(const QStringList& arguments, AppOptions& out, QString& error, QString& helpText);

} // namespace quorvel::ui
