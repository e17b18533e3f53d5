#include <cstdio>
#include <iostream>

#include "cli/cli.h"
#include "link/reports.h"
#include "link/state_json.h"

namespace quorvel::cli {

namespace {

constexpr const char* kDecodeHelp =
    "usage: quorvelctl decode < TEXT\n"
    "\n"
    "Reads received device text from standard input (several frames may share a line; text between\n"
    "frames is ignored), accepts every frame whose checksum is valid, applies the reports to a state\n"
    "that starts from the factory defaults (English default names), and prints that state as one\n"
    "JSON object.\n";

} // namespace

int runDecode(const Args& args) {
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::cout << kDecodeHelp;
            return 0;
        }
        return usageError("decode: unexpected argument '" + a + "' (it reads standard input)");
    }
    static DeviceState state; // large; kept off the stack
    loadFactoryDefaults(state, 1);
    FrameAssembler assembler;
    ReportDispatcher dispatcher(state);
    const auto now = Clock::now();
    auto onFrame = [&](std::string_view frame) { dispatcher.dispatchAccepted(frame, now); };

    // Fixed-size reads: a pipe delivers in whatever pieces it likes, the assembler always sees
    // the same chunks, so the result never depends on how the text arrived.
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0)
        assembler.feed(std::string_view(buf, n), onFrame);
    if (std::ferror(stdin)) {
        std::cerr << "quorvelctl: decode: cannot read standard input\n";
        return 1;
    }
    std::cout << stateToJson(state) << "\n";
    return 0;
}

} // namespace quorvel::cli
