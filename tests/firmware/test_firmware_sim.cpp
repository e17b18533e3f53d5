// The firmware update against the device simulator on loopback: what the device stores must be
// the file, byte for byte, or the update must say it failed.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/wait.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <poll.h>
#include <random>
#include <thread>

#include "../live/ports.h"
#include "../presets/temp_dir.h"
#include "admin/firmware_update.h"
#include "http_server.h"
#include "link/frame.h"
#include "simulator.h"

using namespace quorvel;
using namespace quorvel::firmware;
using quorvel::testing::readFile;
using quorvel::testing::TempDir;

namespace {

std::string bytesOf(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

struct Rig {
    TempDir app, device;
    sim::SimOptions options;
    std::unique_ptr<sim::Simulator> sim;
    std::vector<std::array<int, 3>> progress;

    explicit Rig(int portOffset) {
        options.port = testPort(portOffset);
        options.meterHz = 0;
        options.firmwareDir = device.path().string();
    }
    void start() {
        sim = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(sim->start(error)) << error;
    }
    UpdateSettings settings() const {
        UpdateSettings s;
        s.host = "127.0.0.2";
        s.port = options.port;
        s.timing = FirmwareTiming::quick();
        return s;
    }
    UpdateEvents events(bool goOnWithoutVersion = false) {
        UpdateEvents e;
        e.progress = [this](int target, int sent, int total) { progress.push_back({target, sent, total}); };
        e.continueWithoutVersion = [goOnWithoutVersion] { return goOnWithoutVersion; };
        return e;
    }
    std::string stored(int target) const {
        const auto p = device.path() / (target == kTargetDsp ? "dsp.bin" : "digital.bin");
        return std::filesystem::exists(p) ? readFile(p) : std::string("<none>");
    }
    bool nothingStored() const { return std::filesystem::is_empty(device.path()); }
};

} // namespace

TEST(FirmwareLocal, ImagesOfEveryShapeAreStoredByteIdentical) {
    Rig rig(1);
    rig.start();
    for (std::size_t n : {2048u, 1500u, 2047u, 1000u}) {
        SCOPED_TRACE(n);
        const std::string digital = bytesOf(n, static_cast<unsigned>(n)), dsp = bytesOf(n + 3, 99);
        writeFile(rig.app.path() / "Digital-QUORVEL.bin", digital);
        writeFile(rig.app.path() / "DSP-QUORVEL.bin", dsp);
        rig.progress.clear();
        FirmwareUpdater up(rig.settings(), rig.events());
        UpdateResult r = up.runLocal({rig.app.path(), {}, {}});
        ASSERT_EQ(r.outcome, Outcome::Success) << r.detail;
        EXPECT_EQ(r.message, "Update successfully");
        EXPECT_EQ(rig.stored(kTargetDigital), digital);
        EXPECT_EQ(rig.stored(kTargetDsp), dsp);
        EXPECT_EQ(up.versions().basic, "250");
        EXPECT_EQ(up.versions().hardware, "32");
        // Digital first, then DSP, each counting up to its last block.
        ASSERT_FALSE(rig.progress.empty());
        EXPECT_EQ(rig.progress.front()[0], kTargetDigital);
        EXPECT_EQ(rig.progress.back()[0], kTargetDsp);
        EXPECT_EQ(rig.progress.back()[1], rig.progress.back()[2]);
        EXPECT_EQ(rig.progress.back()[2], static_cast<int>((n + 3 + 2 + 1023) / 1024));
    }
}

TEST(FirmwareLocal, TheBasicVersionChoosesTheFilesOrRefuses) {
    Rig rig(2);
    rig.options.basicVersion = "300";
    rig.start();
    const std::string digital = bytesOf(1500, 1), dsp = bytesOf(900, 2);
    writeFile(rig.app.path() / "Digital-QUORVEL-3.bin", digital);
    writeFile(rig.app.path() / "DSP-QUORVEL-3.bin", dsp);
    {
        FirmwareUpdater up(rig.settings(), rig.events());
        UpdateResult r = up.runLocal({rig.app.path(), {}, {}});
        ASSERT_EQ(r.outcome, Outcome::Success) << r.detail;
        EXPECT_EQ(rig.stored(kTargetDsp), dsp);
    }
    Rig newer(3);
    newer.options.basicVersion = "400";
    newer.start();
    writeFile(newer.app.path() / "Digital-QUORVEL.bin", digital);
    writeFile(newer.app.path() / "DSP-QUORVEL.bin", dsp);
    auto settings = newer.settings();
    settings.languageFlag = 2;
    FirmwareUpdater up(settings, newer.events());
    UpdateResult r = up.runLocal({newer.app.path(), {}, {}});
    EXPECT_EQ(r.outcome, Outcome::TooNew);
    EXPECT_EQ(r.message, "请使用高版本软件");
    EXPECT_TRUE(newer.progress.empty());
    EXPECT_TRUE(newer.nothingStored());
}

TEST(FirmwareLocal, BothFilesAreCheckedBeforeAnyImageIsSent) {
    Rig rig(4);
    rig.start();
    writeFile(rig.app.path() / "Digital-QUORVEL.bin", bytesOf(3000, 4));
    FirmwareUpdater up(rig.settings(), rig.events());
    UpdateResult r = up.runLocal({rig.app.path(), {}, {}});
    EXPECT_EQ(r.outcome, Outcome::Refused);
    EXPECT_NE(r.detail.find("DSP-QUORVEL.bin"), std::string::npos) << r.detail;
    EXPECT_TRUE(rig.progress.empty());
    EXPECT_TRUE(rig.nothingStored()) << "the digital image must not go out alone";

    writeFile(rig.app.path() / "DSP-QUORVEL.bin", "");
    FirmwareUpdater again(rig.settings(), rig.events());
    r = again.runLocal({rig.app.path(), {}, {}});
    EXPECT_EQ(r.outcome, Outcome::Refused);
    EXPECT_NE(r.detail.find("empty"), std::string::npos) << r.detail;
    EXPECT_TRUE(rig.nothingStored());
}

TEST(FirmwareLocal, ARefusedImageEndsTheUpdateThere) {
    Rig rig(5);
    rig.options.firmwareFail = 3;
    rig.start();
    writeFile(rig.app.path() / "Digital-QUORVEL.bin", bytesOf(2048, 5));
    writeFile(rig.app.path() / "DSP-QUORVEL.bin", bytesOf(2048, 6));
    FirmwareUpdater up(rig.settings(), rig.events());
    UpdateResult r = up.runLocal({rig.app.path(), {}, {}});
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_EQ(r.message, "update fail");
    EXPECT_EQ(r.deviceReply.substr(0, 9), "%U,01,03,");
    for (const auto& p : rig.progress)
        EXPECT_EQ(p[0], kTargetDigital) << "no DSP block after the digital image failed";
    EXPECT_TRUE(rig.nothingStored());
}

TEST(FirmwareLocal, ALostAcknowledgementSendsTheBlockAgain) {
    Rig rig(6);
    rig.options.dropAcks = {2};
    rig.start();
    const std::string digital = bytesOf(2047, 7), dsp = bytesOf(1024, 8);
    writeFile(rig.app.path() / "Digital-QUORVEL.bin", digital);
    writeFile(rig.app.path() / "DSP-QUORVEL.bin", dsp);
    FirmwareUpdater up(rig.settings(), rig.events());
    UpdateResult r = up.runLocal({rig.app.path(), {}, {}});
    ASSERT_EQ(r.outcome, Outcome::Success) << r.detail;
    EXPECT_EQ(up.resentBlocks(), 1u);
    EXPECT_EQ(rig.stored(kTargetDigital), digital);
    EXPECT_EQ(rig.stored(kTargetDsp), dsp);

    // The same block unanswered three times: the transfer fails, nothing is stored.
    Rig lost(7);
    lost.options.dropAcks = {2, 3, 4};
    lost.start();
    writeFile(lost.app.path() / "Digital-QUORVEL.bin", digital);
    writeFile(lost.app.path() / "DSP-QUORVEL.bin", dsp);
    FirmwareUpdater up2(lost.settings(), lost.events());
    r = up2.runLocal({lost.app.path(), {}, {}});
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_NE(r.detail.find("block 1 was not acknowledged"), std::string::npos) << r.detail;
    EXPECT_TRUE(lost.nothingStored());
}

TEST(FirmwareLocal, RandomLossesNeverEndInAFalseSuccess) {
    const std::string digital = bytesOf(4100, 9), dsp = bytesOf(3000, 10);
    int successes = 0;
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        Rig rig(8 + static_cast<int>(seed));
        rig.options.drop = 0.15;
        rig.options.seed = seed;
        rig.start();
        writeFile(rig.app.path() / "Digital-QUORVEL.bin", digital);
        writeFile(rig.app.path() / "DSP-QUORVEL.bin", dsp);
        FirmwareUpdater up(rig.settings(), rig.events(true));
        UpdateResult r = up.runLocal({rig.app.path(), {}, {}});
        if (r.outcome == Outcome::Success) {
            ++successes;
            EXPECT_EQ(rig.stored(kTargetDigital), digital);
            EXPECT_EQ(rig.stored(kTargetDsp), dsp);
        } else {
            EXPECT_TRUE(r.outcome == Outcome::Failed || r.outcome == Outcome::NoVersion) << r.detail;
        }
    }
    RecordProperty("successes", successes);
}

