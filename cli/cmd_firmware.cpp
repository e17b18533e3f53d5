// quorvelctl firmware: the update of the device's two images from local files or from the
// published version page, with the application's checks and exit codes that tell a script how
// far it got.
#include <cstdio>
#include <iostream>

#include "admin/firmware_update.h"
#include "cli/cli.h"
#include "link/ipv4.h"
#include "link/profile.h"

namespace quorvel::cli {

namespace {

int exitCodeOf(firmware::Outcome o) {
    using firmware::Outcome;
    switch (o) {
    case Outcome::Success:
    case Outcome::UpToDate:
        return 0;
    case Outcome::Refused:
        return 2;
    case Outcome::NoVersion:
    case Outcome::TooNew:
        return 3;
    case Outcome::Failed:
    case Outcome::Cancelled:
        break;
    }
    return 1;
}

} // namespace

int runFirmware(const Args& argsIn, const GlobalOptions& g) {
    Args args = argsIn;
    firmware::LocalImages images;
    std::string remote;
    bool force = false, quick = false;
    int port = 39020;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) return {};
            return args[++i];
        };
        if (a == "--dsp" || a == "--digital" || a == "--remote" || a == "--port") {
            const std::string v = value();
            if (v.empty()) return usageError(a + " needs a value");
            if (a == "--dsp")
                images.dsp = v;
            else if (a == "--digital")
                images.digital = v;
            else if (a == "--remote")
                remote = v;
            else {
                char* end = nullptr;
                const long p = std::strtol(v.c_str(), &end, 10);
                if (*end || p < 1 || p > 65535) return usageError("--port needs a number 1..65535");
                port = static_cast<int>(p);
            }
        } else if (a == "--force") {
            force = true;
        } else if (a == "--quick") {
            quick = true;
        } else {
            return usageError("firmware: unknown argument " + a);
        }
    }
    if (!remote.empty() && (images.dsp || images.digital))
        return usageError("firmware: --remote and local files exclude each other");

    const auto dataDir = dataDirectory(g.dataDir);
    firmware::UpdateSettings settings;
    settings.host = g.host.empty() ? readHostAddress(dataDir) : g.host;
    if (!isValidIpv4(settings.host))
        return usageError("--host: '" + settings.host + "' is not an IPv4 address");
    settings.port = static_cast<std::uint16_t>(port);
    settings.bindAddress = g.bind;
    if (quick) settings.timing = firmware::FirmwareTiming::quick();

    // Files named on the command line are checked before anything goes to the device.
    for (const auto& file : {images.digital, images.dsp}) {
        if (!file) continue;
        std::string error;
        auto bytes = firmware::readImageFile(*file, error);
        if (!bytes || !firmware::planImage(*bytes, error)) {
            std::cerr << "quorvelctl: firmware: " << error << "\n";
            return 2;
        }
    }

    firmware::UpdateEvents events;
    events.progress = [](int target, int sent, int total) {
        std::fprintf(stderr, "%s %d/%d\n", target == firmware::kTargetDsp ? "dsp" : "digital", sent, total);
    };
    events.versions = [](const firmware::Versions& v) {
        std::fprintf(stderr, "hardware version %s, basic version %s%s%s\n", v.hardware.c_str(),
                     v.basic.c_str(), v.remote.empty() ? "" : ", published ", v.remote.c_str());
    };
    events.continueWithoutVersion = [force] {
        if (force) std::cerr << "quorvelctl: firmware: no hardware version; going on (--force)\n";
        return force;
    };
    if (images.dsp || images.digital || remote.empty()) images.dir = dataDir;
    firmware::FirmwareUpdater updater(settings, events);
    const firmware::UpdateResult r =
        remote.empty() ? updater.runLocal(images) : updater.runRemote(remote, dataDir);
    std::cerr << "quorvelctl: firmware: " << r.message;
    if (!r.detail.empty()) std::cerr << " (" << r.detail << ")";
    std::cerr << "\n";
    if (!r.deviceReply.empty()) std::cerr << "quorvelctl: firmware: device replied " << r.deviceReply << "\n";
    return exitCodeOf(r.outcome);
}

} // namespace quorvel::cli
