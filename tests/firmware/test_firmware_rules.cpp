// The firmware update's pure rules: how an image is cut, what the frames read, which files and
// versions are taken and which pages and replies are refused.
#include <gtest/gtest.h>

#include <vector>

#include "admin/firmware_image.h"
#include "admin/firmware_replies.h"
#include "admin/version_page.h"
#include "link/frame.h"
#include "link/reports.h"

using namespace quorvel;
using namespace quorvel::firmware;

namespace {

std::vector<std::uint8_t> fileOf(std::size_t n) {
    std::vector<std::uint8_t> f(n);
    for (std::size_t i = 0; i < n; ++i)
        f[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return f;
}

std::uint16_t crcOf(const std::vector<std::uint8_t>& f) {
    return frameChecksum(std::string_view(reinterpret_cast<const char*>(f.data()), f.size()));
}

} // namespace

TEST(FirmwareImage, BlocksCarryTheFileThenItsChecksumHighByteFirst) {
    struct Case {
        std::size_t length;
        int announced;
        std::size_t blocks;
    };
    // 2048: the checksum fills a block of its own; 1500: it shares the last one; 2047: it is cut
    // across two; 1000: a file shorter than a block still carries it.
    for (Case c : {Case{2048, 2, 3}, Case{1500, 2, 2}, Case{2047, 2, 3}, Case{1000, 1, 1}, Case{1024, 1, 2},
                   Case{1, 1, 1}}) {
        SCOPED_TRACE(c.length);
        const auto file = fileOf(c.length);
        std::string error;
        auto plan = planImage(file, error);
        ASSERT_TRUE(plan) << error;
        EXPECT_EQ(plan->announcedBlocks, c.announced);
        ASSERT_EQ(plan->blocks.size(), c.blocks);
        std::vector<std::uint8_t> stream;
        for (const Block& b : plan->blocks)
            stream.insert(stream.end(), b.begin(), b.end());
        const std::uint16_t crc = crcOf(file);
        EXPECT_EQ(plan->checksum, crc);
        EXPECT_TRUE(std::equal(file.begin(), file.end(), stream.begin()));
        EXPECT_EQ(stream[c.length], crc >> 8);
        EXPECT_EQ(stream[c.length + 1], crc & 0xFF);
        for (std::size_t i = c.length + 2; i < stream.size(); ++i)
            ASSERT_EQ(stream[i], 0) << "padding at " << i;
    }
    std::string error;
    EXPECT_FALSE(planImage({}, error));
    EXPECT_EQ(error, "the image is empty");
    std::vector<std::uint8_t> huge(kMaxImageBytes + 1);
    EXPECT_FALSE(planImage(huge, error));
}

TEST(FirmwareImage, FramesReadAsTheDeviceExpects) {
    const std::string s = buildStart(1, 2, 2048);
    EXPECT_EQ(s.substr(0, s.size() - 5), "%S,01,1,02,00800,");
    EXPECT_TRUE(validateFrame(s));
    EXPECT_EQ(buildEnd(0).substr(0, 8), "%U,01,0,");
    Block b{};
    b[0] = 0xAB;
    b[1023] = 0x0F;
    const std::string t = buildBlock(0, 0x1F, b);
    EXPECT_EQ(t.size(), 11u + 2048 + 6);
    EXPECT_EQ(t.substr(0, 15), "%T,01,0,1F,AB00");
    EXPECT_EQ(t.substr(11 + 2046, 3), "0F,");
    EXPECT_TRUE(validateFrame(t));
    // Past 255 blocks the index keeps all its digits, as "%02X" prints it.
    EXPECT_EQ(buildBlock(1, 256, b).substr(0, 12), "%T,01,1,100,");
    const std::string r = buildBasicVersionQuery({127, 0, 0, 1}, 39020);
    EXPECT_EQ(r.substr(0, r.size() - 5), "%r,01,00,127000000001,39020,");
}

TEST(FirmwareImage, FilesAndVersionsByNumber) {
    EXPECT_EQ(localImageFiles("299")->dsp, "DSP-QUORVEL.bin");
    EXPECT_EQ(localImageFiles("000")->digital, "Digital-QUORVEL.bin");
    EXPECT_EQ(localImageFiles("300")->dsp, "DSP-QUORVEL-3.bin");
    EXPECT_EQ(localImageFiles("399")->digital, "Digital-QUORVEL-3.bin");
    EXPECT_FALSE(localImageFiles("400"));
    EXPECT_FALSE(localImageFiles("1000")) << "four digits are more than 400, not below it as text";
    EXPECT_EQ(versionNumber("0010"), 10);
    EXPECT_FALSE(versionNumber(""));
    EXPECT_FALSE(versionNumber("1.0"));
    EXPECT_FALSE(versionNumber("-3"));
    EXPECT_FALSE(versionNumber("1234567890"));
    EXPECT_EQ(isNewer("10", "9"), true) << "9 is below 10";
    EXPECT_EQ(isNewer("9", "10"), false);
    EXPECT_EQ(isNewer("32", "32"), false);
    EXPECT_FALSE(isNewer("3a", "2"));
}

TEST(VersionPage, ThreePartsBetweenTheMarkers) {
    std::string error;
    auto p = parseVersionPage("<html>##$$ http://h/a.bin%%%%https://h/b.bin%%%%33\n$$##</html>", error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->dspUrl, "http://h/a.bin");
    EXPECT_EQ(p->digitalUrl, "https://h/b.bin");
    EXPECT_EQ(p->version, "33");

    struct Bad {
        const char* page;
        const char* reason;
    };
    for (Bad b :
         {Bad{"http://h/a%%%%http://h/b%%%%3", "no version section"},
          Bad{"##$$http://h/a%%%%http://h/b%%%%3", "no version section"},
          Bad{"$$##http://h/a%%%%http://h/b%%%%3##$$", "no version section"},
          Bad{"##$$ab$$##", "no version section"}, Bad{"##$$http://h/a%%%%http://h/b$$##", "three parts"},
          Bad{"##$$http://h/a%%%%http://h/b%%%%3%%%%4$$##", "three parts"},
          Bad{"##$$ftp://h/a%%%%http://h/b%%%%3$$##", "http or https"},
          Bad{"##$$file:///etc/passwd%%%%http://h/b%%%%3$$##", "http or https"},
          Bad{"##$$http://h/a b%%%%http://h/b%%%%3$$##", "http or https"},
          Bad{"##$$http://h/a%%%%http://h/b%%%%3.2$$##", "not a number"},
          Bad{"##$$http://h/a%%%%http://h/b%%%%$$##", "not a number"}}) {
        SCOPED_TRACE(b.page);
        error.clear();
        EXPECT_FALSE(parseVersionPage(b.page, error));
        EXPECT_NE(error.find(b.reason), std::string::npos) << error;
    }
    std::string big(kMaxVersionPageBytes + 1, ' ');
    const std::string section = "##$$http://h/a%%%%http://h/b%%%%3$$##";
    big.replace(0, section.size(), section);
    EXPECT_FALSE(parseVersionPage(big, error));
    EXPECT_NE(error.find("64 KiB"), std::string::npos);
}

TEST(FirmwareReplies, EndCodesAcknowledgementsAndVersions) {
    auto code = [](std::string_view t) { return scanEndReply(t); };
    EXPECT_EQ(code("%U,01,00,ABCD#").kind, EndReply::Kind::Code);
    EXPECT_EQ(code("%U,01,00,ABCD#").code, 0);
    EXPECT_EQ(code("junk%U,01,7E,ABCD#").code, 0x7E);
    EXPECT_EQ(code("%U,01,0").kind, EndReply::Kind::TooShort) << "a reply too short for its code fails";
    EXPECT_EQ(code("%U,01,#Z,").kind, EndReply::Kind::Malformed);
    EXPECT_EQ(code("%S,01,0,00,").kind, EndReply::Kind::Absent);

    EXPECT_TRUE(hasBlockAck("%Y,01,1,03,ABCD#", 3));
    EXPECT_FALSE(hasBlockAck("%Y,01,1,02,ABCD#", 3)) << "a late acknowledgement of the block before";
    EXPECT_TRUE(hasBlockAck("%Y,01,1,02,ABCD#%Y,01,1,03,ABCD#", 3));
    EXPECT_TRUE(hasBlockAck("%Y,01,1,100,ABCD#", 256));
    EXPECT_TRUE(hasBlockAck("%Y#", 5)) << "a bare acknowledgement names no block";
    EXPECT_FALSE(hasBlockAck("%e,01,03,ABCD#", 0));

    const std::string r = std::move(CommandFrame('r').x2(1).raw("310").comma()).finish();
    EXPECT_EQ(scanVersionReply("noise%Q,1,00#" + r, 'r'), "310");
    std::string damaged = r;
    damaged[7] = '9';
    EXPECT_FALSE(scanVersionReply(damaged, 'r'));
    const std::string z = std::move(CommandFrame('z').x2(1).raw("3X").comma()).finish();
    EXPECT_FALSE(scanVersionReply(z, 'z')) << "not a number";
}

TEST(FirmwareReplies, TheHandshakesHardwareVersionIsKept) {
    DeviceState s;
    ReportDispatcher d(s);
    const std::string z = std::move(CommandFrame('z').x2(1).raw("41").comma()).finish();
    d.dispatch(z, Clock::now());
    EXPECT_EQ(s.hardwareVersion, "41");
    const std::string bad = std::move(CommandFrame('z').x2(1).raw("4.1").comma()).finish();
    d.dispatch(bad, Clock::now());
    EXPECT_EQ(s.hardwareVersion, "41");
}
