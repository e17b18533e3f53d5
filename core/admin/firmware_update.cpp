#include "admin/firmware_update.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "admin/firmware_replies.h"
#include "admin/http_fetch.h"
#include "admin/version_page.h"
#include "link/frame.h"
#include "link/ipv4.h"
#include "link/udp_transport.h"

namespace quorvel::firmware {
namespace {

using Steady = std::chrono::steady_clock;

constexpr std::size_t kPiece = 256;

const char* pick(int lang, const char* en, const char* zh) {
    return lang == 2 ? zh : en;
}

bool validFrameOf(std::string_view text, std::string_view head) {
    for (std::size_t at = text.find(head); at != std::string_view::npos; at = text.find(head, at + 1)) {
        const std::size_t end = text.find('#', at);
        if (end == std::string_view::npos) return false;
        if (validateFrame(text.substr(at, end - at + 1))) return true;
    }
    return false;
}

} // namespace

FirmwareTiming FirmwareTiming::quick() {
    FirmwareTiming t;
    const milliseconds one{1}, two{2};
    t.pieceGap = t.drainGap = t.replyGap = t.basicGap = t.basicRetry = t.versionGap = one;
    t.startWait = t.blockWait = t.endWait = t.basicWait = t.versionWait = one;
    t.betweenImages = t.beforeDownloaded = two;
    t.drainBudget = milliseconds(50);
    // Silence budgets stay long enough for a loaded machine; they cost nothing when replies come.
    t.startBudget = t.endBudget = t.versionBudget = milliseconds(500);
    t.blockBudget = milliseconds(300);
    t.basicBudget = milliseconds(300);
    t.startQuiet = t.blockQuiet = t.endQuiet = milliseconds(300);
    return t;
}

std::optional<std::vector<std::uint8_t>> readImageFile(const std::filesystem::path& file,
                                                       std::string& error) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec) {
        error = file.filename().string() + ": " + ec.message();
        return std::nullopt;
    }
    if (size == 0) {
        error = file.filename().string() + " is empty";
        return std::nullopt;
    }
    if (size > kMaxImageBytes) {
        error = file.filename().string() + " is larger than 16 MiB";
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        error = file.filename().string() + " cannot be read";
        return std::nullopt;
    }
    return bytes;
}

FirmwareUpdater::FirmwareUpdater(UpdateSettings settings, UpdateEvents events)
    : settings_(std::move(settings)), events_(std::move(events)) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

FirmwareUpdater::~FirmwareUpdater() {
    close();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void FirmwareUpdater::cancel() {
    cancelled_ = true;
    web_.cancel();
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    }
}

bool FirmwareUpdater::open(std::string& error) {
    close();
    in_addr host{};
    if (!parseIpv4(settings_.host, host)) {
        error = "malformed device address '" + settings_.host + "'";
        return false;
    }
    if (loopbackOnlyFromEnvironment() && !isLoopback(host)) {
        error = "loopback-only mode: " + settings_.host + " is outside 127.0.0.0/8";
        return false;
    }
    device_ = {};
    device_.sin_family = AF_INET;
    device_.sin_addr = host;
    device_.sin_port = htons(settings_.port);
    const std::string local =
        settings_.bindAddress.empty() ? defaultBindAddress(settings_.host) : settings_.bindAddress;
    sockaddr_in me{};
    me.sin_family = AF_INET;
    me.sin_port = htons(settings_.port);
    if (!parseIpv4(local, me.sin_addr)) {
        error = "malformed bind address '" + local + "'";
        return false;
    }
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&me), sizeof me) != 0) {
        error = "cannot bind " + local + ":" + std::to_string(settings_.port) + ": " + std::strerror(errno);
        close();
        return false;
    }
    return true;
}

void FirmwareUpdater::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool FirmwareUpdater::pause(milliseconds d) {
    if (cancelled_) return false;
    if (d.count() <= 0) return true;
    pollfd p{wakeFd_, POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(d.count()));
    return !cancelled_;
}

