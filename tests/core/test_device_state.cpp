#include <gtest/gtest.h>

#include <set>

#include "link/device_state.h"
#include "link/field_registry.h"
#include "link/gbk.h"

using namespace quorvel;

TEST(Defaults, FactoryValues) {
    DeviceState s;
    loadFactoryDefaults(s);
    EXPECT_EQ(nameView(s.in(1).name), "CH 1");
    EXPECT_EQ(nameView(s.in(12).name), "CH 12");
    EXPECT_EQ(nameView(s.out(1).name), "M 1");
    EXPECT_EQ(nameView(s.out(5).name), "D 1");
    EXPECT_EQ(nameView(s.out(8).name), "D 4");
    for (int c = 13; c <= 16; ++c)
        EXPECT_EQ(nameView(s.in(c).name), "") << "strip " << c << " has no factory name";
    for (int c = 1; c <= 12; ++c)
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(s.in(c).routeToOutput[k], 1);
    EXPECT_EQ(s.automix.lastHold, 1);
    EXPECT_EQ(s.automix.holdTime, 1);
    EXPECT_EQ(s.automix.nomAttenuation, 27);
    EXPECT_EQ(s.automix.maxOpenChannels, 1);
    EXPECT_EQ(s.automix.syncThresholds, 1);
    EXPECT_EQ(s.spanTime, 100);
    for (auto& u : s.units)
        for (auto b : u)
            EXPECT_EQ(b, 0);

    DeviceState zh;
    loadFactoryDefaults(zh, 2);
    EXPECT_EQ(gbkToUtf8(nameView(zh.in(3).name)), "通道 3");
}

TEST(Defaults, KeepLinkState) {
    DeviceState s;
    s.link.hostAddress = "127.0.0.2";
    s.link.linkOnline = true;
    loadFactoryDefaults(s);
    EXPECT_EQ(s.link.hostAddress, "127.0.0.2");
    EXPECT_TRUE(s.link.linkOnline);
}

TEST(Normalisation, ClampsAndForces) {
    DeviceState s;
    loadFactoryDefaults(s);
    s.in(1).hpfSlope = 9;
    s.in(1).lpfSlope = 0;
    s.in(10).gainStep = 3;
    s.in(5).gainStep = 7;
    s.in(2).peq[0].bandQ = 0;
    s.in(2).peq[3].bandFreq = 30000;
    s.in(2).peq[4].bandQ = 0; // fifth slot is not normalised
    s.in(3).peqOn = 0;
    s.in(3).hpfType = 0;
    s.in(4).danteSource = 9;
    s.in(8).automixThreshold = 99;
    s.in(9).automixThreshold = 99; // only channels 1..8
    s.out(2).geq[30].gain = 400;
    s.automix.nomAttenuation = 31;
    normaliseAfterFullState(s);
    EXPECT_EQ(s.in(1).hpfSlope, 8);
    EXPECT_EQ(s.in(1).lpfSlope, 2);
    EXPECT_EQ(s.in(10).gainStep, 1);
    EXPECT_EQ(s.in(5).gainStep, 3);
    EXPECT_EQ(s.in(2).peq[0].bandQ, 1);
    EXPECT_EQ(s.in(2).peq[3].bandFreq, 20000);
    EXPECT_EQ(s.in(2).peq[4].bandQ, 0);
    EXPECT_EQ(s.in(3).peqOn, 1);
    EXPECT_EQ(s.in(3).hpfType, 2);
    EXPECT_EQ(s.in(4).danteSource, 4);
    EXPECT_EQ(s.in(8).automixThreshold, 80);
    EXPECT_EQ(s.in(9).automixThreshold, 99);
    EXPECT_EQ(s.out(2).geq[30].gain, 300);
    EXPECT_EQ(s.automix.nomAttenuation, 30);
}

