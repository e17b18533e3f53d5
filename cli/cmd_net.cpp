// quorvelctl on the network: state, set, monitor. One DeviceLink, driven from this thread with
// real time; the waits of the CONNECT action are dropped (the receiver is ready as soon as it has
// started) and the handshake retries shrink to fit --timeout.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "link/device_link.h"
#include "link/edit.h"
#include "link/field_registry.h"
#include "link/profile.h"
#include "link/state_json.h"
#include "mixing/automix_ops.h"
#include "processing/peq_ops.h"

namespace quorvel::cli {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void onSignal(int) {
    gInterrupted = 1;
}

struct Session {
    DeviceState state;
    SteadyLinkClock clock;
    std::unique_ptr<DeviceLink> link;
    std::atomic<bool> failed{false}; // also read by the sender thread
    std::string failure;
    bool namesSeen = false;
    std::function<void(std::string_view, const DispatchResult&)> onReport;
};

using Steady = std::chrono::steady_clock;

// Takes "--port N" out of the subcommand's arguments (tests run devices on ports of their own).
bool takePort(Args& args, int& port, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--port") continue;
        if (i + 1 >= args.size()) {
            error = "--port needs a value";
            return false;
        }
        char* end = nullptr;
        long v = std::strtol(args[i + 1].c_str(), &end, 10);
        if (*end || v < 1 || v > 65535) {
            error = "--port needs a number 1..65535";
            return false;
        }
        port = static_cast<int>(v);
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        return true;
    }
    return true;
}

// Checks the addresses and builds the link; 0 when ready, else the exit code.
int prepare(Session& s, const GlobalOptions& g, int port) {
    loadFactoryDefaults(s.state);
    startWithSyncOff(s.state);
    std::string host = g.host.empty() ? readHostAddress(dataDirectory(g.dataDir)) : g.host;
    if (!isValidIpv4(host)) return usageError("--host: '" + host + "' is not an IPv4 address");
    if (!g.bind.empty() && !isValidIpv4(g.bind))
        return usageError("--bind: '" + g.bind + "' is not an IPv4 address");
    s.state.link.hostAddress = host;
    s.state.link.udpPort = port;

    LinkOptions options;
    options.bindAddress = g.bind;
    options.timing.restartWait = options.timing.startWait = options.timing.settleWait =
        std::chrono::milliseconds(0);
    // Three attempts must fail inside the time-out, so a silent device ends in "CANNOT CONNECT."
    // before the caller gives up on us.
    auto budget = std::chrono::milliseconds(static_cast<long long>(g.timeoutSeconds * 1000.0 * 0.3));
    options.timing.retryInterval =
        std::min(options.timing.retryInterval, std::max(budget, std::chrono::milliseconds(1)));
    s.link = std::make_unique<DeviceLink>(s.state, s.clock, options);

    std::string error;
    if (!s.link->transport().checkDestination(host, error)) {
        std::cerr << "quorvelctl: " << error << "\n";
        return 1;
    }
    s.link->setEventSink([&s](const LinkEvent& e) {
        if (e.kind == LinkEvent::Kind::MessageBox && !s.failed) {
            s.failed = true;
            s.failure = e.text == "Winsock error!"
                            ? "cannot open the link socket: " + s.link->lastStartError()
                            : e.text;
        } else if (e.kind == LinkEvent::Kind::StatusLabel && !e.on) {
            std::cerr << "quorvelctl: " << e.text << "\n";
        }
    });
    // May run on the sender thread; a link that failed to open has already said why.
    s.link->setSendFailureHandler([&s](const std::string& why) {
        if (!s.failed) std::cerr << "quorvelctl: send: " << why << "\n";
    });
    s.link->setReportObserver([&s](std::string_view frame, const DispatchResult& r) {
        if (r.kind == ReportKind::Names) s.namesSeen = true;
        if (s.onReport) s.onReport(frame, r);
    });
    return 0;
}

// Runs the link until done() holds, the link fails, or the deadline passes.
template <class Done> bool pump(Session& s, Done done, Steady::time_point deadline) {
    for (;;) {
        s.link->tick();
        s.link->deliverPending();
        if (done()) return true;
        if (s.failed || gInterrupted) return false;
        auto now = Steady::now();
        if (now >= deadline) return false;
        auto until = std::min(deadline, now + std::chrono::milliseconds(250)); // notice a signal soon
        if (auto next = s.link->nextDeadline()) until = std::min(until, std::max(*next, now));
        if (s.link->socketReady())
            s.link->waitForFrames(until);
        else
            std::this_thread::sleep_until(until);
    }
}

Steady::time_point deadlineAfter(double seconds) {
    return Steady::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0));
}

// Connects and waits for the full-state report; prints the failure and returns false otherwise.
bool connectOnline(Session& s, Steady::time_point deadline) {
    s.link->connect();
    if (pump(
            s, [&] { return s.state.link.linkOnline; }, deadline))
        return true;
    if (!s.failed) s.failure = gInterrupted ? "interrupted" : "CANNOT CONNECT.";
    std::cerr << s.failure << "\n";
    s.link->closeLink();
    return false;
}

void finish(Session& s, std::chrono::milliseconds drainBudget) {
    s.link->drain(drainBudget);
    s.link->closeLink();
    s.link->drain(std::chrono::milliseconds(500));
}