FirmwareUpdater::Wait FirmwareUpdater::waitReadable(milliseconds timeout) {
    const auto until = Steady::now() + timeout;
    for (;;) {
        if (cancelled_) return Wait::Cancelled;
        pollfd p[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const auto left = std::chrono::duration_cast<milliseconds>(until - Steady::now()).count();
        const int n = ::poll(p, 2, static_cast<int>(std::max<long long>(left, 0)));
        if (cancelled_) return Wait::Cancelled;
        if (n > 0 && (p[0].revents & POLLIN)) return Wait::Ready;
        if (n < 0 && errno == EINTR) continue;
        if (Steady::now() >= until) return Wait::Timeout;
    }
}

bool FirmwareUpdater::readOne(std::string& text) {
    char buf[kMaxDatagram + 1];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(fd_, buf, kMaxDatagram, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) return false;
        // Only the device's replies count: anyone else on the link port is not the device.
        if (from.sin_addr.s_addr != device_.sin_addr.s_addr || from.sin_port != device_.sin_port) {
            ++foreign_;
            continue;
        }
        buf[n] = '\0';
        text.append(buf, std::strlen(buf));
        return true;
    }
}

bool FirmwareUpdater::sendFrame(const std::string& frame, bool inPieces, std::string& error) {
    auto sendOne = [&](const char* data, std::size_t n) {
        const ssize_t sent =
            ::sendto(fd_, data, n, 0, reinterpret_cast<const sockaddr*>(&device_), sizeof device_);
        if (sent != static_cast<ssize_t>(n)) {
            error = std::string("send failed: ") + std::strerror(errno);
            return false;
        }
        return true;
    };
    if (!inPieces) return sendOne(frame.data(), frame.size());
    // The device reads a block in 256-byte datagrams; the last one is padded with zero bytes.
    for (std::size_t at = 0; at < frame.size(); at += kPiece) {
        if (at > 0 && !pause(settings_.timing.pieceGap)) {
            error = "cancelled";
            return false;
        }
        char piece[kPiece] = {};
        const std::size_t n = std::min(kPiece, frame.size() - at);
        std::memcpy(piece, frame.data() + at, n);
        if (!sendOne(piece, kPiece)) return false;
    }
    return true;
}

std::string FirmwareUpdater::collect(milliseconds first, milliseconds budget, milliseconds gap,
                                     milliseconds quiet,
                                     const std::function<bool(const std::string&)>& done) {
    std::string text;
    const auto giveUp = Steady::now() + first + budget + quiet;
    if (!pause(first) || waitReadable(budget) != Wait::Ready) return text;
    for (;;) {
        while (readOne(text)) {
        }
        if (!pause(gap) || done(text)) return text;
        const auto left = std::chrono::duration_cast<milliseconds>(giveUp - Steady::now());
        if (left.count() <= 0 || waitReadable(std::min(quiet, left)) != Wait::Ready) return text;
    }
}

void FirmwareUpdater::drain() {
    // Stale replies would otherwise be read as answers to what comes next; a device that keeps
    // talking is given two seconds, not forever.
    const auto until = Steady::now() + settings_.timing.drainBudget;
    char buf[kMaxDatagram];
    while (Steady::now() < until) {
        if (::recv(fd_, buf, sizeof buf, MSG_DONTWAIT) < 0) return;
        if (!pause(settings_.timing.drainGap)) return;
    }
}

std::optional<std::string> FirmwareUpdater::askBasicVersion() {
    const FirmwareTiming& t = settings_.timing;
    std::string error;
    for (int attempt = 0; attempt < t.basicAttempts; ++attempt) {
        if (attempt > 0 && !pause(t.basicRetry)) return std::nullopt;
        if (!sendFrame(buildBasicVersionQuery(ownAddress(), settings_.port), false, error))
            return std::nullopt;
        std::string text = collect(t.basicWait, t.basicBudget, t.basicGap, t.basicGap,
                                   [](const std::string& s) { return scanVersionReply(s, 'r').has_value(); });
        if (auto v = scanVersionReply(text, 'r')) return v;
    }
    return std::nullopt;
}

std::optional<std::string> FirmwareUpdater::askHardwareVersion() {
    const FirmwareTiming& t = settings_.timing;
    std::string error;
    if (!sendFrame(buildHardwareVersionQuery(ownAddress(), settings_.port), false, error))
        return std::nullopt;
    auto answered = [](const std::string& s) { return scanVersionReply(s, 'z').has_value(); };
    std::string text = collect(t.versionWait, t.versionBudget, t.versionGap, t.versionGap, answered);
    if (auto v = scanVersionReply(text, 'z')) return v;
    // A device that answers with its full state alone has answered, without a number to show.
    if (validFrameOf(text, "%Z,")) return versions_.hardware;
    return std::nullopt;
}

Ipv4Octets FirmwareUpdater::ownAddress() const {
    // Where the device must answer is where this socket is bound.
    sockaddr_in me{};
    socklen_t len = sizeof me;
    if (fd_ >= 0 && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&me), &len) == 0 &&
        me.sin_addr.s_addr != INADDR_ANY)
        return octetsOf(me.sin_addr);
    return ownAddressFor(settings_.host);
}