TEST(Names, CutAtSixteenBytesWithoutSplittingACharacter) {
    NameField f;
    setName(f, "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(nameView(f), "ABCDEFGHIJKLMNOP");
    setName(f, std::string(15, 'x') + "\xFF" + "y"); // 0xFF never leads a double-byte pair
    EXPECT_EQ(nameView(f), std::string(15, 'x') + "\xFF");
    auto gbk = utf8ToGbk("A通道通道通道通道"); // 1 + 16 bytes
    ASSERT_TRUE(gbk);
    setName(f, *gbk);
    EXPECT_EQ(nameView(f).size(), 15u);
    EXPECT_EQ(gbkToUtf8(nameView(f)), "A通道通道通道通");
    EXPECT_FALSE(utf8ToGbk("\xF0\x9F\x8E\xB5")); // an emoji has no GBK form
    EXPECT_EQ(gbkByteCount("通道1"), 5);
}

TEST(Registry, PathsAreOneBasedAndDistinct) {
    const auto& r = FieldRegistry::instance();
    DeviceState s{};
    s.in(3).level = 41;
    s.in(3).peq[1].bandGain = 151;
    s.out(2).limiter[5] = 77;
    s.in(4).routeToOutput[7] = 1;
    s.in(5).sendLevel[0] = 12;
    s.in(17).effectParams[10] = 9000;
    s.automix.nomAttenuation = 22;
    s.units[1][4] = 13;
    s.controlGroups[3][26] = 2;
    EXPECT_EQ(FieldRegistry::get(s, *r.find("input[3].level")), 41);
    EXPECT_EQ(FieldRegistry::get(s, *r.find("input[3].peq[2].bandGain")), 151);
    EXPECT_EQ(FieldRegistry::get(s, *r.find("output[2].limiter[6]")), 77);
    EXPECT_EQ(FieldRegistry::get(s, *r.find("input[4].routeToOutput[8]")), 1);
    EXPECT_EQ(FieldRegistry::get(s, *r.find("input[5].sendLevel[1]")), 12);
    EXPECT_EQ(FieldRegistry::get(s, *r.find("input[17].effectParams[11]")), 9000);
    EXPECT_EQ(FieldRegistry::get(s, *r.find("automix.nomAttenuation")), 22);
    EXPECT_EQ(FieldRegistry::get(s, *r.find("units[2][5]")), 13);
    EXPECT_EQ(FieldRegistry::get(s, *r.find("controlGroups[4][27]")), 2);
    EXPECT_EQ(r.find("input[0].level"), nullptr);
    EXPECT_EQ(r.find("input[19].level"), nullptr);
    EXPECT_EQ(r.find("output[2].limiter[7]"), nullptr);

    std::set<std::string> paths;
    std::set<std::size_t> offsets;
    for (const auto& f : r.fields()) {
        EXPECT_TRUE(paths.insert(f.path).second) << f.path;
        EXPECT_TRUE(offsets.insert(f.sceneOffset).second) << f.path;
        EXPECT_LT(f.sceneOffset, kSceneBytes);
    }
    auto carrier = r.find("input[3].peq[2].bandGain")->carrier;
    EXPECT_EQ(carrier.letter, 'G');
    EXPECT_EQ(carrier.selector, 3);
    EXPECT_EQ(carrier.selector2, 2);
    EXPECT_EQ(r.find("output[3].level")->carrier.selector, 15);
    // The strip sends L when the pan moves, so the typed entry and quorvelctl set do too.
    EXPECT_EQ(r.find("input[3].pan")->carrier.letter, 'L');
}

TEST(Registry, AssignValidatesPathValueAndName) {
    DeviceState s{};
    std::string err;
    EXPECT_TRUE(assignField(s, "input[3].peq[2].bandGain=151", err)) << err;
    EXPECT_EQ(s.in(3).peq[1].bandGain, 151);
    EXPECT_FALSE(assignField(s, "input[3].peq[2].bandGain=301", err));
    EXPECT_NE(err.find("0..300"), std::string::npos) << err;
    EXPECT_FALSE(assignField(s, "input[3].level=abc", err));
    EXPECT_FALSE(assignField(s, "input[3].level=", err));
    EXPECT_FALSE(assignField(s, "input[3].level", err));
    EXPECT_FALSE(assignField(s, "input[99].level=1", err));
    EXPECT_TRUE(assignField(s, "input[2].name=通道二", err)) << err;
    EXPECT_EQ(gbkToUtf8(nameView(s.in(2).name)), "通道二");
    EXPECT_FALSE(assignField(s, "input[2].name=ABCDEFGHIJKLMNOPQ", err));
    EXPECT_TRUE(assignField(s, "units[1][1]=16", err)) << err;
    EXPECT_EQ(s.units[0][0], 16);
}

TEST(Registry, AutomixRangesAreTheStoredRanges) {
    // Typed entry and --set clamp or refuse against these, so each bound is checked both ways.
    struct Bound {
        const char* path;
        int lo, hi;
    };
    const Bound bounds[] = {
        {"automix.maxOpenChannels", 1, 8},
        {"automix.holdTime", 1, 100},
        {"automix.closedChannelAttenuation", 0, 60},
        {"automix.nomAttenuation", 20, 30},
        {"automix.zeroCrossingRate", 0, 100},
        {"automix.energy", 1, 200},
        {"automix.compareCount", 1, 100},
        {"automix.thresholdCompensation", 0, 40},
    };
    DeviceState s{};
    std::string err;
    for (const Bound& b : bounds) {
        const std::string p = b.path;
        EXPECT_TRUE(assignField(s, p + "=" + std::to_string(b.lo), err)) << err;
        EXPECT_TRUE(assignField(s, p + "=" + std::to_string(b.hi), err)) << err;
        EXPECT_FALSE(assignField(s, p + "=" + std::to_string(b.lo - 1), err)) << p;
        EXPECT_FALSE(assignField(s, p + "=" + std::to_string(b.hi + 1), err)) << p;
    }
}
