#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/profile.h"

using namespace quorvel;
namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        path = fs::temp_directory_path() / ("quorvel-profile-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

TEST(LinkProfile, MissingOrBrokenProfileGivesTheFactoryAddress) {
    TempDir d;
    EXPECT_EQ(readHostAddress(d.path), "192.168.1.106");
    std::ofstream(profilePath(d.path)) << "[U_FONT_SECTION]\nhostip=192.168.1\n";
    EXPECT_EQ(readHostAddress(d.path), "192.168.1.106");
}

TEST(LinkProfile, WriteKeepsTheRestOfTheFileAndReadsBack) {
    TempDir d;
    std::ofstream(profilePath(d.path))
        << "[General]\nlanguage=1\n\n[U_FONT_SECTION]\r\nother = x\r\nhostip=10.0.0.1\r\n"
        << "[Later]\nhostip=1.1.1.1\n";
    std::string error;
    ASSERT_TRUE(writeHostAddress(d.path, "127.0.0.2", error)) << error;
    EXPECT_EQ(readHostAddress(d.path), "127.0.0.2");
    std::string text = slurp(profilePath(d.path));
    EXPECT_NE(text.find("language=1"), std::string::npos);
    EXPECT_NE(text.find("other = x"), std::string::npos);
    EXPECT_NE(text.find("[Later]\nhostip=1.1.1.1"), std::string::npos);
    EXPECT_EQ(text.find("10.0.0.1"), std::string::npos);
    EXPECT_FALSE(fs::exists(profilePath(d.path).string() + ".tmp"));

    // A value written the way QSettings may quote it.
    std::ofstream(profilePath(d.path)) << "[U_FONT_SECTION]\nhostip=\"127.0.0.5\"\n";
    EXPECT_EQ(readHostAddress(d.path), "127.0.0.5");
}

TEST(LinkProfile, NewFileGetsTheSectionAndMalformedAddressesAreRefused) {
    TempDir d;
    fs::path sub = d.path / "new";
    std::string error;
    EXPECT_FALSE(writeHostAddress(sub, "300.1.1.1", error));
    EXPECT_FALSE(fs::exists(profilePath(sub)));
    ASSERT_TRUE(writeHostAddress(sub, "127.0.0.2", error)) << error;
    EXPECT_EQ(slurp(profilePath(sub)), "[U_FONT_SECTION]\nhostip=127.0.0.2\n");
    ASSERT_TRUE(writeProfileValue(profilePath(sub), "U_FONT_SECTION", "extra", "1", error));
    EXPECT_EQ(slurp(profilePath(sub)), "[U_FONT_SECTION]\nhostip=127.0.0.2\nextra=1\n");
}

TEST(LinkProfile, OnlyAWritableNonSystemDirectoryHoldsThePortableFiles) {
    TempDir d;
    EXPECT_TRUE(isPortableDirectory(d.path));
    EXPECT_FALSE(isPortableDirectory(d.path / "missing"));
    // Writable for root, yet an installed program's files never belong there.
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin", "/usr/bin/../lib/quorvel", "/usr/"})
        EXPECT_FALSE(isPortableDirectory(dir)) << dir;
}
