// quorvelctl's administration commands against simulators on loopback.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "../live/ports.h"
#include "../support/cli_run.h"
#include "admin/scene.h"
#include "sim/simulator.h"

namespace quorvel {
namespace {

using test::CliRun;

CliRun run(const std::vector<std::string>& args) {
    return test::runCli(QUORVELCTL, args);
}

std::unique_ptr<sim::Simulator> startSim(const char* bind, std::uint16_t port, int units = 4) {
    sim::SimOptions so;
    so.bind = bind;
    so.port = port;
    so.meterHz = 5;
    so.units = units;
    auto s = std::make_unique<sim::Simulator>(so);
    std::string error;
    EXPECT_TRUE(s->start(error)) << error;
    return s;
}

int lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(AdminCli, DiscoverPrintsALinePerDeviceAndFailsWhenNoneAnswers) {
    const std::string port = std::to_string(testPort(5));
    {
        auto a = startSim("127.0.0.2", testPort(5));
        auto b = startSim("127.0.0.3", testPort(5));
        CliRun r = run({"discover", "--from", "127.0.0.1", "--port", port, "--linger", "0.3"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(lines(r.out), 2);
        EXPECT_NE(r.out.find("{\"ip\":\"127.0.0.2\",\"port\":" + port + "}\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("{\"ip\":\"127.0.0.3\",\"port\":" + port + "}\n"), std::string::npos) << r.out;
    }
    CliRun none = run({"discover", "--from", "127.0.0.1", "--port", port, "--linger", "0.1"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(run({"discover", "--from", "nowhere"}).exitCode, 2);
}

TEST(AdminCli, UnitsAssignRefusesADuplicateAndCallsAUnit) {
    const std::uint16_t p = testPort(6);
    auto dev = startSim("127.0.0.2", p);
    const std::string port = std::to_string(p);
    CliRun r = run({"--host", "127.0.0.2", "units", "assign", "1", "4", "CH03", "--port", port});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(dev->snapshot().units[0][3], 3);
    // The device's own table comes back with the handshake, so the rule sees CH03 taken.
    r = run({"--host", "127.0.0.2", "units", "assign", "2", "1", "CH03", "--port", port});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Already select.\n");
    EXPECT_EQ(dev->snapshot().units[1][0], 0);
    EXPECT_EQ(run({"--host", "127.0.0.2", "units", "call", "0", "--port", port}).exitCode, 2);
    EXPECT_EQ(run({"--host", "127.0.0.2", "units", "call", "2", "--port", port}).exitCode, 0);
    EXPECT_EQ(run({"--host", "127.0.0.2", "units", "reset", "--port", port}).exitCode, 0);
    EXPECT_EQ(dev->snapshot().units[0][3], 0);
}

TEST(AdminCli, SceneSaveLoadUploadAndReset) {
    const std::uint16_t p = testPort(7);
    auto dev = startSim("127.0.0.2", p);
    const std::string port = std::to_string(p);
    char dir[] = "/tmp/quorvel-admin-cli-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string file = std::string(dir) + "/show.dat";

    ASSERT_EQ(run({"--host", "127.0.0.2", "scene", "save", file, "--port", port}).exitCode, 0);
    CliRun loaded = run({"scene", "load", file});
    EXPECT_EQ(loaded.exitCode, 0);
    EXPECT_EQ(loaded.out.front(), '{');

    // A changed scene goes up whole; the device then holds it.
    DeviceState s;
    std::string error;
    loadFactoryDefaults(s);
    ASSERT_TRUE(readSceneFile(s, file, error)) << error;
    s.in(5).level = 12;
    s.out(3).limiter[1] = 40;
    ASSERT_TRUE(writeSceneFile(s, file, error)) << error;
    CliRun up = run({"--host", "127.0.0.2", "scene", "upload", file, "--port", port});
    ASSERT_EQ(up.exitCode, 0) << up.err;
    EXPECT_NE(up.err.find("upload 12/187\n"), std::string::npos);
    EXPECT_NE(up.err.find("upload 187/187\n"), std::string::npos);
    EXPECT_EQ(dev->snapshot().in(5).level, 12);
    EXPECT_EQ(dev->snapshot().out(3).limiter[1], 40);

    CliRun reset = run({"--host", "127.0.0.2", "reset", "--port", port});
    EXPECT_EQ(reset.exitCode, 0) << reset.err;
    EXPECT_EQ(reset.out, "Reset successfully.\n");
    EXPECT_EQ(dev->snapshot().in(5).level, 60);

    // A damaged file is refused before anything is sent.
    std::filesystem::resize_file(file, 100);
    EXPECT_EQ(run({"scene", "load", file}).exitCode, 2);
    const auto before = dev->commandsApplied();
    EXPECT_EQ(run({"--host", "127.0.0.2", "scene", "upload", file, "--port", port}).exitCode, 2);
    EXPECT_EQ(dev->commandsApplied(), before);
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace quorvel
