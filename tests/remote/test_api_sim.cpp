// The API on the device simulator: the headless host on its own owner thread, as quorvelctl
// serve runs it, and quorvelctl serve itself. Every wait has a bound.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "../live/ports.h"
#include "admin/scene_library.h"
#include "link/device_link.h"
#include "link/field_registry.h"
#include "presets/preset_blocks.h"
#include "presets/preset_store.h"
#include "remote/api_server.h"
#include "remote/link_host.h"
#include "sim/simulator.h"
#include "tcp_client.h"

using namespace quorvel;
using namespace quorvel::remote;
using namespace std::chrono_literals;
using Json = nlohmann::json;

namespace {

template <class Pred> bool waitFor(Pred pred, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

struct SimRig {
    std::unique_ptr<sim::Simulator> device;
    DeviceState state;
    SteadyLinkClock clock;
    std::unique_ptr<DeviceLink> link;
    std::unique_ptr<LinkHost> host;
    std::unique_ptr<ApiServer> server;
    std::thread owner;

    explicit SimRig(bool wiggle = false) {
        const auto port = testPort(1);
        sim::SimOptions so;
        so.bind = "127.0.0.2";
        so.port = port;
        so.wiggle = wiggle;
        device = std::make_unique<sim::Simulator>(so);
        std::string error;
        EXPECT_TRUE(device->start(error)) << error;
        loadFactoryDefaults(state);
        state.link.hostAddress = "127.0.0.2";
        state.link.udpPort = port;
        LinkOptions lo;
        lo.timing.restartWait = lo.timing.startWait = lo.timing.settleWait = 0ms;
        link = std::make_unique<DeviceLink>(state, clock, lo);
        host = std::make_unique<LinkHost>(state, *link);
        ApiOptions ao;
        ao.port = 0;
        server = std::make_unique<ApiServer>(*host, ao);
        EXPECT_TRUE(server->start(error)) << error;
        host->addListener(&server->handler());
        host->post([this] { host->connect(); });
        owner = std::thread([this] { host->run(); });
    }
    ~SimRig() {
        host->stop();
        owner.join();
        server->stop(); // the owner thread has ended: this one owns it now
        link->closeLink();
        link->drain(500ms);
    }
    bool online(test::LineClient& c) {
        return waitFor([&] {
            return c.request(R"({"jsonrpc":"2.0","id":0,"method":"status"})").find(R"("online":true)") !=
                   std::string::npos;
        });
    }
};

// Reads lines until one satisfies pred; false at the time-out.
template <class Pred> bool readUntil(test::LineClient& c, Pred pred, int lines = 400) {
    for (int i = 0; i < lines; ++i) {
        std::string l = c.readLine();
        if (l.empty()) return false;
        if (pred(Json::parse(l))) return true;
    }
    return false;
}

} // namespace

TEST(ApiOnDevice, SetReachesTheDeviceAndItsChangesReachSubscribers) {
    SimRig rig;
    test::LineClient c(rig.server->port());
    test::LineClient watcher(rig.server->port());
    ASSERT_TRUE(rig.online(c));
    EXPECT_EQ(
        watcher.request(
            R"({"jsonrpc":"2.0","id":1,"method":"subscribe","params":{"paths":["input[3].level","input[5].level"]}})"),
        R"({"jsonrpc":"2.0","id":1,"result":{"paths":2,"meters":0}})");

    EXPECT_EQ(c.request(R"({"jsonrpc":"2.0","id":1,"method":"set","params":{"input[3].level":50}})"),
              R"({"jsonrpc":"2.0","id":1,"result":{"input[3].level":50}})");
    EXPECT_TRUE(waitFor([&] { return rig.device->snapshot().in(3).level == 50; }));
    // The other client hears of the edit.
    EXPECT_EQ(watcher.readLine(), R"({"jsonrpc":"2.0","method":"changed","params":{"input[3].level":50}})");

    // A fader moved at the device.
    rig.device->moveFaderAtDevice(5, 33);
    EXPECT_TRUE(readUntil(watcher, [](const Json& j) {
        return j["method"] == "changed" && j["params"].value("input[5].level", -1) == 33;
    }));

    // Meters at the rate asked, bounded by the device's.
    EXPECT_NE(
        c.request(R"({"jsonrpc":"2.0","id":2,"method":"subscribe","params":{"meters":10}})").find("result"),
        std::string::npos);
    const auto start = std::chrono::steady_clock::now();
    int meters = 0;
    while (std::chrono::steady_clock::now() - start < 1000ms) {
        std::string l = c.readLine();
        if (l.find(R"("method":"meters")") != std::string::npos) ++meters;
    }
    EXPECT_GE(meters, 4); // a loaded machine may delay reports; never more than asked
    EXPECT_LE(meters, 13);
}

TEST(ApiOnDevice, WiggleAtTheDeviceReachesASubscriberOfEverything) {
    SimRig rig(true);
    test::LineClient c(rig.server->port());
    ASSERT_TRUE(rig.online(c));
    c.request(R"({"jsonrpc":"2.0","id":1,"method":"subscribe","params":{"paths":"all"}})");
    EXPECT_TRUE(readUntil(
        c,
        [](const Json& j) {
            if (j["method"] != "changed") return false;
            for (auto& [path, v] : j["params"].items())
                if (path.find("level") != std::string::npos && j["params"].size() < 40) return true;
            return false;
        },
        2000));
}

TEST(ApiOnDevice, ServeAnswersUntilSigterm) {
    const auto port = testPort(2);
    const auto apiPort = static_cast<std::uint16_t>(testPort(3));
    sim::SimOptions so;
    so.bind = "127.0.0.2";
    so.port = port;
    sim::Simulator device(so);
    std::string error;
    ASSERT_TRUE(device.start(error)) << error;
    char dataDir[] = "/tmp/quorvel-serve-XXXXXX";
    ASSERT_NE(::mkdtemp(dataDir), nullptr);

    const std::string api = "127.0.0.1:" + std::to_string(apiPort);
    const std::string portText = std::to_string(port);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(QUORVELCTL_PATH, "quorvelctl", "--host", "127.0.0.2", "--data-dir", dataDir, "serve",
                "--port", portText.c_str(), "--api", api.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::unique_ptr<test::LineClient> c;
    ASSERT_TRUE(waitFor([&] {
        c = std::make_unique<test::LineClient>(apiPort);
        return c->connected();
    }));
    ASSERT_TRUE(waitFor([&] {
        return c->request(R"({"jsonrpc":"2.0","id":0,"method":"status"})").find(R"("online":true)") !=
               std::string::npos;
    }));
    EXPECT_EQ(c->request(R"({"jsonrpc":"2.0","id":1,"method":"set","params":{"input[3].level":500}})"),
              R"({"jsonrpc":"2.0","id":1,"result":{"input[3].level":70}})");
    EXPECT_TRUE(waitFor([&] { return device.snapshot().in(3).level == 70; }));
    EXPECT_NE(c->request(R"({"jsonrpc":"2.0","id":2,"method":"get","params":{"paths":["input[99].level"]}})")
                  .find(R"("code":-32602)"),
              std::string::npos);

    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_TRUE(waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::filesystem::remove_all(dataDir);
}

// Recall reads the same store and scene files as the window and sends what it loaded: a preset's
// block at once, a scene in the paced whole-model transfer.
TEST(ApiOnDevice, RecallOfAPresetAndASceneReachesTheDevice) {
    const auto dir = std::filesystem::temp_directory_path() / ("quorvel_recall_" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    {
        PresetStore store(PresetStore::pathIn(dir));
        ASSERT_TRUE(store.OpenDatabase());
        DeviceState scratch;
        loadFactoryDefaults(scratch);
        std::string error;
        ASSERT_TRUE(assignField(scratch, "input[1].peq[2].bandGain=200", error)) << error;
        ASSERT_TRUE(saveBlockPreset(store, PresetBlock::Peq, scratch, 0)); // "1:SAVE1"
        ASSERT_TRUE(assignField(scratch, "input[4].level=21", error)) << error;
        SceneLibrary scenes(store, dir, {});
        ASSERT_TRUE(scenes.save(scratch).ok());
        ASSERT_TRUE(scenes.rename(1, "Evening").ok());
    }
    PresetStore store(PresetStore::pathIn(dir));
    SimRig rig;
    rig.host->post([&] { rig.host->setRecallSources(&store, dir); });
    test::LineClient c(rig.server->port());
    ASSERT_TRUE(rig.online(c));

    // Onto another channel than it was saved from, by name, kind in any case.
    EXPECT_EQ(
        c.request(
            R"({"jsonrpc":"2.0","id":1,"method":"recall","params":{"kind":"peq","name":"SAVE1","channel":5}})"),
        R"({"jsonrpc":"2.0","id":1,"result":true})");
    EXPECT_TRUE(waitFor([&] { return rig.device->snapshot().in(5).peq[1].bandGain == 200; }));
    EXPECT_EQ(rig.device->snapshot().in(1).peq[1].bandGain, 150);

    const auto refused = [&](const std::string& params) {
        return Json::parse(c.request(R"({"jsonrpc":"2.0","id":2,"method":"recall","params":)" + params + "}"))
            .at("error")
            .at("code")
            .get<int>();
    };
    EXPECT_EQ(refused(R"({"kind":"PEQ","name":"SAVE1","channel":19})"), -32004);
    EXPECT_EQ(refused(R"({"kind":"PEQ","name":"nothing","channel":1})"), -32004);
    EXPECT_EQ(refused(R"({"kind":"TONE","name":"1","channel":1})"), -32004);
    EXPECT_EQ(refused(R"({"kind":"scene","name":"2"})"), -32004);

    EXPECT_EQ(
        c.request(R"({"jsonrpc":"2.0","id":3,"method":"recall","params":{"kind":"Scene","name":"Evening"}})"),
        R"({"jsonrpc":"2.0","id":3,"result":true})");
    EXPECT_TRUE(waitFor([&] { return rig.device->snapshot().in(4).level == 21; }, 15000ms));
    // The scene holds the PEQ as it was saved, so the recalled preset is gone again.
    EXPECT_TRUE(waitFor([&] { return rig.device->snapshot().in(5).peq[1].bandGain == 150; }, 15000ms));
    std::filesystem::remove_all(dir);
}
