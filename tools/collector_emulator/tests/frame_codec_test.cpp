// The emulator's framing against fixed byte strings, so that the end-to-end
// tests do not merely compare the tool's codec with itself.
#include "frame_codec.h"

#include <gtest/gtest.h>

using namespace collector_emulator;

TEST(EmulatorChecksum, MatchesPublishedAndWorkedValues) {
    EXPECT_EQ(Crc16Modbus("123456789"), 0x4B37);  // published check value
    EXPECT_EQ(ChecksumText("123456789"), "374B"); // low byte first
    EXPECT_EQ(ChecksumText("EN"), "B314");
    EXPECT_EQ(ChecksumText("abc"), "4957");
    EXPECT_EQ(ChecksumText(""), "FFFF");
    EXPECT_EQ(ChecksumText(std::string("\x00\xFF", 2)), ChecksumText(std::string("\x00\xFF", 2)));
    EXPECT_EQ(ChecksumText("123456789", /*lowerCase=*/true), "374b");
}

TEST(EmulatorChecksum, CoversEveryByteValue) {
    // Bytes above 0x7F must not be sign-extended into the register.
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(Crc16Modbus(all), 0xDE6C);
}

TEST(EmulatorFrame, CompletionQueryIsTheKnownEightBytes) {
    EXPECT_EQ(BuildFrame("EN"), std::string("\x1B\x45\x4E\x42\x33\x31\x34\x05", 8));
    EXPECT_EQ(BuildFrame(""), std::string("\x1B"
                                          "FFFF"
                                          "\x05"));
    EXPECT_EQ(BuildFrame("R0005"), "\x1BR0005" + ChecksumText("R0005") + "\x05");
}

TEST(EmulatorFrame, CheckedPayloadAcceptsOnlyExactUpperCaseChecksum) {
    EXPECT_EQ(CheckedPayload(BuildFrame("LUS1.020004")), "LUS1.020004");
    EXPECT_EQ(CheckedPayload(std::string("\x1B"
                                         "FFFF"
                                         "\x05")),
              "");
    EXPECT_FALSE(CheckedPayload(std::string("\x1B"
                                            "ENb314"
                                            "\x05"))); // lower case
    EXPECT_FALSE(CheckedPayload(std::string("\x1B"
                                            "ENB315"
                                            "\x05"))); // wrong
    EXPECT_FALSE(CheckedPayload(std::string("\x1B"
                                            "B31"
                                            "\x05"))); // too short
    EXPECT_FALSE(CheckedPayload(std::string("ENB314"
                                            "\x05"
                                            "\x05"))); // no ESC
}

TEST(EmulatorFrame, ExtractFramesCutsInOrderAndKeepsUnfinishedText) {
    std::string buffer = BuildFrame("EN") + BuildFrame("R");
    auto frames = ExtractFrames(buffer);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], BuildFrame("EN"));
    EXPECT_EQ(frames[1], BuildFrame("R"));
    EXPECT_TRUE(buffer.empty());

    const std::string whole = BuildFrame("UD0000ABCD");
    buffer = whole.substr(0, 5);
    EXPECT_TRUE(ExtractFrames(buffer).empty());
    EXPECT_EQ(buffer, whole.substr(0, 5));
    buffer += whole.substr(5);
    frames = ExtractFrames(buffer);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], whole);
}

TEST(EmulatorFrame, ExtractFramesDropsLeadingJunk) {
    std::string buffer = "xy\x05\x1B"
                         "abc";
    EXPECT_TRUE(ExtractFrames(buffer).empty());
    EXPECT_EQ(buffer, "\x1B"
                      "abc");

    buffer = "zz" + BuildFrame("EN");
    auto frames = ExtractFrames(buffer);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], BuildFrame("EN"));

    buffer = "no frame here\x05 tail";
    EXPECT_TRUE(ExtractFrames(buffer).empty());
    EXPECT_EQ(buffer, " tail");
}

TEST(EmulatorHex, WritesAtLeastFourUpperCaseDigitsAndParsesEitherCase) {
    EXPECT_EQ(HexNumber(0), "0000");
    EXPECT_EQ(HexNumber(0xAB), "00AB");
    EXPECT_EQ(HexNumber(0x10000), "10000");
    EXPECT_EQ(ParseHex("00ab"), 0xABu);
    EXPECT_EQ(ParseHex("FFFF"), 0xFFFFu);
    EXPECT_FALSE(ParseHex(""));
    EXPECT_FALSE(ParseHex("12G4"));
    EXPECT_FALSE(ParseHex(" 123"));
}

TEST(EmulatorHex, DecodesImageTextToBytes) {
    EXPECT_EQ(DecodeHexText("00FF1b"), std::string("\x00\xFF\x1B", 3));
    EXPECT_EQ(DecodeHexText(""), "");
    EXPECT_FALSE(DecodeHexText("ABC"));
    EXPECT_FALSE(DecodeHexText("ZZ"));
}
