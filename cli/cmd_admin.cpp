// quorvelctl for device administration: discover, scene, reset, units.
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "admin/bulk_upload.h"
#include "admin/discovery.h"
#include "admin/factory_reset.h"
#include "admin/scene.h"
#include "admin/units.h"
#include "cli/cli.h"
#include "link/device_link.h"
#include "link/ipv4.h"
#include "link/profile.h"
#include "link/state_json.h"

namespace quorvel::cli {
namespace {

using Steady = std::chrono::steady_clock;

int takePortArg(Args& args, int& port) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--port") continue;
        char* end = nullptr;
        const long v = i + 1 < args.size() ? std::strtol(args[i + 1].c_str(), &end, 10) : 0;
        if (i + 1 >= args.size() || *end || v < 1 || v > 65535)
            return usageError("--port needs a number 1..65535");
        port = static_cast<int>(v);
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        return 0;
    }
    return 0;
}

// One link to the device at --host, brought online by the handshake.
struct Online {
    DeviceState state;
    SteadyLinkClock clock;
    std::unique_ptr<DeviceLink> link;
    std::string failure;
    bool namesSeen = false;
    Steady::time_point deadline;

    int open(const GlobalOptions& g, int port) {
        loadFactoryDefaults(state);
        const std::string host = g.host.empty() ? readHostAddress(dataDirectory(g.dataDir)) : g.host;
        if (!isValidIpv4(host)) return usageError("--host: '" + host + "' is not an IPv4 address");
        if (!g.bind.empty() && !isValidIpv4(g.bind))
            return usageError("--bind: '" + g.bind + "' is not an IPv4 address");
        state.link.hostAddress = host;
        state.link.udpPort = port;
        LinkOptions options;
        options.bindAddress = g.bind;
        options.timing.restartWait = options.timing.startWait = options.timing.settleWait =
            std::chrono::milliseconds(0);
        const auto budget = std::chrono::milliseconds(static_cast<long long>(g.timeoutSeconds * 300.0));
        options.timing.retryInterval =
            std::min(options.timing.retryInterval, std::max(budget, std::chrono::milliseconds(1)));
        link = std::make_unique<DeviceLink>(state, clock, options);
        std::string error;
        if (!link->transport().checkDestination(host, error)) {
            std::cerr << "quorvelctl: " << error << "\n";
            return 1;
        }
        link->setEventSink([this](const LinkEvent& e) {
            if (e.kind == LinkEvent::Kind::MessageBox && failure.empty())
                failure = e.text == "Winsock error!"
                              ? "cannot open the link socket: " + link->lastStartError()
                              : e.text;
        });
        link->setReportObserver([this](std::string_view, const DispatchResult& r) {
            if (r.kind == ReportKind::Names) namesSeen = true;
        });
        deadline =
            Steady::now() + std::chrono::milliseconds(static_cast<long long>(g.timeoutSeconds * 1000.0));
        link->connect();
        if (!pumpUntil([this] { return state.link.linkOnline; }, deadline)) {
            std::cerr << (failure.empty() ? "CANNOT CONNECT." : failure) << "\n";
            link->closeLink();
            return 1;
        }
        // The names report (unit assignments, names) follows the full state.
        pumpUntil([this] { return namesSeen; }, std::min(deadline, Steady::now() + std::chrono::seconds(2)));
        return 0;
    }

    template <class Done> bool pumpUntil(Done done, Steady::time_point until) {
        for (;;) {
            link->tick();
            link->deliverPending();
            if (done()) return true;
            if (!failure.empty()) return false;
            const auto now = Steady::now();
            if (now >= until) return false;
            auto wake = std::min(until, now + std::chrono::milliseconds(1));
            if (auto next = link->nextDeadline()) wake = std::min(wake, std::max(*next, now));
            if (link->socketReady())
                link->waitForFrames(wake);
            else
                std::this_thread::sleep_until(wake);
        }
    }

    EditSink& sink() {
        if (!sink_)
            sink_ = std::make_unique<CallbackSink>([this](OutgoingFrame f) {
                std::string error;
                if (!link->send(std::move(f), &error)) failure = error;
            });
        return *sink_;
    }

    // Every queued frame out, then Q 0 and the socket closed.
    int finish(int rc) {
        if (!link->drain(std::chrono::seconds(5))) rc = 1;
        if (link->senderStats().failures > 0) rc = 1;
        link->closeLink();
        link->drain(std::chrono::milliseconds(500));
        return rc;
    }

    // The whole model through the paced sender, one step whenever the line is free.
    bool upload(const char* label) {
        BulkUpload up(state);
        int shown = 0;
        const bool ok = pumpUntil(
            [&] {
                up.pump(sink(), link->senderIdle());
                if (up.sent() != shown) {
                    shown = up.sent();
                    std::fprintf(stderr, "%s %d/%d\n", label, shown, up.total());
                }
                return up.finished();
            },
            Steady::time_point::max() - std::chrono::hours(1));
        return ok && up.completed();
    }

private:
    std::unique_ptr<CallbackSink> sink_;
};

