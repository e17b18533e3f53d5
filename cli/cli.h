// quorvelctl subcommands. Exit codes: 0 success, 1 the operation failed (invalid frame, device
// did not answer), 2 the command line was wrong.
#pragma once

#include <string>
#include <vector>

namespace quorvel::cli {

struct GlobalOptions {
    std::string host; // empty: the profile's address
    std::string bind; // empty: chosen from the host
    double timeoutSeconds = 15.0;
    std::string dataDir; // empty: the default data directory
};

using Args = std::vector<std::string>;

int runFrame(const Args& args);  // frame LETTER [SELECTOR...] [--set PATH=VALUE]...
int runCheck(const Args& args);  // check FRAME
int runDecode(const Args& args); // decode < received text
// Network subcommands: state, set, monitor. Returns -1 when the name is not one of them.
int runNetwork(const std::string& name, const Args& args, const GlobalOptions& g);

// firmware [--dsp F] [--digital F] [--force] [--quick] [--port N] | --remote URL
// Exit codes: 0 updated (or already current), 1 failed in transfer, 2 refused before sending,
// 3 the hardware version went unanswered (without --force) or the device is too new.
int runFirmware(const Args& args, const GlobalOptions& g);

// One clear line on standard error, exit code 2.
int usageError(const std::string& message);

} // namespace quorvel::cli
