// The collector's rules that both programs share: datagram text, version
// classes, hex text and the strict image loader.
#include "protocol/datagram_rules.h"
#include "protocol/firmware_file.h"
#include "protocol/hex.h"
#include "protocol/version_class.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

using protocol::VersionClass;

TEST(DatagramRules, UpgradeTextEndsAtZeroAndSearchBytesBecomeBlanks) {
    EXPECT_EQ(protocol::UpgradeDatagramText(std::string_view("\x1B"
                                                             "R\0tail",
                                                             7)),
              "\x1BR");
    EXPECT_EQ(protocol::UpgradeDatagramText(std::string_view("\0x", 2)), "");
    std::string search("a\xFF\xFB\0\nb\xFE\x0D", 8);
    protocol::ScrubSearchDatagram(search);
    EXPECT_EQ(search, "a    b\xFE\x0D");
}

TEST(VersionClasses, OnlyTheFirstByteCounts) {
    EXPECT_EQ(protocol::ClassifyVersion("S1.02"), VersionClass::S);
    EXPECT_EQ(protocol::ClassifyVersion("V9"), VersionClass::V);
    for (const char* other : {"", "s1", "v1", " S1", "X"})
        EXPECT_EQ(protocol::ClassifyVersion(other), VersionClass::Other) << other;
}

TEST(HexText, TwoUpperCaseDigitsPerByte) {
    EXPECT_EQ(protocol::HexEncode(std::string("\x00\x1F\xAB\xFF", 4)), "001FABFF");
    EXPECT_EQ(protocol::HexEncode(""), "");
}

// A reader that hands out `available` bytes of 0x5A, at most `step` a time.
protocol::ReadBytes Reader(std::size_t available, std::size_t step) {
    return [=, given = std::size_t{0}](char* into, std::size_t count) mutable {
        const std::size_t n = std::min({count, step, available - given});
        std::fill(into, into + n, '\x5A');
        given += n;
        return n;
    };
}

TEST(ImageLoader, ShortReadIsAnErrorNeverAZeroFilledImage) {
    EXPECT_EQ(protocol::ReadImageHex("/f/S1.bin", 5, Reader(5, 2), {}), "5A5A5A5A5A");
    try {
        protocol::ReadImageHex("/f/S1.bin", 5, Reader(3, 2), [] { return std::string(); });
        FAIL() << "a short read gave an image";
    } catch (const protocol::ImageFileError& error) {
        EXPECT_STREQ(error.what(), "Cannot open file \"/f/S1.bin\". Only 3 of its 5 bytes could "
                                   "be read");
        EXPECT_EQ(error.Size(), 5u);
    }
    try {
        protocol::ReadImageHex("/f/S1.bin", 5, Reader(0, 2),
                               [] { return std::string("I/O error"); });
        FAIL() << "a failed read gave an image";
    } catch (const protocol::ImageFileError& error) {
        EXPECT_EQ(error.Reason(), "I/O error");
    }
}

TEST(ImageLoader, LimitRefusesBeforeReadingAndAMissingFileSaysWhy) {
    const auto path =
        std::filesystem::temp_directory_path() /
        ("S-limit-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::ofstream(path, std::ios::binary) << "abcd";
    EXPECT_EQ(protocol::LoadImageHexText(path.string(), 4), "61626364");
    EXPECT_THROW(protocol::LoadImageHexText(path.string(), 3), protocol::ImageTooLarge);
    std::filesystem::remove(path);
    EXPECT_THROW(protocol::LoadImageHexText(path.string()), protocol::ImageFileError);
}

} // namespace
