#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "mixing/effects_text.h"
#include "presets/preset_blocks.h"
#include "presets/preset_operations.h"
#include "presets/preset_store.h"
#include "temp_dir.h"

namespace quorvel {
namespace {

using testing::TempDir;

class Workflow : public ::testing::Test {
protected:
    void SetUp() override {
        store_.setSqlHook([this](std::string_view text, std::string_view engine) {
            executed_.emplace_back(text);
            engine_.emplace_back(engine);
        });
        store_.setErrorSink([this](const std::string& m) { shown_.push_back(m); });
        ASSERT_TRUE(store_.OpenDatabase()) << store_.lastError();
        executed_.clear();
        engine_.clear();
    }

    TempDir dir_;
    PresetStore store_{PresetStore::pathIn(dir_.path())};
    std::vector<std::string> executed_;
    std::vector<std::string> engine_;
    std::vector<std::string> shown_;
};

TEST_F(Workflow, IdsFollowTheHighestRow) {
    PresetOperations ops(store_, kNoiseTable);
    EXPECT_EQ(ops.fill(), std::vector<std::string>{"SAVE PRESET"});
    EXPECT_EQ(ops.save("01000114"), "1:SAVE1");
    ASSERT_TRUE(ops.rename("1:SAVE1", "Lectern"));
    EXPECT_EQ(ops.save("01000114"), "2:SAVE2");
    EXPECT_EQ(ops.save("01000114"), "3:SAVE3");
    ASSERT_TRUE(ops.remove("3:SAVE3"));
    EXPECT_EQ(ops.save("01000114"), "3:SAVE3"); // the highest ID is taken again
    ASSERT_TRUE(ops.remove("2:SAVE2"));
    EXPECT_EQ(ops.save("01000114"), "4:SAVE4"); // a gap below stays
    EXPECT_EQ(ops.fill(), (std::vector<std::string>{"SAVE PRESET", "1:Lectern", "3:SAVE3", "4:SAVE4"}));
    EXPECT_TRUE(shown_.empty());
}

TEST_F(Workflow, PodiumRename) {
    PresetOperations ops(store_, kNoiseTable);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(ops.save("01000114"));
    }
    executed_.clear();
    ASSERT_TRUE(ops.rename("3:SAVE3", "Podium"));
    ASSERT_EQ(executed_, std::vector<std::string>{"update NOISE set NAME='Podium' where ID=3"});
    EXPECT_EQ(ops.fill().back(), "3:Podium");
}

// Each statement of every table, exactly as built and as the engine received it.
TEST_F(Workflow, ExactStatementTexts) {
    const std::pair<PresetTable, const char*> tables[] = {
        {kNoiseTable, "NOISE"}, {kCompressorTable, "Compressor"},
        {kPeqTable, "PEQ"},     {kLimitTable, "LIMIT"},
        {kGeqTable, "GEQ"},     {kDelayTable, "DELAY"},
        {kReverbTable, "REV"},  {kDeviceDataTable, "DeviceDATA"},
    };
    for (const auto& [table, name] : tables) {
        SCOPED_TRACE(name);
        const std::string n = name;
        const std::string gap = n == "DeviceDATA" ? " " : "  ";
        executed_.clear();
        engine_.clear();
        PresetOperations ops(store_, table);
        ASSERT_EQ(ops.save("0A0B"), "1:SAVE1");
        ops.fill();
        ASSERT_EQ(ops.readData("1:SAVE1"), "0A0B");
        ASSERT_TRUE(ops.rename("1:SAVE1", "Choir"));
        ASSERT_TRUE(ops.remove("1:Choir"));
        const std::vector<std::string> expected = {
            "select top 1 ID from " + n + " order by ID desc",
            "insert into " + n + " values(1,'SAVE1','0A0B')",
            "select * from " + n + " order by ID",
            "select * from " + n + " where ID=1",
            "update " + n + " set NAME='Choir' where ID=1",
            "delete from " + n + gap + "where ID=1",
        };
        EXPECT_EQ(executed_, expected);
        const std::string q = n == "LIMIT" ? "\"LIMIT\"" : n;
        EXPECT_EQ(engine_.front(), "select ID from " + q + " order by ID desc limit 1");
        EXPECT_EQ(engine_.back(), "delete from " + q + gap + "where ID=1");
    }
    EXPECT_TRUE(shown_.empty()) << shown_.front();
}

// Names are stored exactly as typed, whatever they hold, and cannot reach the statement itself.
TEST_F(Workflow, NamesRoundTripAndCannotInject) {
    PresetOperations ops(store_, kCompressorTable);
    const std::vector<std::string> names = {
        "O'Brien", "''", "x'); drop table Compressor; --", "100%", "a;b", "say \"hi\"", "主席台", "🎤 lead",
        "3:4",     "'",
    };
    for (const std::string& name : names) {
        ASSERT_TRUE(ops.save("011E0A640A00"));
        const std::string item = ops.fill().back();
        ASSERT_TRUE(ops.rename(item, name)) << name << ": " << store_.lastError();
    }
    executed_.clear();
    ASSERT_TRUE(ops.rename("1:SAVE1", "O'Brien"));
    EXPECT_EQ(executed_.back(), "update Compressor set NAME='O''Brien' where ID=1");

    const auto items = ops.fill();
    ASSERT_EQ(items.size(), names.size() + 1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(items[i + 1], std::to_string(i + 1) + ":" + names[i]);
        const auto parsed = parsePresetItem(items[i + 1]);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->name, names[i]); // what the name dialog is pre-filled with
    }
    EXPECT_TRUE(shown_.empty());
}

