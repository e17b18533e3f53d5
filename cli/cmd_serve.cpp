// quorvelctl serve: the remote-control API (and OSC) for a machine without a window. It holds the
// device link itself; one owner thread runs the link and every request, woken by the link's
// receive thread and by the servers' I/O threads, and a signal thread ends it on SIGTERM/SIGINT.
#include <pthread.h>

#include <csignal>
#include <iostream>
#include <memory>
#include <thread>

#include "cli/cli.h"
#include "link/device_link.h"
#include "link/profile.h"
#include "mixing/automix_ops.h"
#include "osc/osc_server.h"
#include "presets/preset_store.h"
#include "remote/api_server.h"
#include "remote/link_host.h"

namespace quorvel::cli {

int runServe(Args args, const GlobalOptions& g) {
    int port = kDevicePort;
    std::string apiOption = "127.0.0.1:" + std::to_string(remote::kDefaultApiPort);
    std::string oscOption;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a != "--api" && a != "--osc" && a != "--port")
            return usageError("serve: unexpected argument '" + a + "'");
        if (i + 1 >= args.size()) return usageError("serve: " + a + " needs a value");
        const std::string& v = args[++i];
        if (a == "--api") {
            apiOption = v;
        } else if (a == "--osc") {
            oscOption = v;
        } else {
            char* end = nullptr;
            long p = std::strtol(v.c_str(), &end, 10);
            if (*end || p < 1 || p > 65535) return usageError("serve: --port needs a number 1..65535");
            port = static_cast<int>(p);
        }
    }
    remote::ListenAddress api;
    std::string error;
    if (!remote::parseListenAddress(apiOption, api, error)) return usageError("serve: --api: " + error);
    if (!oscOption.empty()) {
        osc::OscEndpoint e;
        if (!osc::parseOscEndpoint(oscOption, e, error)) return usageError("serve: --osc: " + error);
        if (const std::string w = osc::offLoopbackWarning(e.address, e.port); !w.empty())
            std::cerr << "quorvelctl: serve: " << w << "\n";
    }
    const auto dataDir = dataDirectory(g.dataDir);
    const std::string token = readApiToken(dataDir);
    if (!api.off && !remote::mayListen(api.address, token, error))
        return usageError("serve: --api: " + error);

    std::string host = g.host.empty() ? readHostAddress(dataDir) : g.host;
    if (!isValidIpv4(host)) return usageError("--host: '" + host + "' is not an IPv4 address");
    if (!g.bind.empty() && !isValidIpv4(g.bind))
        return usageError("--bind: '" + g.bind + "' is not an IPv4 address");

    // Before any thread starts, so that only the signal thread takes them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    DeviceState state;
    loadFactoryDefaults(state);
    startWithSyncOff(state);
    state.link.hostAddress = host;
    state.link.udpPort = port;
    SteadyLinkClock clock;
    LinkOptions options;
    options.bindAddress = g.bind;
    // Nobody sits at a rack machine to press CONNECT after the device restarts.
    options.autoReconnect = true;
    DeviceLink link(state, clock, options);
    if (!link.transport().checkDestination(host, error)) {
        std::cerr << "quorvelctl: " << error << "\n";
        return 1;
    }
    link.setEventSink([&](const LinkEvent& e) {
        if (e.kind == LinkEvent::Kind::MessageBox || e.kind == LinkEvent::Kind::StatusLabel)
            std::cerr << "quorvelctl: " << e.text << "\n";
    });
    link.setSendFailureHandler(
        [](const std::string& why) { std::cerr << "quorvelctl: send: " << why << "\n"; });

    remote::LinkHost owner(state, link);
    // Opened on the first recall; a data directory without one gets an empty store then.
    PresetStore presets(PresetStore::pathIn(dataDir));
    presets.setErrorSink([](const std::string& m) { std::cerr << "quorvelctl: presets: " << m << "\n"; });
    owner.setRecallSources(&presets, dataDir);
    remote::ApiOptions apiOptions;
    apiOptions.address = api.address;
    apiOptions.port = api.port;
    apiOptions.token = token;
    remote::ApiServer server(owner, apiOptions);
    if (!api.off) {
        if (!server.start(error)) {
            std::cerr << "quorvelctl: serve: " << error << "\n";
            return 1;
        }
        owner.addListener(&server.handler());
        std::cerr << "quorvelctl: API on " << api.address << ":" << server.port() << "\n";
    }
    std::unique_ptr<osc::OscServer> osc;
    if (!oscOption.empty()) {
        osc = osc::startOscBridge(owner, std::string_view(oscOption), error);
        if (osc) owner.addListener(osc.get());
        if (!osc) {
            std::cerr << "quorvelctl: serve: --osc: " << error << "\n";
            return 1;
        }
    }

    link.connect();
    std::thread waiter([&] {
        int sig = 0;
        sigwait(&signals, &sig);
        owner.stop();
    });
    owner.run();
    waiter.join();

    if (osc) owner.removeListener(osc.get());
    osc.reset();
    server.stop();
    link.closeLink();
    link.drain(std::chrono::milliseconds(500));
    return 0;
}

} // namespace quorvel::cli