int runDiscover(Args args, const GlobalOptions& g) {
    std::string from;
    int port = kDevicePort;
    double linger = 2.0;
    if (int rc = takePortArg(args, port)) return rc;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--from" && i + 1 < args.size()) {
            from = args[++i];
        } else if (args[i] == "--linger" && i + 1 < args.size()) {
            char* end = nullptr;
            linger = std::strtod(args[++i].c_str(), &end);
            if (*end || linger < 0 || linger > 60)
                return usageError("discover: --linger needs 0..60 seconds");
        } else {
            return usageError("discover: unexpected argument '" + args[i] + "'");
        }
    }
    std::string error;
    const auto iface = chooseInterface(from, error);
    if (!iface) return usageError("discover: " + error);
    DiscoveryOptions o;
    o.from = *iface;
    o.port = static_cast<std::uint16_t>(port);
    o.bindPort = static_cast<std::uint16_t>(port);
    o.linger = std::chrono::milliseconds(static_cast<long long>(linger * 1000));
    o.loopbackOnly = loopbackOnlyFromEnvironment();
    (void)g;
    std::mutex mu;
    int found = 0;
    bool done = false;
    std::condition_variable cv;
    Discovery d;
    auto onFound = [&](const FoundDevice& dev) {
        std::lock_guard lock(mu);
        ++found;
        std::printf("{\"ip\":\"%s\",\"port\":%d}\n", dev.ip.c_str(), dev.port);
        std::fflush(stdout);
    };
    DiscoveryResult result;
    auto onDone = [&](const DiscoveryResult& r) {
        std::lock_guard lock(mu);
        result = r;
        done = true;
        cv.notify_all();
    };
    if (!d.start(o, onFound, {}, onDone, error)) {
        std::cerr << "quorvelctl: discover: " << error << "\n";
        return 1;
    }
    {
        std::unique_lock lock(mu);
        cv.wait(lock, [&] { return done; });
    }
    d.stop();
    if (!result.error.empty()) std::cerr << "quorvelctl: discover: " << result.error << "\n";
    return found > 0 ? 0 : 1;
}

int runScene(Args args, const GlobalOptions& g) {
    int port = kDevicePort;
    if (int rc = takePortArg(args, port)) return rc;
    if (args.size() != 2 || (args[0] != "load" && args[0] != "save" && args[0] != "upload"))
        return usageError("scene: load FILE | save FILE | upload FILE");
    const std::string& file = args[1];
    if (args[0] == "load") {
        static DeviceState s; // large; kept off the stack
        loadFactoryDefaults(s, 1);
        std::string error;
        if (!readSceneFile(s, file, error)) {
            std::cerr << "quorvelctl: scene: " << error << "\n";
            return 2;
        }
        std::cout << stateToJson(s) << "\n";
        return 0;
    }
    // Checked before the device is touched: a damaged file sends nothing.
    static DeviceState fromFile;
    if (args[0] == "upload") {
        loadFactoryDefaults(fromFile, 1);
        std::string error;
        if (!readSceneFile(fromFile, file, error)) {
            std::cerr << "quorvelctl: scene: " << error << "\n";
            return 2;
        }
    }
    Online o;
    if (int rc = o.open(g, port)) return rc;
    if (args[0] == "save") {
        std::string error;
        if (!writeSceneFile(o.state, file, error)) {
            std::cerr << "quorvelctl: scene: " << error << "\n";
            return o.finish(1);
        }
        return o.finish(0);
    }
    LinkState link = o.state.link;
    o.state = fromFile;
    o.state.link = link;
    return o.finish(o.upload("upload") ? 0 : 1);
}

int runReset(Args args, const GlobalOptions& g) {
    int port = kDevicePort;
    if (int rc = takePortArg(args, port)) return rc;
    if (!args.empty()) return usageError("reset: unexpected argument '" + args[0] + "'");
    Online o;
    if (int rc = o.open(g, port)) return rc;
    applyFactoryReset(o.state, 1);
    if (!o.upload("reset")) return o.finish(1);
    const int rc = o.finish(0);
    if (rc == 0) std::cout << kResetDoneMessage << "\n";
    return rc;
}

int runUnits(Args args, const GlobalOptions& g) {
    int port = kDevicePort;
    if (int rc = takePortArg(args, port)) return rc;
    auto number = [](const std::string& t, int lo, int hi) {
        char* end = nullptr;
        const long v = std::strtol(t.c_str(), &end, 10);
        return (*end || t.empty() || v < lo || v > hi) ? -1 : static_cast<int>(v);
    };
    const bool assign = args.size() == 4 && args[0] == "assign";
    const bool call = args.size() == 2 && args[0] == "call";
    const bool reset = args.size() == 1 && args[0] == "reset";
    if (!assign && !call && !reset) return usageError("units: assign UNIT SLOT VALUE | call UNIT | reset");
    int unit = 0, slot = 0, value = 0;
    if (assign || call) {
        unit = number(args[1], 1, kUnits);
        if (unit < 0) return usageError("units: UNIT is 1..4");
    }
    if (assign) {
        slot = number(args[2], 1, kUnitSlots);
        const auto v = parseUnitSlotValue(args[3]);
        if (slot < 0) return usageError("units: SLOT is 1..5");
        if (!v) return usageError("units: VALUE is NULL, CH01..CH12, M01..M04 or 0..16");
        value = *v;
    }
    Online o;
    if (int rc = o.open(g, port)) return rc;
    if (call) {
        callUnit(o.sink(), unit);
        return o.finish(0);
    }
    if (reset) {
        resetUnits(o.state, o.sink());
        return o.finish(0);
    }
    const EditOutcome r = assignUnitSlot(o.state, o.sink(), unit, slot, value);
    if (!r.applied) {
        std::cerr << r.refusal << "\n";
        return o.finish(1);
    }
    return o.finish(0);
}

} // namespace

int runAdmin(const std::string& name, const Args& args, const GlobalOptions& g) {
    if (name == "discover") return runDiscover(args, g);
    if (name == "scene") return runScene(args, g);
    if (name == "reset") return runReset(args, g);
    if (name == "units") return runUnits(args, g);
    return -1;
}

} // namespace quorvel::cli
