#include <gtest/gtest.h>

#include "link/frame.h"

using namespace quorvel;

TEST(Checksum, KnownVectors) {
    EXPECT_EQ(frameChecksum("123456789"), 0x4B37);
    EXPECT_EQ(frameChecksum("%Q,01,01,"), 0xB5E1);
    EXPECT_EQ(frameChecksum("%Q,01,00,"), 0x25E0);
    EXPECT_EQ(frameChecksum(""), 0xFFFF);
    // Bytes are unsigned: a high byte must not sign-extend into the table index.
    EXPECT_EQ(frameChecksum("\xFF"), 0x00FF);
}

TEST(CommandFrameBuild, RendersFieldsAndTrailer) {
    EXPECT_EQ(CommandFrame('Q').x2(1).x2(1).text(), "%Q,01,01,");
    EXPECT_EQ(std::move(CommandFrame('Q').x2(1).x2(1)).finish(), "%Q,01,01,B5E1#");
    EXPECT_EQ(std::move(CommandFrame('A').x2(1).x2(27)).finish(), "%A,01,1B,4994#");
    std::string s;
    appendX4(s, 20000);
    appendX2(s, 0x0a);
    appendX1(s, 0xc);
    EXPECT_EQ(s, "4E200AC");
    s.clear();
    appendX2(s, 300); // as printf would: all digits kept
    EXPECT_EQ(s, "12C");
}

TEST(FrameValidation, AcceptsOnlyExactRerender) {
    EXPECT_TRUE(validateFrame("%Q,01,01,B5E1#"));
    EXPECT_FALSE(validateFrame("%Q,01,01,b5e1#")) << "lower-case checksum digits are rejected";
    EXPECT_FALSE(validateFrame("%Q,01,01,B5E2#"));
    EXPECT_FALSE(validateFrame("%Q,01,02,B5E1#"));
    EXPECT_FALSE(validateFrame("%P,1234#")) << "8 characters is below the minimum";
    EXPECT_FALSE(validateFrame("Q,01,01,B5E1#"));
    EXPECT_FALSE(validateFrame("%Q,01,01,B5E1"));
    EXPECT_FALSE(validateFrame(""));
}

TEST(HexDecoding, NonHexCountsAsZeroAndOddLengthsArePadded) {
    EXPECT_EQ(decodeHexField("0a"), 10u);
    EXPECT_EQ(decodeHexField("A"), 10u);
    EXPECT_EQ(decodeHexField("G1"), 1u);
    EXPECT_EQ(decodeHexField("4E20"), 20000u);
    EXPECT_EQ(decodeHexField("123"), 0x123u);
    EXPECT_EQ(decodeHexField(""), 0u);
    EXPECT_EQ(hexPair('f', 'F'), 255);
}
