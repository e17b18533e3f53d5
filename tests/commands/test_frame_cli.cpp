// Runs the built quorvelctl as scripts do: output, exit codes and error lines are its interface.
#include <gtest/gtest.h>

#include "../support/cli_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

using quorvel::test::CliRun;

CliRun run(const std::vector<std::string>& args, const std::string& redirect = "") {
    return quorvel::test::runCli(QUORVELCTL, args, redirect);
}

} // namespace

TEST(FrameCommand, PrintsTheWireText) {
    CliRun r = run({"frame", "Q", "1"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "%Q,01,01,B5E1#\n");
    EXPECT_EQ(r.err, "");

    EXPECT_EQ(run({"frame", "A", "27"}).out, "%A,01,1B,4994#\n");

    r = run({"frame", "G", "3", "2", "--set", "input[3].peq[2].bandGain=151"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "%G,01,03,01,02,01,01F4,4B,14,715A#\n"); // Q 2.0, as RESET leaves it

    r = run({"frame", "Z", "--own", "192.168.1.20"});
    EXPECT_EQ(r.out.substr(0, 28), "%Z,01,05,192168001020,39020,");
    EXPECT_EQ(run({"frame", "Z"}).out.substr(0, 28), "%Z,01,05,127000000001,39020,");

    // V: the whole 624-byte frame on one line, names given in UTF-8.
    r = run({"frame", "V", "2", "--set", "input[2].name=\xE9\x80\x9A\xE9\x81\x93"});
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(r.out.size(), 625u);
    EXPECT_EQ(r.out.back(), '\n');
    EXPECT_EQ(r.out.find('\n'), 624u);
    EXPECT_EQ(r.out.substr(9, 8), "901A9053");
}

TEST(FrameCommand, CommandLineErrorsExitTwoWithOneLine) {
    const std::vector<std::vector<std::string>> bad = {
        {"frame", "P", "1"},
        {"frame", "G", "3"},
        {"frame", "B", "13"},
        {"frame", "A", "1", "--set", "input[1].level=71"},
        {"frame", "A", "1", "--set", "input[99].level=1"},
        {"frame", "Z", "--own", "not-an-address"},
    };
    for (const auto& args : bad) {
        CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_EQ(r.out, "") << args.back();
        ASSERT_FALSE(r.err.empty()) << args.back();
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "exactly one line: " << r.err;
    }
    EXPECT_NE(run({"frame", "P", "1"}).err.find("unknown command letter 'P'"), std::string::npos);
}

TEST(CheckCommand, VerdictAndReason) {
    CliRun r = run({"check", "%Q,01,01,B5E1#"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "valid\n");

    const std::pair<const char*, const char*> invalid[] = {
        {"%Q,01,01,b5e1#", "invalid: checksum mismatch: expected B5E1, got b5e1\n"},
        {"%Q,01,02,B5E1#", "invalid: checksum mismatch: expected "},
        {"%P,1234#", "invalid: too short"},
        {"Q,01,01,B5E1##", "invalid: does not start with %"},
        {"%Q,01,01,B5E1", "invalid: does not end with #"},
        {"%Q,#1,01,B5E1#", "invalid: # before the end"},
        {"%Q,01,%Q,01,01,B5E1#", "invalid: % inside the frame at position 7"},
    };
    for (const auto& [frame, verdict] : invalid) {
        r = run({"check", frame});
        EXPECT_EQ(r.exitCode, 1) << frame;
        EXPECT_EQ(r.out.rfind(verdict, 0), 0u) << frame << " -> " << r.out;
    }
}

TEST(Usage, OutputThatCannotBeWrittenIsAFailure) {
    CliRun r = run({"frame", "Q", "1"}, ">/dev/full");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot write standard output"), std::string::npos) << r.err;
}

TEST(Usage, HelpListsEveryCommandAndOption) {
    CliRun r = run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* word : {"frame", "check", "decode", "state", "set", "monitor", "--set", "--own",
                             "--count", "--port", "--host", "--bind", "--timeout", "--data-dir"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;

    // No command and stray options are command-line errors: exit 2, one line on standard error.
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"--bogus"},
                                                 {"nosuch"},
                                                 {"check"},
                                                 {"decode", "x"},
                                                 {"state", "--port", "0"}}) {
        r = run(args);
        EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "(none)" : args.back());
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}
