// quorvelctl frame / check: print a command exactly as it goes on the wire, and judge a frame
// the way the receiver does. Both work offline, so installers can script against them.

#include <charconv>
#include <iostream>
#include <vector>

#include "cli/cli.h"
#include "link/commands.h"
#include "link/field_registry.h"
#include "link/frame.h"
#include "link/ipv4.h"

namespace quorvel::cli {
namespace {

constexpr const char* kFrameUsage =
    "usage: quorvelctl frame LETTER [SELECTOR...] [--set PATH=VALUE]... [--own ADDR]\n"
    "\n"
    "Prints the frame of command LETTER built from the factory state with the --set values\n"
    "applied (raw stored values; names in UTF-8). --own gives the address that Z announces\n"
    "(default 127.0.0.1).\n"
    "  selectors: A channel 1..255; B C O channel 1..12; E F L channel 1..18; G channel 1..18 band 1..4;\n"
    "             D H I J K output 1..8; Q 0|1; V channel 1..20; W unit 0..4; X unit 1..4; M N Z none\n";

bool parseInt(const std::string& text, int& v) {
    const char* b = text.data();
    const char* e = b + text.size();
    auto r = std::from_chars(b, e, v);
    return !text.empty() && r.ec == std::errc{} && r.ptr == e;
}

bool parseOctets(const std::string& text, Ipv4Octets& out) {
    in_addr a{};
    if (!parseIpv4(text, a)) return false;
    out = octetsOf(a);
    return true;
}

} // namespace

int runFrame(const Args& args) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kFrameUsage;
        return 0;
    }
    if (args.empty()) return usageError("frame: missing LETTER (see frame --help)");
    if (args[0].size() != 1) return usageError("frame: LETTER must be one character, got '" + args[0] + "'");
    const char letter = args[0][0];

    std::vector<int> selectors;
    std::vector<std::string> assignments;
    std::string own;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--set" || a == "--own") {
            if (i + 1 >= args.size()) return usageError("frame: " + a + " needs a value");
            if (a == "--set")
                assignments.push_back(args[++i]);
            else
                own = args[++i];
        } else if (a.rfind("--set=", 0) == 0) {
            assignments.push_back(a.substr(6));
        } else if (a.rfind("--own=", 0) == 0) {
            own = a.substr(6);
        } else if (a == "--help" || a == "-h") {
            std::cout << kFrameUsage;
            return 0;
        } else if (a.rfind("--", 0) == 0) {
            return usageError("frame: unknown option " + a);
        } else {
            int v = 0;
            if (!parseInt(a, v)) return usageError("frame: selector '" + a + "' is not a number");
            selectors.push_back(v);
        }
    }

    DeviceState s;
    loadFactoryDefaults(s);
    for (const std::string& as : assignments) {
        std::string error;
        if (!assignField(s, as, error)) return usageError("frame: " + error);
    }
    Ipv4Octets ownAddress{};
    if (own.empty())
        ownAddress = ownAddressFor("127.0.0.1");
    else if (!parseOctets(own, ownAddress))
        return usageError("frame: --own needs a dotted IPv4 address, got '" + own + "'");

    OutgoingFrame out;
    std::string error;
    if (!buildCommand(s, letter, selectors, ownAddress, out, error)) return usageError("frame: " + error);
    std::cout << out.text << "\n";
    return 0;
}

int runCheck(const Args& args) {
    if (args.size() != 1) return usageError("check: expected exactly one FRAME argument");
    const std::string& c = args[0];
    std::string reason;
    if (c.size() < kMinFrameLength) {
        reason = "too short (" + std::to_string(c.size()) + " characters, at least " +
                 std::to_string(kMinFrameLength) + ")";
    } else if (c.front() != '%') {
        reason = "does not start with %";
    } else if (c.back() != '#') {
        reason = "does not end with #";
    } else if (c.find('#') != c.size() - 1) {
        // A receiver cuts at the first "#", so this text can never arrive as one frame.
        reason = "# before the end at position " + std::to_string(c.find('#') + 1);
    } else if (c.find('%', 1) != std::string::npos) {
        // A receiver restarts the frame at a later "%", so this text is never taken as it stands.
        reason = "% inside the frame at position " + std::to_string(c.find('%', 1) + 1);
    } else {
        std::string expected;
        appendX4(expected, frameChecksum(std::string_view(c).substr(0, c.size() - 5)));
        const std::string got = c.substr(c.size() - 5, 4);
        if (got != expected) reason = "checksum mismatch: expected " + expected + ", got " + got;
    }
    if (reason.empty() && !validateFrame(c)) reason = "rejected by the frame check";
    if (!reason.empty()) {
        std::cout << "invalid: " << reason << "\n";
        return 1;
    }
    std::cout << "valid\n";
    return 0;
}

} // namespace quorvel::cli
