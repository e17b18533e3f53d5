#include <gtest/gtest.h>

#include <cstring>

#include "link/device_state.h"
#include "mixing/effects_text.h"
#include "presets/data_text.h"
#include "processing/dynamics_text.h"
#include "processing/geq_text.h"
#include "processing/limiter_text.h"
#include "processing/peq_text.h"

namespace quorvel {
namespace {

TEST(HexGroups, ConversionRule) {
    EXPECT_EQ(readHexGroup("C8"), 200);
    EXPECT_EQ(readHexGroup("c8"), 200);     // case does not matter
    EXPECT_EQ(readHexGroup("4E20"), 20000); // first pair is the high byte
    EXPECT_EQ(readHexGroup("A"), 10);       // odd length reads with a leading "0"
    EXPECT_EQ(readHexGroup("abc"), 0xABC);
    EXPECT_FALSE(readHexGroup(""));
    EXPECT_FALSE(readHexGroup("G1"));
    EXPECT_FALSE(readHexGroup(" 1"));
    EXPECT_FALSE(readHexGroup("-1"));
}

TEST(HexGroups, OutOfFieldValuesKeepTheWidth) {
    std::string t;
    appendHex(t, 0x1FF, 2);
    appendHex(t, -1, 2);
    appendHex(t, 70000, 4);
    appendHex(t, 0xAB, 4);
    EXPECT_EQ(t, "FF00FFFF00AB");
}

// Exact layouts: stored presets depend on field order and widths.
TEST(BlockTexts, DynamicsLayouts) {
    // The compressor's ratio raw 100 and gain raw 200 land as "64" and "C8".
    EXPECT_EQ(compressorDataText(Dynamics{1, 30, 100, 20, 200, 100}), "011E646414C8");
    EXPECT_EQ(noiseDataText(GateSettings{1, 60, 17, 250, 20}), "013CFA14");
    EXPECT_EQ(limiterDataText({1, 30, 100, 50, 200, 40}), "011E286432C8");
}

TEST(BlockTexts, PeqLayout) {
    DeviceState s;
    loadFactoryDefaults(s);
    InputChannel& ch = s.in(1);
    ch.peq[0] = PeqBand{200, 150, 20, 0, 0, 1};
    ch.peq[1] = PeqBand{500, 300, 1, 0, 0, 0};
    ch.peq[2] = PeqBand{1000, 0, 200, 0, 0, 0};
    ch.peq[3] = PeqBand{19953, 151, 20, 0, 0, 2};
    ch.hpfOn = 1, ch.hpfType = 2, ch.hpfSlope = 8, ch.hpfFreq = 20;
    ch.lpfOn = 0, ch.lpfType = 2, ch.lpfSlope = 2, ch.lpfFreq = 20000;
    const std::string t = peqDataText(ch);
    ASSERT_EQ(t.size(), kPeqTextLength);
    EXPECT_EQ(t, "010014009600C8"
                 "000001012C01F4"
                 "0000C8000003E8"
                 "02001400974DF1"
                 ",010200080014"
                 ",000200024E20");
}

TEST(BlockTexts, GeqAndEffects) {
    DeviceState s;
    loadFactoryDefaults(s);
    for (int b = 0; b < kGeqBands; ++b) {
        s.out(3).geq[b].gain = b * 10;
    }
    const std::string geq = geqDataText(s.out(3).geq);
    ASSERT_EQ(geq.size(), kGeqTextLength);
    EXPECT_EQ(geq.substr(0, 8), "0000000A");
    EXPECT_EQ(geq.substr(120), "012C");

    s.in(kDelayReturnChannel).effectParams[0] = 1000;
    s.in(kDelayReturnChannel).effectParams[1] = 10;
    s.in(kDelayReturnChannel).effectParams[2] = 100;
    s.in(kDelayReturnChannel).effectParams[3] = 20000;
    EXPECT_EQ(delayDataText(s), "03E8000A644E20");
    auto& rev = s.in(kReverbReturnChannel).effectParams;
    rev[5] = 61, rev[6] = 48, rev[7] = 47, rev[8] = 50, rev[9] = 3, rev[10] = 20000;
    EXPECT_EQ(reverbDataText(s), "3D302F32034E20");
}

// Damaged texts: every decoder refuses, leaves its block exactly as it was and says why.
TEST(BlockTexts, DamagedTextsAreRefused) {
    DeviceState s;
    loadFactoryDefaults(s);
    const DeviceState before = s;
    std::string error;

    EXPECT_FALSE(readNoiseDataText("013CFA", s.in(1).gate, error));
    EXPECT_NE(error.find("NOISE"), std::string::npos);
    EXPECT_NE(error.find("6 characters where 8"), std::string::npos);

    EXPECT_FALSE(readCompressorDataText("011E64641XC8", s.in(1).dynamics, error));
    EXPECT_NE(error.find("not a hex digit"), std::string::npos);
    EXPECT_NE(error.find("character 9"), std::string::npos);

    EXPECT_FALSE(readCompressorDataText("011E646414C80", s.in(1).dynamics, error));
    EXPECT_NE(error.find("longer"), std::string::npos);

    std::string peq = peqDataText(s.in(1));
    peq[56] = ';';
    EXPECT_FALSE(readPeqDataText(peq, s.in(1), error));
    EXPECT_NE(error.find("separator"), std::string::npos);
    EXPECT_FALSE(readPeqDataText(peqDataText(s.in(1)).substr(0, 81), s.in(1), error));

    EXPECT_FALSE(readLimiterDataText("", s.out(1).limiter, error));
    EXPECT_FALSE(readGeqDataText(std::string(124, 'Z'), s.out(1).geq, error));
    EXPECT_FALSE(readGeqDataText(std::string(123, '0'), s.out(1).geq, error));
    EXPECT_FALSE(readDelayDataText("03E8000A644E2", s, error));
    EXPECT_FALSE(readReverbDataText("3D302F3203 E20", s, error));

    EXPECT_EQ(std::memcmp(&s.input, &before.input, sizeof s.input), 0);
    EXPECT_EQ(std::memcmp(&s.output, &before.output, sizeof s.output), 0);
}

} // namespace
} // namespace quorvel
