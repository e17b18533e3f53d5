#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "admin/scene.h"
#include "link/field_registry.h"

using namespace quorvel;

namespace {

DeviceState sample() {
    DeviceState s;
    loadFactoryDefaults(s);
    s.in(1).level = 33;
    s.in(18).effectParams[9] = 55;
    s.out(8).limiter[5] = 99;
    s.out(8).geq[30].gain = 7;
    s.automix.thresholdCompensation = 40;
    s.units[3][4] = 16;
    s.unitCount = 3;
    s.spanTime = 250;
    s.muteGroups[3][25] = 1;
    s.controlGroups[3][44] = 1;
    setName(s.in(16).name, "Podium");
    return s;
}

} // namespace

TEST(Scene, RoundTripsEveryField) {
    DeviceState a = sample();
    auto image = serialiseScene(a);
    ASSERT_EQ(image.size(), 20568u);
    DeviceState b{};
    std::string err;
    ASSERT_TRUE(loadScene(b, image, err)) << err;
    for (const auto& f : FieldRegistry::instance().fields()) {
        if (!f.restoredByScene) continue;
        if (f.kind == FieldKind::Name)
            EXPECT_EQ(FieldRegistry::getName(a, f), FieldRegistry::getName(b, f)) << f.path;
        else
            EXPECT_EQ(FieldRegistry::get(a, f), FieldRegistry::get(b, f)) << f.path;
    }
    b.automix.syncThresholds = a.automix.syncThresholds; // the recall kept the program's own
    EXPECT_EQ(serialiseScene(b), image);
}

TEST(Scene, FixedLittleEndianOffsets) {
    DeviceState s{};
    s.in(1).peq[0].bandFreq = 0x01020304;
    s.in(2).level = 0x11;
    s.out(1).geq[0].gain = 0x2A;
    s.muteGroups[0][0] = 1;
    s.controlGroups[0][0] = 1;
    auto image = serialiseScene(s);
    EXPECT_EQ(image[0], 0x04);
    EXPECT_EQ(image[3], 0x01);
    EXPECT_EQ(image[380 + 5 * 24 + 11 * 4], 0x11); // second record, after peq, peqOn, hpf, lpf, mute, pan
    EXPECT_EQ(image[6840], 0x2A);
    EXPECT_EQ(image[19336], 1);
    EXPECT_EQ(image[19336 + 512], 1);
}

TEST(Scene, WrongSizeIsRefusedAndStateUntouched) {
    DeviceState s = sample();
    auto before = serialiseScene(s);
    std::string err;
    std::vector<std::uint8_t> shortImage(20567, 0xFF), longImage(20569, 0xFF), empty;
    EXPECT_FALSE(loadScene(s, shortImage, err));
    EXPECT_NE(err.find("20567"), std::string::npos) << err;
    EXPECT_FALSE(loadScene(s, longImage, err));
    EXPECT_FALSE(loadScene(s, empty, err));
    EXPECT_EQ(serialiseScene(s), before);
}

TEST(Scene, FilesReplaceAtomicallyAndReadBack) {
    auto dir = std::filesystem::temp_directory_path() / ("quorvel-scene-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto file = dir / "SAVE1.dat";
    { std::ofstream(file) << "old"; }
    DeviceState a = sample();
    std::string err;
    ASSERT_TRUE(writeSceneFile(a, file, err)) << err;
    EXPECT_EQ(std::filesystem::file_size(file), 20568u);
    EXPECT_FALSE(std::filesystem::exists(dir / "SAVE1.dat.tmp"));
    DeviceState b{};
    ASSERT_TRUE(readSceneFile(b, file, err)) << err;
    EXPECT_EQ(b.in(1).level, 33);
    EXPECT_EQ(nameView(b.in(16).name), "Podium");
    { std::ofstream(file, std::ios::app) << "x"; }
    EXPECT_FALSE(readSceneFile(b, file, err));
    EXPECT_FALSE(readSceneFile(b, dir / "missing.dat", err));
    std::filesystem::remove_all(dir);
}
