// quorvel-sim: a QUORVEL mixer on loopback, for trying the application and for tests.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quorvel_version.h"
#include "simulator.h"

namespace {

const char kUsage[] =
    "usage: quorvel-sim [options]\n"
    "  --bind ADDR              address to listen on (default 127.0.0.2)\n"
    "  --port N                 UDP port (default 39020)\n"
    "  --meter-hz HZ            status reports per second to each client (default 20)\n"
    "  --wiggle                 move a fader now and then, as a person at the device would\n"
    "  --units N                conference units reported, 0..4 (default 0)\n"
    "  --basic-version TEXT     answer to the basic version query (default 250)\n"
    "  --hardware-version TEXT  answer to the hardware version query (default 32)\n"
    "  --firmware-dir DIR       store received firmware images there (dsp.bin, digital.bin)\n"
    "  --firmware-fail CODE     end every firmware transfer with this result code\n"
    "  --talkers LIST           channels (e.g. 1,3,5) that talk steadily at -20 dB, the rest silent\n"
    "fault injection:\n"
    "  --drop P                 drop each outgoing datagram with probability P (0..1)\n"
    "  --drop-ack N             leave the N-th firmware block frame unanswered (repeatable)\n"
    "  --corrupt P              damage one character of a datagram with probability P\n"
    "  --duplicate P            send a datagram twice with probability P\n"
    "  --split                  cut frames across datagrams at random points\n"
    "  --answer-handshake N     answer only the N-th handshake (0: every one)\n"
    "  --silent-after SECONDS   stop sending anything after that many seconds\n"
    "  --seed N                 seed of the fault injection and meter motion (default 1)\n"
    "  --quiet                  no log lines on stderr\n"
    "  --help                   this text\n"
    "  --version                print the version and exit\n"
    "With QUORVEL_LOOPBACK_ONLY=1 only addresses in 127.0.0.0/8 are used.\n";

bool number(const char* text, double lo, double hi, double& out) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text, &end);
    if (!text[0] || *end || errno || v < lo || v > hi) return false;
    out = v;
    return true;
}

// "1,3,5": channels 1..12, each once.
bool channelList(const char* text, std::vector<int>& out) {
    out.clear();
    std::string t = text;
    std::size_t from = 0;
    while (from <= t.size()) {
        std::size_t comma = t.find(',', from);
        if (comma == std::string::npos) comma = t.size();
        double v = 0;
        const std::string item = t.substr(from, comma - from);
        if (!number(item.c_str(), 1, 12, v) || v != static_cast<int>(v)) return false;
        for (int c : out)
            if (c == static_cast<int>(v)) return false;
        out.push_back(static_cast<int>(v));
        from = comma + 1;
    }
    return !out.empty();
}

} // namespace

int main(int argc, char** argv) {
    quorvel::sim::SimOptions o;
    o.verbose = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "quorvel-sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        auto num = [&](double lo, double hi) {
            const char* t = value();
            double v = 0;
            if (!number(t, lo, hi, v)) {
                std::fprintf(stderr, "quorvel-sim: %s: '%s' is not a number in %g..%g\n", a.c_str(), t, lo,
                             hi);
                std::exit(2);
            }
            return v;
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::fputs("quorvel-sim " QUORVEL_VERSION "\n", stdout);
            return 0;
        } else if (a == "--bind") {
            o.bind = value();
        } else if (a == "--port") {
            o.port = static_cast<std::uint16_t>(num(0, 65535));
        } else if (a == "--meter-hz") {
            o.meterHz = num(0, 1000);
        } else if (a == "--wiggle") {
            o.wiggle = true;
        } else if (a == "--units") {
            o.units = static_cast<int>(num(0, 4));
        } else if (a == "--basic-version") {
            o.basicVersion = value();
        } else if (a == "--hardware-version") {
            o.hardwareVersion = value();
        } else if (a == "--firmware-dir") {
            o.firmwareDir = value();
        } else if (a == "--firmware-fail") {
            o.firmwareFail = static_cast<int>(num(0, 255));
        } else if (a == "--talkers") {
            const char* t = value();
            if (!channelList(t, o.talkers)) {
                std::fprintf(stderr, "quorvel-sim: --talkers: '%s' is not a list of channels 1..12\n", t);
                return 2;
            }
        } else if (a == "--drop-ack") {
            o.dropAcks.push_back(static_cast<int>(num(1, 1e9)));
        } else if (a == "--drop") {
            o.drop = num(0, 1);
        } else if (a == "--corrupt") {
            o.corrupt = num(0, 1);
        } else if (a == "--duplicate") {
            o.duplicate = num(0, 1);
        } else if (a == "--split") {
            o.split = true;
        } else if (a == "--answer-handshake") {
            o.answerHandshake = static_cast<int>(num(0, 1e6));
        } else if (a == "--silent-after") {
            o.silentAfterSeconds = num(0, 1e9);
        } else if (a == "--seed") {
            o.seed = static_cast<unsigned>(num(0, 4294967295.0));
        } else if (a == "--quiet") {
            o.verbose = false;
        } else {
            std::fprintf(stderr, "quorvel-sim: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
    }

    // The signals are taken by sigwait below; the simulator's thread inherits the mask. A shell
    // starts background jobs with SIGINT ignored, and an ignored signal never reaches sigwait.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    quorvel::sim::Simulator sim(o);
    std::string error;
    if (!sim.start(error)) {
        std::fprintf(stderr, "quorvel-sim: %s\n", error.c_str());
        return 1;
    }
    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.stop();
    if (o.verbose) std::fprintf(stderr, "quorvel-sim: stopped (%s)\n", sig == SIGINT ? "SIGINT" : "SIGTERM");
    return 0;
}