TEST(FirmwareLocal, AnUnansweredVersionQueryAsksWhetherToGoOn) {
    Rig rig(13);
    rig.options.answerHandshake = 1000; // every Z ignored
    rig.start();
    writeFile(rig.app.path() / "Digital-QUORVEL.bin", bytesOf(100, 11));
    writeFile(rig.app.path() / "DSP-QUORVEL.bin", bytesOf(100, 12));
    FirmwareUpdater no(rig.settings(), rig.events(false));
    UpdateResult r = no.runLocal({rig.app.path(), {}, {}});
    EXPECT_EQ(r.outcome, Outcome::NoVersion);
    EXPECT_EQ(r.message, "Get version error.");
    EXPECT_TRUE(rig.nothingStored());
    FirmwareUpdater yes(rig.settings(), rig.events(true));
    r = yes.runLocal({rig.app.path(), {}, {}});
    EXPECT_EQ(r.outcome, Outcome::Success) << r.detail;
    EXPECT_EQ(yes.versions().hardware, "00");
}

TEST(FirmwareLocal, RepliesFromAnyoneButTheDeviceDoNotCount) {
    Rig rig(14);
    rig.start();
    FirmwareUpdater up(rig.settings(), rig.events());
    std::string error;
    ASSERT_TRUE(up.open(error)) << error;
    // A stranger on 127.0.0.3 answers before the device does.
    int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in me{}, to{};
    me.sin_family = to.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.3", &me.sin_addr);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    to.sin_port = htons(rig.options.port);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&me), sizeof me), 0);
    const std::string fake = std::move(CommandFrame('r').x2(1).raw("999").comma()).finish();
    ::sendto(s, fake.data(), fake.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    EXPECT_EQ(up.askBasicVersion(), "250");
    EXPECT_GE(up.foreignDatagrams(), 1u);
    ::close(s);
}

TEST(FirmwareLocal, BlocksGoOutIn256BytePiecesWithTheDevicesGaps) {
    // A bare peer in the device's place records what arrives and when.
    const std::uint16_t port = testPort(23);
    int dev = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in me{};
    me.sin_family = AF_INET;
    me.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.2", &me.sin_addr);
    ASSERT_EQ(::bind(dev, reinterpret_cast<sockaddr*>(&me), sizeof me), 0);
    struct Arrival {
        std::size_t bytes;
        std::chrono::steady_clock::time_point at;
        char letter;
    };
    std::vector<Arrival> arrivals;
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        char buf[4096];
        while (!stop) {
            pollfd p{dev, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(dev, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0) continue;
            const std::string text(buf, static_cast<std::size_t>(n));
            arrivals.push_back(
                {text.size(), std::chrono::steady_clock::now(), text.size() > 1 ? text[1] : '?'});
            std::string reply;
            if (text.find("#") == std::string::npos) continue; // a middle piece of a block
            if (text.rfind("%S", 0) == 0)
                reply = std::move(CommandFrame('S').x2(1).raw("1,00").comma()).finish();
            if (text.find("%T") != std::string::npos || text[0] != '%')
                reply = std::move(CommandFrame('Y').x2(1).raw("1,00").comma()).finish();
            if (text.rfind("%U", 0) == 0) reply = std::move(CommandFrame('U').x2(1).x2(0)).finish();
            if (!reply.empty())
                ::sendto(dev, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    });
    UpdateSettings settings;
    settings.host = "127.0.0.2";
    settings.port = port; // the device's own waits
    FirmwareUpdater up(settings);
    std::string error;
    ASSERT_TRUE(up.open(error)) << error;
    std::vector<std::uint8_t> file(1000, 0x5A);
    auto plan = planImage(file, error);
    ASSERT_TRUE(plan);
    EXPECT_TRUE(up.sendImage(*plan, kTargetDigital, error)) << error;
    stop = true;
    peer.join();
    ::close(dev);

    // S, then the block as nine datagrams of exactly 256 bytes at least 20 ms apart, then U.
    ASSERT_EQ(arrivals.size(), 11u);
    EXPECT_EQ(arrivals.front().letter, 'S');
    EXPECT_EQ(arrivals.back().letter, 'U');
    for (std::size_t i = 1; i <= 9; ++i) {
        EXPECT_EQ(arrivals[i].bytes, 256u) << "piece " << i;
        if (i > 1) {
            EXPECT_GE(arrivals[i].at - arrivals[i - 1].at, std::chrono::milliseconds(19)) << "piece " << i;
        }
    }
    // 50 ms before the reply is read and 20 ms after it, before the end goes out.
    EXPECT_GE(arrivals[10].at - arrivals[9].at, std::chrono::milliseconds(69));
}

// ---- remote ---------------------------------------------------------------------------------

namespace {

std::string pageFor(const quorvel::testing::HttpServer& web, const std::string& version,
                    const std::string& dsp = "/dsp.bin", const std::string& digital = "/digital.bin") {
    return "<p>latest</p>##$$" + web.url(dsp) + "%%%%" + web.url(digital) + "%%%%" + version + "$$##\n";
}

} // namespace

TEST(FirmwareRemote, ANewerPublishedVersionIsDownloadedAndSent) {
    quorvel::testing::HttpServer web;
    const std::string dsp = bytesOf(2500, 20), digital = bytesOf(1700, 21);
    web.set("/dsp.bin", {200, dsp});
    web.set("/digital.bin", {200, digital});
    web.set("/version", {200, pageFor(web, "10")});
    Rig rig(15);
    rig.options.hardwareVersion = "9"; // below 10 as a number, above it as text
    rig.start();
    Versions seen;
    UpdateEvents e = rig.events();
    e.versions = [&](const Versions& v) { seen = v; };
    FirmwareUpdater up(rig.settings(), e);
    UpdateResult r = up.runRemote(web.url("/version"), rig.app.path());
    ASSERT_EQ(r.outcome, Outcome::Success) << r.detail;
    EXPECT_EQ(r.message, "Update successfully."); // the remote flow's wording, unlike LOCAL's
    EXPECT_EQ(seen.remote, "10");
    EXPECT_EQ(seen.hardware, "9");
    EXPECT_EQ(readFile(rig.app.path() / "upate1.bin"), dsp);
    EXPECT_EQ(readFile(rig.app.path() / "upate2.bin"), digital);
    EXPECT_EQ(rig.stored(kTargetDsp), dsp);
    EXPECT_EQ(rig.stored(kTargetDigital), digital);

    // The device now reports 10 and the page 9: nothing to do.
    Rig current(16);
    current.options.hardwareVersion = "10";
    current.start();
    web.set("/version", {200, pageFor(web, "9")});
    FirmwareUpdater up2(current.settings(), current.events());
    r = up2.runRemote(web.url("/version"), current.app.path());
    EXPECT_EQ(r.outcome, Outcome::UpToDate);
    EXPECT_EQ(r.message, "Software is the newst.");
    EXPECT_TRUE(current.nothingStored());
}

TEST(FirmwareRemote, NothingIsSentUnlessBothImagesArrivedWhole) {
    quorvel::testing::HttpServer web;
    const std::string image = bytesOf(3000, 30);
    web.set("/dsp.bin", {200, image});
    web.set("/cut.bin", {200, image, 1200});
    web.set("/error.bin", {500, "<html>server error</html>"});
    Rig rig(17);
    rig.options.hardwareVersion = "9";
    rig.start();
    const std::string stale = "an image from an earlier download";
    writeFile(rig.app.path() / "upate1.bin", stale);
    writeFile(rig.app.path() / "upate2.bin", stale);

    struct Case {
        std::string page;
        const char* why;
    };
    for (const Case& c : {Case{pageFor(web, "10", "/dsp.bin", "/missing.bin"), "404"},
                          Case{pageFor(web, "10", "/cut.bin", "/dsp.bin"), "incomplete"},
                          Case{pageFor(web, "10", "/dsp.bin", "/error.bin"), "500"},
                          Case{"<html>maintenance</html>", "no version section"},
                          Case{"##$$ftp://x/a%%%%http://x/b%%%%10$$##", "http or https"},
                          Case{"##$$http://x/a%%%%http://x/b%%%%1O$$##", "not a number"}}) {
        SCOPED_TRACE(c.why);
        web.set("/version", {200, c.page});
        FirmwareUpdater up(rig.settings(), rig.events());
        UpdateResult r = up.runRemote(web.url("/version"), rig.app.path());
        EXPECT_EQ(r.outcome, Outcome::Refused);
        EXPECT_EQ(r.message, "Update fail.");
        EXPECT_NE(r.detail.find(c.why), std::string::npos) << r.detail;
        EXPECT_TRUE(rig.progress.empty());
        EXPECT_TRUE(rig.nothingStored());
    }
    // Whatever did not arrive whole left the earlier copy alone (and was never sent).
    EXPECT_EQ(readFile(rig.app.path() / "upate2.bin"), stale);
    EXPECT_FALSE(std::filesystem::exists(rig.app.path() / "upate1.bin.part"));

    web.set("/version", {404, "gone"});
    FirmwareUpdater up(rig.settings(), rig.events());
    EXPECT_EQ(up.runRemote(web.url("/version"), rig.app.path()).outcome, Outcome::Refused);
    EXPECT_EQ(up.runRemote("file:///etc/passwd", rig.app.path()).outcome, Outcome::Refused);
}

TEST(FirmwareRemote, ADeviceThatKeepsReportingDoesNotHoldTheUpdateUp) {
    // Asked only the version, the device takes the updater for an application and streams status
    // reports at it: the drain before the start is bounded and the replies are found among them.
    quorvel::testing::HttpServer web;
    const std::string dsp = bytesOf(1500, 50), digital = bytesOf(800, 51);
    web.set("/dsp.bin", {200, dsp});
    web.set("/digital.bin", {200, digital});
    web.set("/version", {200, pageFor(web, "40")});
    Rig rig(22);
    rig.options.meterHz = 200;
    rig.start();
    FirmwareUpdater up(rig.settings(), rig.events());
    UpdateResult r = up.runRemote(web.url("/version"), rig.app.path());
    ASSERT_EQ(r.outcome, Outcome::Success) << r.detail;
    EXPECT_EQ(rig.stored(kTargetDsp), dsp);
    EXPECT_EQ(rig.stored(kTargetDigital), digital);

    // The same from the command line; a page that is not there is refused before sending.
    const std::string cli = std::string(QUORVELCTL_PATH) + " --host 127.0.0.2 --data-dir " +
                            rig.app.path().string() + " firmware --quick --port " +
                            std::to_string(rig.options.port) + " --remote ";
    EXPECT_EQ(WEXITSTATUS(std::system((cli + web.url("/version") + " 2>/dev/null").c_str())), 0);
    EXPECT_EQ(WEXITSTATUS(std::system((cli + web.url("/gone") + " 2>/dev/null").c_str())), 2);
}

TEST(FirmwareRemote, LoopbackGuardKeepsDownloadsOnThisMachine) {
    HttpFetcher web(2);
    std::string text;
    FetchResult r = web.fetchText("http://192.0.2.1/version", 1024, text);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("loopback-only"), std::string::npos) << r.error;
}

// ---- quorvelctl ------------------------------------------------------------------------------

namespace {

struct CliRun {
    int code = -1;
    std::string err;
};

CliRun quorvelctl(const std::string& args) {
    const std::string cmd = std::string(QUORVELCTL_PATH) + " " + args + " 2>&1 >/dev/null";
    CliRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    char buf[512];
    while (std::fgets(buf, sizeof buf, p))
        r.err += buf;
    const int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace

TEST(FirmwareCli, ExitCodesSayHowFarTheUpdateGot) {
    Rig rig(18);
    rig.start();
    const auto dsp = rig.app.path() / "d.bin", digital = rig.app.path() / "n.bin";
    writeFile(dsp, bytesOf(1500, 40));
    writeFile(digital, bytesOf(2048, 41));
    const std::string host =
        "--host 127.0.0.2 firmware --port " + std::to_string(rig.options.port) + " --quick ";
    CliRun ok = quorvelctl(host + "--dsp " + dsp.string() + " --digital " + digital.string());
    EXPECT_EQ(ok.code, 0) << ok.err;
    EXPECT_NE(ok.err.find("digital 3/3"), std::string::npos) << ok.err;
    EXPECT_NE(ok.err.find("dsp 2/2"), std::string::npos) << ok.err;
    EXPECT_EQ(rig.stored(kTargetDsp), readFile(dsp));

    CliRun missing = quorvelctl(host + "--dsp " + (rig.app.path() / "none.bin").string());
    EXPECT_EQ(missing.code, 2) << missing.err;

    Rig failing(19);
    failing.options.firmwareFail = 3;
    failing.start();
    CliRun fail = quorvelctl("--host 127.0.0.2 firmware --quick --port " +
                             std::to_string(failing.options.port) + " --digital " + digital.string());
    EXPECT_EQ(fail.code, 1) << fail.err;

    Rig silent(20);
    silent.options.answerHandshake = 1000;
    silent.start();
    const std::string s = "--host 127.0.0.2 firmware --quick --port " + std::to_string(silent.options.port);
    EXPECT_EQ(quorvelctl(s + " --dsp " + dsp.string()).code, 3);
    EXPECT_EQ(quorvelctl(s + " --force --dsp " + dsp.string()).code, 0);

    Rig newer(21);
    newer.options.basicVersion = "400";
    newer.start();
    EXPECT_EQ(quorvelctl("--host 127.0.0.2 firmware --quick --port " + std::to_string(newer.options.port) +
                         " --dsp " + dsp.string())
                  .code,
              3);
}
