#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "cli/cli.h"
#include "quorvel_version.h"

namespace quorvel::cli {

int usageError(const std::string& message) {
    std::cerr << "quorvelctl: " << message << "\n";
    return 2;
}

} // namespace quorvel::cli

namespace {

constexpr const char* kUsage =
    "usage: quorvelctl [--host ADDR] [--bind ADDR] [--timeout SECONDS] [--data-dir DIR] COMMAND ...\n"
    "\n"
    "Offline:\n"
    "  frame LETTER [SELECTOR...] [--set PATH=VALUE]... [--own ADDR]\n"
    "                              print the frame as it goes on the wire (--own: address Z announces)\n"
    "  check FRAME                 validate a received frame: valid (0) or invalid: REASON (1)\n"
    "  decode                      decode received text (stdin) into the device state as JSON\n"
    "  curve input[N] [--set PATH=VALUE]... [--json]\n"
    "                              the equaliser response of input N (with --host: the device's)\n"
    "  preset encode TABLE SEL [--set PATH=VALUE]...   print a preset's data text\n"
    "  preset decode TABLE SEL TEXT                    print the fields a recall of TEXT stores\n"
    "  set --dry-run [--set PATH=VALUE]... ITEM...     print each frame ITEM sends and its pause\n"
    "  osc-map [FILE]              write the OSC address space (address, type, range, access, field)\n"
    "Device (at --host, default the profile's address; --port N after the command, default 39020):\n"
    "  state [--port N]            connect and print the device state as JSON\n"
    "  set PATH=VALUE... [--port N]\n"
    "                              store values and send the commands that carry them; also\n"
    "                              reset:peq|geq|comp|gate|limiter:SEL, bypass:on|off:SEL,\n"
    "                              recall:TABLE:SEL:TEXT, drag:comp|limiter:SEL:H:XDB:YDB (H 0 threshold,\n"
    "                              1 ratio, 2 gain), drag:peq:SEL:H:HZ:DB (H 0-3 bands, 4 HPF, 5 LPF),\n"
    "                              drag:geq:SEL:BAND:DB (SEL input[N] or output[N])\n"
    "  monitor [--count N] [--drops] [--port N]\n"
    "                              print each accepted report as a JSON line (--drops: also a line\n"
    "                              for each text or part of a report thrown away, and why)\n"
    "  firmware [--dsp FILE] [--digital FILE] [--force] [--quick] [--port N] | --remote URL\n"
    "                              update the device's images: the files given, else those of the\n"
    "                              data directory chosen by the device's basic version, else those\n"
    "                              the version page at URL names (downloaded to the data directory);\n"
    "                              progress (\"digital 3/12\") on stderr; --force goes on without a\n"
    "                              hardware version; --quick cuts every wait (a simulator only).\n"
    "                              Exit 0 updated, 1 failed in transfer, 2 refused before sending,\n"
    "                              3 no hardware version (no --force) or basic version 400 or more\n"
    "  serve [--api ADDR:PORT|off] [--osc [ADDR:]PORT] [--port N]\n"
    "                              serve the remote-control API (default 127.0.0.1:39021; off\n"
    "                              loopback clients must give the profile's apiToken) and OSC (off\n"
    "                              unless --osc) on the device link until SIGTERM or SIGINT;\n"
    "                              retries the handshake every 5 s once the device falls silent\n"
    "\n"
    "Administration:\n"
    "  discover --from ADDR [--port N] [--linger SECONDS]\n"
    "                              search ADDR's subnet; a JSON line per device as it answers\n"
    "                              (exit 1 when none did)\n"
    "  scene load FILE             print a scene file as JSON (exit 2 when it is damaged)\n"
    "  scene save FILE | scene upload FILE [--port N]\n"
    "                              store the device's state as a scene file, or send one to it\n"
    "  reset [--port N]            factory settings, sent to the device\n"
    "  units assign UNIT SLOT VALUE | units call UNIT | units reset [--port N]\n"
    "                              conference units: VALUE NULL, CH01..CH12, M01..M04\n"
    "\n"
    "Options:\n"
    "  --host ADDR         device IPv4 address\n"
    "  --bind ADDR         local IPv4 address to bind (default chosen from the host)\n"
    "  --timeout SECONDS   give up on the device after this long (default 15)\n"
    "  --data-dir DIR      directory of the profile\n"
    "  -h, --help          this text; frame --help and decode --help describe those commands\n"
    "  --version           print the version and exit\n"
    "\n"
    "Exit codes: 0 success, 1 invalid frame or the device failed, 2 bad command line.\n";

} // namespace

int main(int argc, char** argv) {
    using namespace quorvel::cli;
    GlobalOptions g;
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                usageError(std::string(name) + " needs a value");
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--version") {
            std::cout << "quorvelctl " QUORVEL_VERSION "\n";
            return 0;
        } else if (a == "--host") {
            g.host = value("--host");
        } else if (a == "--bind") {
            g.bind = value("--bind");
        } else if (a == "--data-dir") {
            g.dataDir = value("--data-dir");
        } else if (a == "--timeout") {
            const char* v = value("--timeout");
            char* end = nullptr;
            g.timeoutSeconds = std::strtod(v, &end);
            if (end == v || *end || !(g.timeoutSeconds > 0))
                return usageError("--timeout needs a positive number");
        } else if (a.rfind("--", 0) == 0) {
            return usageError("unknown option " + a);
        } else {
            break;
        }
    }
    if (i >= argc) return usageError("missing COMMAND (see --help)");
    std::string command = argv[i++];
    Args args(argv + i, argv + argc);
    int rc = -1;
    if (command == "frame")
        rc = runFrame(args);
    else if (command == "check")
        rc = runCheck(args);
    else if (command == "decode")
        rc = runDecode(args);
    else if (command == "curve")
        rc = runCurve(args, g);
    else if (command == "preset")
        rc = runPreset(args);
    else if (command == "firmware")
        rc = runFirmware(args, g);
    else if (command == "serve")
        rc = runServe(args, g);
    else if (command == "osc-map")
        rc = runOscMap(args);
    else
        rc = runNetwork(command, args, g);
    if (rc < 0) rc = runAdmin(command, args, g);
    if (rc < 0) return usageError("unknown command '" + command + "' (see --help)");
    // Scripts read what we print: output that never arrived (a full disk, a closed pipe) must not
    // end in success.
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "quorvelctl: cannot write standard output\n";
        return rc == 0 ? 1 : rc;
    }
    return rc;
}
