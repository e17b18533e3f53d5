// The lock PIN as stored: salted, slow, checked in constant time, never kept in clear; and the
// values a double click puts back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "link/field_registry.h"
#include "link/pin_hash.h"
#include "link/profile.h"
#include "mixing/effect_ops.h"
#include "processing/knob_defaults.h"

using namespace quorvel;

namespace {

constexpr int kFast = 1000; // the checks need the rule, not the cost

std::filesystem::path freshDir(const char* name) {
    auto dir = std::filesystem::temp_directory_path() /
               (std::string("quorvel_pin_") + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

FieldId id(const std::string& path) {
    return *FieldRegistry::instance().idOf(path);
}

} // namespace

TEST(PinHash, SaltedVerifiedAndNeverInClear) {
    const std::string a = hashPin("4711");
    const std::string b = hashPin("4711");
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b); // a fresh salt each time
    EXPECT_TRUE(a.starts_with("pbkdf2-sha256$" + std::to_string(kPinIterations) + "$"));
    EXPECT_EQ(a.find("4711"), std::string::npos);
    EXPECT_TRUE(verifyPin("4711", a));
    EXPECT_TRUE(verifyPin("4711", b));
    EXPECT_FALSE(verifyPin("4712", a));
    EXPECT_FALSE(verifyPin("", a));
    EXPECT_FALSE(verifyPin("47110", a));
    // Bytes beyond ASCII are hashed as given, not cut.
    const std::string zh = hashPin("\xE5\xAF\x86\xE7\xA0\x81", kFast);
    EXPECT_TRUE(verifyPin("\xE5\xAF\x86\xE7\xA0\x81", zh));
    EXPECT_FALSE(verifyPin("\xE5\xAF\x86", zh));
}

TEST(PinHash, DamagedTextsNeverVerify) {
    const std::string good = hashPin("2468", kFast);
    ASSERT_TRUE(isPinHash(good));
    const std::size_t lastCut = good.rfind('$');
    std::string flipped = good;
    flipped.back() = flipped.back() == '0' ? '1' : '0';
    for (const std::string& bad :
         {std::string{}, std::string("2468"), good.substr(0, good.size() - 2), good + "$",
          good.substr(0, lastCut), flipped, "md5$1000$00$" + good.substr(lastCut + 1),
          "pbkdf2-sha256$0$00$" + good.substr(lastCut + 1),
          "pbkdf2-sha256$99999999999$00$" + good.substr(lastCut + 1),
          "pbkdf2-sha256$1000$$" + good.substr(lastCut + 1),
          "pbkdf2-sha256$1000$zz$" + good.substr(lastCut + 1),
          "pbkdf2-sha256$1000x$00$" + good.substr(lastCut + 1)}) {
        EXPECT_FALSE(verifyPin("2468", bad)) << bad;
        if (bad != flipped) {
            EXPECT_FALSE(isPinHash(bad)) << bad;
        }
    }
    EXPECT_TRUE(hashPin("2468", 0).empty());
}

TEST(PinHash, ProfileKeepsOnlyAHash) {
    const auto dir = freshDir("profile");
    std::string error;
    EXPECT_EQ(readLockPinHash(dir), "");
    EXPECT_FALSE(writeLockPinHash(dir, "1234", error)); // a PIN in clear is refused
    const std::string h = hashPin("1234", kFast);
    ASSERT_TRUE(writeHostAddress(dir, "127.0.0.2", error)) << error;
    ASSERT_TRUE(writeLockPinHash(dir, h, error)) << error;
    EXPECT_EQ(readLockPinHash(dir), h);
    EXPECT_EQ(readHostAddress(dir), "127.0.0.2"); // the other entries stay
    {
        std::ifstream in(profilePath(dir));
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text.find("1234"), std::string::npos);
    }
    ASSERT_TRUE(writeLockPinHash(dir, "", error));
    EXPECT_EQ(readLockPinHash(dir), "");
    // A PIN typed into the file by hand is no hash, so no PIN is set.
    ASSERT_TRUE(writeProfileValue(profilePath(dir), kProfileLockSection, kProfileLockPinKey, "1234", error));
    EXPECT_EQ(readLockPinHash(dir), "");
    std::filesystem::remove_all(dir);
}

TEST(KnobDefaults, ResetValuesOfTheKnobsOnly) {
    EXPECT_EQ(knobDefault(id("input[3].level")), 60); // 0 dB
    EXPECT_EQ(knobDefault(id("output[8].level")), 60);
    EXPECT_EQ(knobDefault(id("input[5].pan")), 100);
    EXPECT_EQ(knobDefault(id("input[2].peq[1].bandFreq")), 200);
    EXPECT_EQ(knobDefault(id("input[2].peq[4].bandFreq")), 5000);
    EXPECT_EQ(knobDefault(id("input[2].peq[3].bandGain")), 150);
    EXPECT_EQ(knobDefault(id("input[2].peq[3].bandQ")), 20);
    EXPECT_EQ(knobDefault(id("input[1].hpfFreq")), 20);
    EXPECT_EQ(knobDefault(id("input[1].lpfFreq")), 20000);
    // The compressor's RESET, not the fresh device's block: threshold -30 dB, ratio 1:1.0.
    EXPECT_EQ(knobDefault(id("input[4].compThreshold")), 30);
    EXPECT_EQ(knobDefault(id("input[4].compRatio")), 10);
    EXPECT_EQ(knobDefault(id("output[2].limiter[2]")), 30);
    const std::vector<FieldId> reverb = effectFields(Effect::Reverb);
    ASSERT_GE(reverb.size(), 3u);
    EXPECT_EQ(knobDefault(reverb.front()), 61);
    EXPECT_FALSE(knobDefault(reverb.back())); // a MUTE is no knob
    // Switches, lists, sends (closed is no level to go back to) and the gate's range have none.
    for (const char* none :
         {"input[1].mute", "input[1].gainStep", "input[1].sendLevel[1]", "input[1].gateRange",
          "output[1].limiter[1]", "input[1].compEnabled", "automix.holdTime", "input[1].name"})
        EXPECT_FALSE(knobDefault(id(none))) << none;
    EXPECT_FALSE(knobDefault(static_cast<FieldId>(FieldRegistry::instance().fields().size())));
}
