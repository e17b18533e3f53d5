// quorvelctl subcommands. Exit codes: 0 success, 1 the operation failed (invalid frame, device
// did not answer), 2 the command line was wrong.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/device_state.h"

namespace quorvel {
class EditSink;
class PeqBypass;
} // namespace quorvel
namespace quorvel::remote {
class LinkHost;
} // namespace quorvel::remote

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
// Administration: discover, scene, reset, units. Returns -1 when the name is not one of them.
int runAdmin(const std::string& name, const Args& args, const GlobalOptions& g);

// The processing pages: curve input[N], preset encode|decode, and the actions set takes.
int runCurve(const Args& args, const GlobalOptions& g);
int runPreset(const Args& args);
int runSetDryRun(const Args& args);
// One item of set (a page action or PATH=VALUE), checked before anything is applied or sent.
bool checkSetItem(const std::string& item, std::string& error);
// Applies one checked item as the pages would: false, with the reason, when it was refused.
bool applySetItem(quorvel::DeviceState& s, quorvel::EditSink& sink, quorvel::PeqBypass& bypass,
                  const std::string& item, std::string& error);
// Connects to the device and copies its state; 0 on success, else the exit code (reported).
int fetchDeviceState(const GlobalOptions& g, int port, quorvel::DeviceState& out);

// firmware [--dsp F] [--digital F] [--force] [--quick] [--port N] | --remote URL
// Exit codes: 0 updated (or already current), 1 failed in transfer, 2 refused before sending,
// 3 the hardware version went unanswered (without --force) or the device is too new.
int runFirmware(const Args& args, const GlobalOptions& g);

// osc-map [FILE]: the OSC address space, one address a line (stdout without FILE).
int runOscMap(const Args& args);

// One clear line on standard error, exit code 2.
int usageError(const std::string& message);

// serve [--api ADDR:PORT|off] [--osc [ADDR:]PORT] [--port N]: the remote-control API (and OSC)
// on the device link, until SIGTERM or SIGINT (exit 0).
int runServe(Args args, const GlobalOptions& g);

} // namespace quorvel::cli