bool FirmwareUpdater::sendImage(const ImagePlan& plan, int target, std::string& error,
                                std::string* deviceReply) {
    const FirmwareTiming& t = settings_.timing;
    const int total = static_cast<int>(plan.blocks.size());
    auto stopped = [&] {
        error = "cancelled";
        return false;
    };
    drain();
    if (cancelled_) return stopped();
    if (!sendFrame(buildStart(target, plan.announcedBlocks, plan.length), false, error)) return false;
    std::string reply = collect(t.startWait, t.startBudget, t.replyGap, t.startQuiet,
                                [](const std::string& s) { return hasMarker(s, "%S") || hasErrorReply(s); });
    if (cancelled_) return stopped();
    if (!hasMarker(reply, "%S")) {
        error =
            reply.empty() ? "the device did not answer the start" : "the device refused the start: " + reply;
        return false;
    }
    if (events_.progress) events_.progress(target, 0, total);
    for (int i = 0; i < total; ++i) {
        const std::string frame = buildBlock(target, i, plan.blocks[static_cast<std::size_t>(i)]);
        bool acked = false;
        for (int attempt = 0; attempt < t.blockAttempts && !acked; ++attempt) {
            if (attempt > 0) ++resent_;
            if (!sendFrame(frame, true, error)) return cancelled_ ? stopped() : false;
            reply = collect(t.blockWait, t.blockBudget, t.replyGap, t.blockQuiet,
                            [i](const std::string& s) { return hasBlockAck(s, i) || hasErrorReply(s); });
            if (cancelled_) return stopped();
            if (hasErrorReply(reply) && !hasBlockAck(reply, i)) {
                error = "the device refused block " + std::to_string(i) + ": " + reply;
                return false;
            }
            acked = hasBlockAck(reply, i);
        }
        if (!acked) {
            error = "block " + std::to_string(i) + " was not acknowledged";
            return false;
        }
        if (events_.progress) events_.progress(target, i + 1, total);
    }
    if (!sendFrame(buildEnd(target), false, error)) return false;
    reply = collect(t.endWait, t.endBudget, t.replyGap, t.endQuiet, [](const std::string& s) {
        const std::size_t at = s.find("%U");
        return at != std::string::npos && s.find('#', at) != std::string::npos;
    });
    if (cancelled_) return stopped();
    const EndReply end = scanEndReply(reply);
    switch (end.kind) {
    case EndReply::Kind::Absent:
        error = "the device did not answer the end";
        return false;
    case EndReply::Kind::TooShort:
    case EndReply::Kind::Malformed:
        error = "the end reply carries no result code: " + reply;
        return false;
    case EndReply::Kind::Code:
        break;
    }
    if (end.code != 0) {
        if (deviceReply) *deviceReply = reply;
        error = "the device ended the image with code " + std::to_string(end.code);
        return false;
    }
    return true;
}

UpdateResult FirmwareUpdater::finish(Outcome o, const char* en, const char* zh, std::string detail) {
    close();
    UpdateResult r;
    r.outcome = o;
    r.message = pick(settings_.languageFlag, en, zh);
    r.detail = std::move(detail);
    return r;
}

UpdateResult FirmwareUpdater::queryVersions(bool askBasic, const char* noVersionZh) {
    if (askBasic) versions_.basic = askBasicVersion().value_or("000");
    if (cancelled_) return finish(Outcome::Cancelled, "Update cancelled.", "升级已取消。");
    auto hw = askHardwareVersion();
    if (cancelled_) return finish(Outcome::Cancelled, "Update cancelled.", "升级已取消。");
    if (hw) {
        versions_.hardware = *hw;
    } else {
        const bool goOn = askBasic && events_.continueWithoutVersion && events_.continueWithoutVersion();
        if (!goOn)
            return finish(Outcome::NoVersion, "Get version error.", noVersionZh,
                          "the device did not answer the hardware version query");
    }
    if (events_.versions) events_.versions(versions_);
    UpdateResult ok;
    ok.outcome = Outcome::Success;
    return ok;
}

