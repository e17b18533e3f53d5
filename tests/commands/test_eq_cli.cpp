// The processing commands of quorvelctl as scripts use them: curve, preset, set actions, dry runs.
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

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::stringstream ss(s);
    for (std::string l; std::getline(ss, l);)
        out.push_back(l);
    return out;
}

} // namespace

TEST(CurveCommand, PlainAndJson) {
    CliRun r = run({"curve", "input[1]", "--set", "input[1].peq[3].bandGain=210"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto l = lines(r.out);
    ASSERT_EQ(l.size(), 241u);
    EXPECT_EQ(l[0].substr(0, 6), "19.71 ");
    EXPECT_EQ(l[9].substr(0, 5), "25.5 ");
    EXPECT_EQ(l[76].substr(0, 4), "179 ");
    // Band 3 sits at 1000 Hz with +6.0 dB: the total reads its gain there.
    EXPECT_EQ(l[136], "1000 6.0000");
    EXPECT_EQ(l[240].substr(0, 6), "20000 ");

    CliRun j = run({"curve", "input[10]", "--json"});
    ASSERT_EQ(j.exitCode, 0);
    EXPECT_EQ(j.out.rfind("{\"freq\":[19.71,20.31,", 0), 0u);
    EXPECT_NE(j.out.find("],\"db\":[0.0000,"), std::string::npos);
    // Channels 9 and up have no filters: four band curves.
    std::size_t bands = 0;
    for (std::size_t p = j.out.find("\"bands\":["); (p = j.out.find('[', p + 9)) != std::string::npos;)
        ++bands;
    EXPECT_EQ(bands, 4u);

    for (auto bad : {std::vector<std::string>{"curve"},
                     {"curve", "output[1]"},
                     {"curve", "input[19]"},
                     {"curve", "input[1]", "--set", "input[1].peq[1].bandGain=999"}}) {
        CliRun b = run(bad);
        EXPECT_EQ(b.exitCode, 2);
        EXPECT_EQ(lines(b.err).size(), 1u) << b.err;
    }
}

TEST(PresetCommand, EncodeAndDecode) {
    CliRun e = run({"preset", "encode", "PEQ", "input[2]", "--set", "input[2].hpfOn=1"});
    ASSERT_EQ(e.exitCode, 0) << e.err;
    EXPECT_EQ(e.out, "000014009600C8000014009601F4000014009603E800001400961388,010200020014,000200024E20\n");
    CliRun g = run({"preset", "encode", "GEQ", "output[1]", "--set", "output[1].geq[31]=300"});
    EXPECT_EQ(g.out.size(), 4u * 31 + 1);
    EXPECT_EQ(g.out.substr(120), "012C\n");
    // Values out of range are stored clamped, as a recall stores them.
    std::string text;
    for (int i = 0; i < 31; ++i)
        text += i == 0 ? "7FFF" : "0096";
    CliRun d = run({"preset", "decode", "GEQ", "output[3]", text});
    ASSERT_EQ(d.exitCode, 0) << d.err;
    EXPECT_EQ(d.out.rfind("{\"output[3].geq[1]\":300,\"output[3].geq[2]\":150,", 0), 0u) << d.out;
    CliRun l = run({"preset", "decode", "LIMIT", "output[1]", "003C0A0A6400"});
    ASSERT_EQ(l.exitCode, 0) << l.err;
    EXPECT_NE(l.out.find("\"output[1].limiter[2]\":60"), std::string::npos) << l.out;

    for (auto bad : {std::vector<std::string>{"preset", "decode", "PEQ", "input[1]", "00"},
                     {"preset", "encode", "GEQ", "input[1]"},
                     {"preset", "encode", "NOPE", "input[1]"}}) {
        CliRun b = run(bad);
        EXPECT_EQ(b.exitCode, 2);
        EXPECT_EQ(lines(b.err).size(), 1u) << b.err;
    }
}

TEST(SetDryRun, FramesAndPausesOfActions) {
    CliRun r = run({"set", "--dry-run", "reset:peq:input[10]"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto l = lines(r.out);
    ASSERT_EQ(l.size(), 4u);
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(l[b].substr(0, 14), "%G,01,0A,01,0" + std::to_string(b + 1)) << l[b];
        EXPECT_EQ(l[b].substr(l[b].size() - 3), " 20");
    }
    // Inputs 1 and 2 linked with EQ: the member's copy follows 10 ms after.
    CliRun linked =
        run({"set", "--dry-run", "--set", "controlGroups[1][1]=1", "--set", "controlGroups[1][2]=1", "--set",
             "controlGroups[1][31]=1", "drag:peq:input[1]:1:1000:-3.0000001"});
    ASSERT_EQ(linked.exitCode, 0) << linked.err;
    EXPECT_EQ(linked.out, "%G,01,01,01,02,01,03E8,3C,14,B070# 0\n%G,01,02,01,02,01,03E8,3C,14,A503# 10\n");

    CliRun bypass = run({"set", "--dry-run", "bypass:on:input[1]", "bypass:off:input[1]"});
    const auto bl = lines(bypass.out);
    ASSERT_EQ(bl.size(), 12u);
    EXPECT_EQ(bl[0].substr(0, 2), "%E");
    EXPECT_EQ(bl[1].substr(0, 2), "%F");
    EXPECT_EQ(bl[2].substr(0, 2), "%G");

    CliRun geq = run({"set", "--dry-run", "drag:geq:output[2]:31:15", "reset:geq:output[2]"});
    ASSERT_EQ(lines(geq.out).size(), 2u);
    EXPECT_NE(geq.out.find(",96,"), std::string::npos);

    for (const char* bad : {"drag:geq:output[2]:32:1", "drag:peq:input[9]:5:100:0", "bypass:maybe:input[1]",
                            "recall:PEQ:output[1]:00", "recall:GEQ:output[1]:00", "reset:peq:output[1]"}) {
        CliRun b = run({"set", "--dry-run", bad});
        EXPECT_EQ(b.exitCode, 2) << bad;
        EXPECT_EQ(lines(b.err).size(), 1u) << b.err;
        EXPECT_EQ(b.out, "");
    }
}

TEST(PresetCommand, EveryTableRoundTripsAndRecallsThroughItsBlock) {
    struct Case {
        const char* table;
        const char* sel;
        const char* set;   // a value away from the factory one
        const char* field; // as decode prints it
        const char* letter;
    };
    const Case cases[] = {
        {"NOISE", "input[2]", "input[2].gateThreshold=25", "\"input[2].gateThreshold\":25", "%B,01,02,"},
        {"Compressor", "input[2]", "input[2].compRatio=40", "\"input[2].compRatio\":40", "%C,01,02,"},
        {"PEQ", "input[2]", "input[2].peq[3].bandQ=77", "\"input[2].peq[3].bandQ\":77", "%G,01,02,"},
        // LIMIT is a keyword of the database language; the table name is only ever data here.
        {"LIMIT", "output[2]", "output[2].limiter[2]=33", "\"output[2].limiter[2]\":33", "%D,01,02,"},
        {"GEQ", "output[2]", "output[2].geq[7]=222", "\"output[2].geq[7]\":222", "%H,01,02,"},
        // The effects' values live in their return records; a recall sends the whole group.
        {"DELAY", "input[17]", "input[17].effectParams[1]=500", "\"input[17].effectParams[1]\":500",
         "%N,01,"},
        {"REV", "input[18]", "input[18].effectParams[10]=40", "\"input[18].effectParams[10]\":40", "%M,01,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        CliRun e = run({"preset", "encode", c.table, c.sel, "--set", c.set});
        ASSERT_EQ(e.exitCode, 0) << e.err;
        const std::string text = e.out.substr(0, e.out.size() - 1);
        CliRun d = run({"preset", "decode", c.table, c.sel, text});
        ASSERT_EQ(d.exitCode, 0) << d.err;
        EXPECT_NE(d.out.find(c.field), std::string::npos) << d.out;
        CliRun r = run({"set", "--dry-run", std::string("recall:") + c.table + ":" + c.sel + ":" + text});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.rfind(c.letter, 0), 0u) << r.out;
        // A text cut short is refused with one line, and nothing is sent.
        CliRun bad =
            run({"set", "--dry-run", std::string("recall:") + c.table + ":" + c.sel + ":" + text.substr(1)});
        EXPECT_EQ(bad.exitCode, 2);
        EXPECT_EQ(lines(bad.err).size(), 1u) << bad.err;
        EXPECT_EQ(bad.out, "");
    }
    // An effect table names its one record.
    EXPECT_EQ(run({"set", "--dry-run", "recall:DELAY:input[3]:008500E8264E20"}).exitCode, 2);
    // Values out of range are clamped before they are sent.
    CliRun wide = run({"set", "--dry-run", "recall:DELAY:input[17]:FFFF0000FF0000"});
    ASSERT_EQ(wide.exitCode, 0) << wide.err;
    EXPECT_NE(wide.out.find("%y,01,03E8,000A,64,0014,"), std::string::npos) << wide.out;
}
