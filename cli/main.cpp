#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "cli/cli.h"

namespace quorvel::cli {

int usageError(const std::string& message) {
    std::cerr << "quorvelctl: " << message << "\n";
    return 2;
}

}  // namespace quorvel::cli

namespace {

constexpr const char* kUsage =
    "usage: quorvelctl [--host ADDR] [--bind ADDR] [--timeout SECONDS] [--data-dir DIR] COMMAND ...\n"
    "\n"
    "  frame LETTER [SELECTOR...] [--set PATH=VALUE]...   print the frame as it goes on the wire\n"
    "  check FRAME                                        validate a received frame\n"
    "  decode                                             decode received text (stdin) into JSON\n"
    "  state                                              connect and print the device state as JSON\n"
    "  set PATH=VALUE...                                  store values and send the commands\n"
    "  monitor [--count N]                                print each accepted report as a JSON line\n";

}  // namespace

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
            if (end == v || *end || !(g.timeoutSeconds > 0)) return usageError("--timeout needs a positive number");
        } else if (a.rfind("--", 0) == 0) {
            return usageError("unknown option " + a);
        } else {
            break;
        }
    }
    if (i >= argc) {
        std::cerr << kUsage;
        return 2;
    }
    std::string command = argv[i++];
    Args args(argv + i, argv + argc);
    if (command == "frame") return runFrame(args);
    if (command == "check") return runCheck(args);
    if (command == "decode") return runDecode(args);
    int rc = runNetwork(command, args, g);
    if (rc >= 0) return rc;
    return usageError("unknown command '" + command + "' (see --help)");
}