// A scene row holds a file path; a directory with an apostrophe in its name must come back intact.
TEST_F(Workflow, ScenePathsWithApostrophesRoundTrip) {
    PresetOperations ops(store_, kDeviceDataTable);
    const std::string path = "/home/o'neil/.local/share/quorvel/SAVE1.dat";
    ASSERT_TRUE(ops.insert(1, "SAVE1", path)) << store_.lastError();
    EXPECT_EQ(executed_.back(),
              "insert into DeviceDATA values(1,'SAVE1','/home/o''neil/.local/share/quorvel/SAVE1.dat')");
    EXPECT_EQ(ops.readData("1:SAVE1"), path);
    EXPECT_EQ(ops.nextId(), 2);
}

TEST_F(Workflow, ExhaustedIdsAreReportedNotWrapped) {
    ASSERT_TRUE(store_.RunStatement("insert into REV values(2147483647,'last','3D302F32034E20')"));
    PresetOperations ops(store_, kReverbTable);
    EXPECT_FALSE(ops.save("3D302F32034E20"));
    ASSERT_EQ(shown_.size(), 1U);
    EXPECT_EQ(ops.fill().size(), 2U);
}

TEST_F(Workflow, ItemsWithoutAnIdAreIgnored) {
    PresetOperations ops(store_, kNoiseTable);
    ASSERT_TRUE(ops.save("01000114"));
    executed_.clear();
    for (const char* item : {"SAVE PRESET", "abc:def", ":x", "-1:x", "1 or 1=1:x", "1;drop:x"}) {
        EXPECT_FALSE(ops.readData(item)) << item;
        EXPECT_FALSE(ops.rename(item, "n")) << item;
        EXPECT_FALSE(ops.remove(item)) << item;
    }
    EXPECT_TRUE(executed_.empty());
    EXPECT_EQ(parsePresetItem("12:a:b")->id, 12);
    EXPECT_EQ(parsePresetItem("12:a:b")->name, "a:b");
}

