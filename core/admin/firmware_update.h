// The firmware update: version queries, then each image sent as start, acknowledged blocks and
// end, on a socket of its own bound to the link port. Runs on the caller's thread and blocks; the
// application runs it on a worker and hears of its progress through the events, which are called
// on that worker. The link must be offline with its socket released first (no other reader may
// take the device's replies).
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "admin/firmware_image.h"
#include "admin/http_fetch.h"

namespace quorvel::firmware {

using std::chrono::milliseconds;

// Every wait is a minimum gap before the next step; the budgets bound how long the device may
// stay silent. Defaults are what the device's updater expects.
struct FirmwareTiming {
    milliseconds pieceGap{20};      // between the 256-byte datagrams of a block
    milliseconds drainGap{200};     // after each stale datagram read before the start
    milliseconds drainBudget{2000}; // a device that keeps sending cannot hold the start back
    milliseconds startWait{10}, startBudget{8000}, startQuiet{5000};
    milliseconds blockWait{50}, blockBudget{2000}, blockQuiet{5000};
    milliseconds endWait{10}, endBudget{24000}, endQuiet{2500};
    milliseconds replyGap{20}; // between the datagrams of a transfer reply
    milliseconds basicWait{200}, basicBudget{1000}, basicGap{100}, basicRetry{100};
    int basicAttempts = 3;
    milliseconds versionWait{50}, versionBudget{6000}, versionGap{500};
    milliseconds betweenImages{2000}; // the digital image restarts the device's network side
    milliseconds beforeDownloaded{1000};
    int blockAttempts = 3; // a block whose acknowledgement is lost is sent again with its index

    // Every wait cut to a millisecond or two: for tests, which still run on real sockets.
    static FirmwareTiming quick();
};

enum class Outcome {
    Success,
    UpToDate,  // remote: the device already runs the published version
    Failed,    // a transfer went wrong or the device refused an image
    Refused,   // nothing of an image was sent: a file, a download or the page was unusable
    NoVersion, // the hardware version query went unanswered and the update was not continued
    TooNew,    // basic version 400 or more: this program cannot update the device
    Cancelled,
};

struct UpdateResult {
    Outcome outcome = Outcome::Failed;
    std::string message;     // what the user is told, in the update's language
    std::string detail;      // why, in English, for a log or the command line; may be empty
    std::string deviceReply; // a non-zero end reply, shown as it came
};

struct Versions {
    std::string hardware = "00"; // shown x 0.1
    std::string basic = "000";   // shown x 0.01
    std::string remote;          // remote update only, shown x 0.1
};

struct UpdateSettings {
    std::string host; // the device
    std::uint16_t port = 39020;
    std::string bindAddress; // empty: as the link chooses for this host
    FirmwareTiming timing;
    int languageFlag = 1;
};

struct UpdateEvents {
    std::function<void(int target, int sent, int total)> progress;
    std::function<void(const Versions&)> versions;
    // The hardware version went unanswered: true goes on regardless.
    std::function<bool()> continueWithoutVersion;
};

// Which files LOCAL sends. Explicit paths are sent as given (an absent one is skipped); with
// neither, both come from dir under the names the device's basic version calls for.
struct LocalImages {
    std::filesystem::path dir;
    std::optional<std::filesystem::path> dsp;
    std::optional<std::filesystem::path> digital;
};

class FirmwareUpdater {
public:
    FirmwareUpdater(UpdateSettings settings, UpdateEvents events = {});
    ~FirmwareUpdater();
    FirmwareUpdater(const FirmwareUpdater&) = delete;
    FirmwareUpdater& operator=(const FirmwareUpdater&) = delete;

    UpdateResult runLocal(const LocalImages& images);
    // pageUrl names the version page; the images are downloaded into dir.
    UpdateResult runRemote(const std::string& pageUrl, const std::filesystem::path& dir);

    // From any thread: the run ends at its next step with Outcome::Cancelled.
    void cancel();
    const Versions& versions() const { return versions_; }

    // The pieces, for tests and benchmarks. open() binds the update socket.
    bool open(std::string& error);
    void close();
    bool sendImage(const ImagePlan& plan, int target, std::string& error, std::string* deviceReply = nullptr);
    std::optional<std::string> askBasicVersion();
    std::optional<std::string> askHardwareVersion();
    std::uint64_t foreignDatagrams() const { return foreign_; }
    std::uint64_t resentBlocks() const { return resent_; }

private:
    enum class Wait { Ready, Timeout, Cancelled };
    bool sendFrame(const std::string& frame, bool inPieces, std::string& error);
    std::string collect(milliseconds first, milliseconds budget, milliseconds gap, milliseconds quiet,
                        const std::function<bool(const std::string&)>& done);
    void drain();
    bool readOne(std::string& text); // one datagram from the device; false when none waits
    Ipv4Octets ownAddress() const;
    Wait waitReadable(milliseconds timeout);
    bool pause(milliseconds d); // false when cancelled
    UpdateResult finish(Outcome o, const char* en, const char* zh, std::string detail = {});
    UpdateResult queryVersions(bool askBasic, const char* noVersionZh);
    UpdateResult sendImages(const std::vector<std::pair<std::filesystem::path, int>>& files,
                            milliseconds firstPause);

    UpdateSettings settings_;
    UpdateEvents events_;
    Versions versions_;
    int fd_ = -1;
    int wakeFd_ = -1;
    sockaddr_in device_{};
    std::atomic<bool> cancelled_{false};
    std::uint64_t foreign_ = 0;
    std::uint64_t resent_ = 0;
    HttpFetcher web_;
};

// Reads a whole image file; refuses a missing, empty or oversized one.
std::optional<std::vector<std::uint8_t>> readImageFile(const std::filesystem::path& file, std::string& error);

} // namespace quorvel::firmware