int runState(Args args, const GlobalOptions& g) {
    int port = kDevicePort;
    std::string error;
    if (!takePort(args, port, error)) return usageError("state: " + error);
    if (!args.empty()) return usageError("state: unexpected argument '" + args[0] + "'");
    Session s;
    if (int rc = prepare(s, g, port)) return rc;
    auto deadline = deadlineAfter(g.timeoutSeconds);
    if (!connectOnline(s, deadline)) return 1;
    // The names report follows the full state; give it a moment, but a device without names
    // still has its state printed.
    pump(
        s, [&] { return s.namesSeen; }, std::min(deadline, Steady::now() + std::chrono::seconds(2)));
    std::cout << stateToJson(s.state) << "\n";
    finish(s, std::chrono::milliseconds(500));
    return 0;
}

int runSet(Args args, const GlobalOptions& g) {
    int port = kDevicePort;
    std::string error;
    if (!takePort(args, port, error)) return usageError("set: " + error);
    if (std::find(args.begin(), args.end(), "--dry-run") != args.end()) return runSetDryRun(args);
    if (args.empty()) return usageError("set: needs PATH=VALUE");
    // Everything is checked before the network is touched.
    for (const std::string& a : args)
        if (!checkSetItem(a, error)) return usageError("set: " + error);
    Session s;
    if (int rc = prepare(s, g, port)) return rc;
    auto deadline = deadlineAfter(g.timeoutSeconds);
    if (!connectOnline(s, deadline)) return 1;

    // The full-state report has just replaced our state; each value is applied on top of it as
    // the application applies an edit, so a linked channel's members follow.
    int rc = 0;
    CallbackSink sink([&](OutgoingFrame frame) {
        const char letter = frame.text.size() > 1 ? frame.text[1] : '?';
        if (!s.link->send(std::move(frame), &error)) {
            std::cerr << "quorvelctl: " << letter << ": " << error << "\n";
            rc = 1;
        }
    });
    PeqBypass bypass;
    for (const std::string& a : args) {
        if (!applySetItem(s.state, sink, bypass, a, error)) {
            std::cerr << "quorvelctl: set: " << error << "\n";
            rc = 1;
        }
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
    if (!s.link->drain(std::max(left, std::chrono::milliseconds(100)))) {
        std::cerr << "quorvelctl: commands still queued at the time-out\n";
        rc = 1;
    }
    if (s.link->senderStats().failures > 0) rc = 1;
    finish(s, std::chrono::milliseconds(100));
    return rc;
}

// {"drop":"bad checksum","text":"%Q,01,0B,85c4#"} or {"drop":"wrong length","report":"Q","section":2}.
// The text is as received, so every byte outside printable ASCII is escaped.
std::string dropToJson(const DropRecord& d) {
    std::string line = "{\"drop\":\"";
    line += dropReasonText(d.reason);
    line += '"';
    if (d.letter) {
        line += ",\"report\":\"";
        if (d.letter >= 0x20 && d.letter < 0x7F && d.letter != '"' && d.letter != '\\') line += d.letter;
        line += "\",\"section\":" + std::to_string(d.section);
    }
    if (!d.text.empty()) {
        line += ",\"text\":\"";
        for (unsigned char c : d.text) {
            if (c < 0x20 || c >= 0x7F) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04X", c);
                line += esc;
            } else {
                if (c == '"' || c == '\\') line += '\\';
                line += static_cast<char>(c);
            }
        }
        line += '"';
    }
    line += '}';
    return line;
}

int runMonitor(Args args, const GlobalOptions& g) {
    int port = kDevicePort;
    std::string error;
    if (!takePort(args, port, error)) return usageError("monitor: " + error);
    long count = -1;
    bool drops = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--drops") {
            drops = true;
        } else if (args[i] == "--count" && i + 1 < args.size()) {
            char* end = nullptr;
            count = std::strtol(args[i + 1].c_str(), &end, 10);
            if (*end || count < 1) return usageError("monitor: --count needs a positive number");
            ++i;
        } else {
            return usageError("monitor: unexpected argument '" + args[i] + "'");
        }
    }
    Session s;
    if (int rc = prepare(s, g, port)) return rc;
    long printed = 0;
    s.onReport = [&](std::string_view frame, const DispatchResult& r) {
        if (r.kind == ReportKind::Rejected || (count >= 0 && printed >= count)) return;
        std::cout << reportToJson(frame, r, s.state) << "\n";
        ++printed;
    };
    // Drop lines do not count towards --count: it still says how many reports to wait for.
    if (drops)
        s.link->setDropObserver([&](const DropRecord& d) {
            if (count < 0 || printed < count) std::cout << dropToJson(d) << "\n";
        });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    if (!connectOnline(s, deadlineAfter(g.timeoutSeconds))) return 1;
    std::cout.flush();
    auto forever = Steady::time_point::max() - std::chrono::hours(24 * 365);
    pump(
        s,
        [&] {
            std::cout.flush();
            return count >= 0 && printed >= count;
        },
        forever);
    finish(s, std::chrono::milliseconds(100));
    return 0;
}

} // namespace

int fetchDeviceState(const GlobalOptions& g, int port, DeviceState& out) {
    Session s;
    if (int rc = prepare(s, g, port)) return rc;
    if (!connectOnline(s, deadlineAfter(g.timeoutSeconds))) return 1;
    out = s.state;
    out.link.linkOnline = false;
    finish(s, std::chrono::milliseconds(100));
    return 0;
}

int runNetwork(const std::string& name, const Args& args, const GlobalOptions& g) {
    if (name == "state") return runState(args, g);
    if (name == "set") return runSet(args, g);
    if (name == "monitor") return runMonitor(args, g);
    return -1;
}

} // namespace quorvel::cli