// Every block saved from one state and recalled into a factory state carries all its values
// across; nothing outside the block moves.
TEST_F(Workflow, EveryBlockRecallsIntoDeviceState) {
    DeviceState source;
    loadFactoryDefaults(source);
    auto* raw = reinterpret_cast<std::int32_t*>(&source.input);
    for (std::size_t i = 0; i < sizeof(source.input) / 4; ++i) {
        raw[i] = static_cast<std::int32_t>((i * 7) % 200 + 1);
    }
    for (int b = 0; b < kGeqBands; ++b) {
        source.out(2).geq[b].gain = 9 * b;
    }
    source.out(2).limiter = {0, 11, 22, 33, 44, 55};
    DeviceState target;
    loadFactoryDefaults(target);
    const DeviceState factory = target;

    for (const PresetBlock b :
         {PresetBlock::Noise, PresetBlock::Compressor, PresetBlock::Peq, PresetBlock::Limiter,
          PresetBlock::Geq, PresetBlock::Delay, PresetBlock::Reverb}) {
        const bool output = b == PresetBlock::Limiter || b == PresetBlock::Geq;
        const auto item = saveBlockPreset(store_, b, source, output ? 1 : 2);
        ASSERT_TRUE(item) << store_.lastError();
        ASSERT_EQ(recallBlockPreset(store_, b, *item, target, output ? 5 : 7), RecallStatus::Recalled);
        EXPECT_EQ(blockDataText(b, target, output ? 5 : 7), blockDataText(b, source, output ? 1 : 2));
    }
    EXPECT_TRUE(shown_.empty());
    EXPECT_EQ(target.input[7].gate.gateRange, factory.input[7].gate.gateRange);
    EXPECT_EQ(target.input[7].level, factory.input[7].level);
    EXPECT_EQ(target.input[7].peq[4].bandFreq, factory.input[7].peq[4].bandFreq);
    EXPECT_EQ(std::memcmp(&target.input[2], &factory.input[2], sizeof(InputChannel)), 0);
    EXPECT_EQ(std::memcmp(&target.output[1], &factory.output[1], sizeof(OutputChannel)), 0);
}

// Rows written by hand, the way an older file holds them, land in exactly the fields and the
// channel or output their table names; every other word of the state keeps its value.
TEST_F(Workflow, StoredTextsLandInTheirFields) {
    auto hex = [](int value, int digits) {
        char buf[8];
        std::snprintf(buf, sizeof buf, digits == 2 ? "%02X" : "%04X", value);
        return std::string(buf);
    };
    std::string peq;
    for (int b = 0; b < 4; ++b) {
        peq += hex(b % 3, 2) + hex(10 + b, 4) + hex(100 + b, 4) + hex(1000 * (b + 1), 4);
    }
    peq += "," + hex(1, 2) + hex(2, 2) + hex(6, 4) + hex(80, 4) + "," + hex(0, 2) + hex(2, 2) + hex(4, 4) +
           hex(15000, 4);
    std::string geq;
    for (int k = 0; k < 31; ++k) {
        geq += hex(9 * k, 4);
    }
    struct Row {
        PresetBlock block;
        const char* table;
        std::string text;
        int index;
    };
    const Row rows[] = {
        {PresetBlock::Noise, "NOISE", "012A0564", 4},
        {PresetBlock::Compressor, "Compressor", "011E500A7832", 4},
        {PresetBlock::Peq, "PEQ", peq, 9},
        {PresetBlock::Limiter, "LIMIT", "01281E0AC864", 6},
        {PresetBlock::Geq, "GEQ", geq, 0},
        {PresetBlock::Delay, "DELAY", "0064012C1E2710", 3},
        {PresetBlock::Reverb, "REV", "3c3b3a39141f40", 3}, // lower case reads the same
    };
    DeviceState s;
    loadFactoryDefaults(s);
    DeviceState expected = s;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.table);
        ASSERT_TRUE(store_.RunStatement(std::string("insert into ") + r.table + " values(5,'by hand','" +
                                        r.text + "')"));
        ASSERT_EQ(recallBlockPreset(store_, r.block, "5:by hand", s, r.index), RecallStatus::Recalled)
            << store_.lastError();
    }

    GateSettings& gate = expected.input[4].gate;
    gate.gateEnabled = 1, gate.gateThreshold = 42, gate.gateAttack = 5, gate.gateRelease = 100;
    Dynamics& comp = expected.input[4].dynamics;
    comp.compEnabled = 1, comp.compThreshold = 30, comp.compRatio = 80;
    comp.compAttack = 10, comp.compRelease = 120, comp.compGain = 50;
    InputChannel& ch = expected.input[9];
    for (int b = 0; b < 4; ++b) {
        PeqBand& band = ch.peq[static_cast<std::size_t>(b)];
        band.bandType = b % 3, band.bandQ = 10 + b, band.bandGain = 100 + b, band.bandFreq = 1000 * (b + 1);
    }
    ch.hpfOn = 1, ch.hpfType = 2, ch.hpfSlope = 6, ch.hpfFreq = 80;
    ch.lpfOn = 0, ch.lpfType = 2, ch.lpfSlope = 4, ch.lpfFreq = 15000;
    // Storage order l1..l6: switch, threshold, attack, release, gain, ratio.
    expected.output[6].limiter = {1, 40, 10, 200, 100, 30};
    for (int k = 0; k < 31; ++k) {
        expected.output[0].geq[static_cast<std::size_t>(k)].gain = 9 * k;
    }
    // Record 17 is the DELAY return, record 18 the Reverberation return.
    auto& delay = expected.input[16].effectParams;
    delay[0] = 100, delay[1] = 300, delay[2] = 30, delay[3] = 10000;
    auto& rev = expected.input[17].effectParams;
    rev[5] = 60, rev[6] = 59, rev[7] = 58, rev[8] = 57, rev[9] = 20, rev[10] = 8000;

    for (std::size_t i = 0; i < s.input.size(); ++i) {
        EXPECT_EQ(std::memcmp(&s.input[i], &expected.input[i], sizeof(InputChannel)), 0) << "input " << i;
    }
    for (std::size_t i = 0; i < s.output.size(); ++i) {
        EXPECT_EQ(std::memcmp(&s.output[i], &expected.output[i], sizeof(OutputChannel)), 0) << "output " << i;
    }
    EXPECT_TRUE(shown_.empty());
}