UpdateResult FirmwareUpdater::sendImages(const std::vector<std::pair<std::filesystem::path, int>>& files,
                                         milliseconds firstPause) {
    // Every file is read and checked before the first frame of any image goes out.
    std::vector<std::pair<ImagePlan, int>> plans;
    for (const auto& [path, target] : files) {
        std::string error;
        auto bytes = readImageFile(path, error);
        std::optional<ImagePlan> plan;
        if (bytes) plan = planImage(*bytes, error);
        if (!plan)
            return finish(Outcome::Refused, "The update file cannot be used.", "升级文件无法使用。", error);
        plans.emplace_back(std::move(*plan), target);
    }
    if (!pause(firstPause)) return finish(Outcome::Cancelled, "Update cancelled.", "升级已取消。");
    for (std::size_t k = 0; k < plans.size(); ++k) {
        if (k > 0 && !pause(settings_.timing.betweenImages))
            return finish(Outcome::Cancelled, "Update cancelled.", "升级已取消。");
        std::string error, deviceReply;
        if (!sendImage(plans[k].first, plans[k].second, error, &deviceReply)) {
            if (cancelled_) return finish(Outcome::Cancelled, "Update cancelled.", "升级已取消。", error);
            const char* which = plans[k].second == kTargetDsp ? "DSP image: " : "digital image: ";
            UpdateResult r = finish(Outcome::Failed, "update fail", "升级失败。", which + error);
            r.deviceReply = deviceReply;
            return r;
        }
    }
    return finish(Outcome::Success, "Update successfully", "升级成功。");
}

UpdateResult FirmwareUpdater::runLocal(const LocalImages& images) {
    std::string error;
    if (!open(error)) return finish(Outcome::Refused, "Winsock error!", "Winsock error!", error);
    UpdateResult v = queryVersions(true, "读取版本失败.");
    if (v.outcome != Outcome::Success) return v;
    auto names = localImageFiles(versions_.basic);
    if (!names)
        return finish(Outcome::TooNew, "请使用高版本软件", "请使用高版本软件",
                      "basic version " + versions_.basic + " needs a newer updater");
    std::vector<std::pair<std::filesystem::path, int>> files;
    if (images.dsp || images.digital) {
        if (images.digital) files.emplace_back(*images.digital, kTargetDigital);
        if (images.dsp) files.emplace_back(*images.dsp, kTargetDsp);
    } else {
        files.emplace_back(images.dir / names->digital, kTargetDigital);
        files.emplace_back(images.dir / names->dsp, kTargetDsp);
    }
    return sendImages(files, milliseconds(0));
}

UpdateResult FirmwareUpdater::runRemote(const std::string& pageUrl, const std::filesystem::path& dir) {
    std::string error;
    if (!isHttpUrl(pageUrl))
        return finish(Outcome::Refused, "Update fail.", "升级失败。",
                      "not an http or https address: " + pageUrl);
    if (!open(error)) return finish(Outcome::Refused, "Winsock error!", "Winsock error!", error);
    UpdateResult v = queryVersions(false, "获得版本失败.");
    if (v.outcome != Outcome::Success) return v;

    std::string page;
    FetchResult got = web_.fetchText(pageUrl, kMaxVersionPageBytes, page);
    if (cancelled_) return finish(Outcome::Cancelled, "Update cancelled.", "升级已取消。");
    if (!got.ok) return finish(Outcome::Refused, "Update fail.", "升级失败。", got.error);
    auto published = parseVersionPage(page, error);
    if (!published) return finish(Outcome::Refused, "Update fail.", "升级失败。", error);
    versions_.remote = published->version;
    if (events_.versions) events_.versions(versions_);
    auto newer = isNewer(published->version, versions_.hardware);
    if (!newer)
        return finish(Outcome::Refused, "Update fail.", "升级失败。",
                      "the device's version '" + versions_.hardware + "' is not a number");
    if (!*newer) return finish(Outcome::UpToDate, "Software is the newst.", "软件已是最新版本.");

    const std::filesystem::path dsp = dir / kDownloadedDsp, digital = dir / kDownloadedDigital;
    for (const auto& [url, path] :
         {std::pair{published->dspUrl, dsp}, std::pair{published->digitalUrl, digital}}) {
        got = web_.download(url, path, kMaxImageBytes);
        if (cancelled_) return finish(Outcome::Cancelled, "Update cancelled.", "升级已取消。");
        if (!got.ok) return finish(Outcome::Refused, "Update fail.", "升级失败。", got.error);
    }
    UpdateResult r =
        sendImages({{digital, kTargetDigital}, {dsp, kTargetDsp}}, settings_.timing.beforeDownloaded);
    // The remote flow's own wording of success ends with a full stop.
    if (r.outcome == Outcome::Success)
        r.message = pick(settings_.languageFlag, "Update successfully.", "升级成功。");
    return r;
}

} // namespace quorvel::firmware