// The item menus: the compressor and reverberation lists share one, every other list the other.
TEST(PresetMenus, EachListHasItsMenuAndCommands) {
    const std::vector<int> common = {215, 32771, 32773, 32774};
    const std::vector<int> second = {216, 32775, 32776, 32777};
    for (const auto& [block, want] :
         {std::pair{PresetBlock::Noise, common}, std::pair{PresetBlock::Compressor, second},
          std::pair{PresetBlock::Peq, common}, std::pair{PresetBlock::Limiter, common},
          std::pair{PresetBlock::Geq, common}, std::pair{PresetBlock::Delay, common},
          std::pair{PresetBlock::Reverb, second}}) {
        const PresetMenu& m = presetMenu(block);
        EXPECT_EQ((std::vector<int>{m.menuId, m.nameCommand, m.recallCommand, m.deleteCommand}), want)
            << presetTable(block).name;
    }
}

TEST_F(Workflow, DamagedRowIsRefusedAndTheBlockStays) {
    DeviceState s;
    loadFactoryDefaults(s);
    const DeviceState before = s;
    ASSERT_TRUE(store_.RunStatement("insert into Compressor values(1,'short','011E64')"));
    ASSERT_TRUE(store_.RunStatement("insert into GEQ values(1,'bad','" + std::string(120, '0') + "zz00')"));
    ASSERT_TRUE(store_.RunStatement("insert into PEQ values(1,'empty',NULL)"));

    EXPECT_EQ(recallBlockPreset(store_, PresetBlock::Compressor, "1:short", s, 0), RecallStatus::Failed);
    EXPECT_EQ(recallBlockPreset(store_, PresetBlock::Geq, "1:bad", s, 0), RecallStatus::Failed);
    EXPECT_EQ(recallBlockPreset(store_, PresetBlock::Peq, "1:empty", s, 0), RecallStatus::Failed);
    ASSERT_EQ(shown_.size(), 3U);
    EXPECT_NE(shown_[0].find("Compressor"), std::string::npos);
    EXPECT_NE(shown_[0].find("6 characters where 12"), std::string::npos);
    EXPECT_NE(shown_[1].find("not a hex digit"), std::string::npos);
    EXPECT_EQ(std::memcmp(&s.input, &before.input, sizeof s.input), 0);
    EXPECT_EQ(std::memcmp(&s.output, &before.output, sizeof s.output), 0);

    // A row deleted meanwhile is not an error.
    EXPECT_EQ(recallBlockPreset(store_, PresetBlock::Noise, "9:gone", s, 0), RecallStatus::Ignored);
    EXPECT_EQ(shown_.size(), 3U);
}

} // namespace
} // namespace quorvel
