// The collector's rules that both programs share: datagram text, version
// classes, hex text and the image parsed from its bytes.
#include "platform/crypto.h"
#include "protocol/datagram_rules.h"
#include "protocol/firmware_image.h"
#include "protocol/hex.h"
#include "protocol/version_class.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

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

// The image from its bytes, whatever the chunks: the hex text in place, the
// digest of the same bytes, and what the name gives.
TEST(ImageBuilder, ChunksMakeOneImageWithItsDigestAndBlocks) {
    const auto name = protocol::NameFirmware("/f/S1.02.bin");
    ASSERT_TRUE(name);
    const std::string bytes = std::string("\x00\x1F", 2) + std::string(299, '\x5A');
    for (const std::size_t piece : {1u, 7u, 301u}) {
        protocol::ImageBuilder builder(*name, bytes.size());
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            builder.Add(std::string_view(bytes).substr(at, piece));
        builder.Add("beyond the size");
        const protocol::FirmwareImage image = builder.Finish();
        EXPECT_EQ(*image.hex, protocol::HexEncode(bytes)) << piece;
        EXPECT_EQ(image.sha256, platform::crypto::Sha256Hex(bytes)) << piece;
        EXPECT_EQ(image.sizeBytes, 301u);
        EXPECT_EQ(image.blockCount, 2u);
        EXPECT_EQ(image.fileName, "S1.02.bin");
        EXPECT_EQ(image.versionText, "S1.02");
    }
    EXPECT_THROW(protocol::ImageBuilder(*name, ~std::uint64_t{0}), std::length_error);
    EXPECT_FALSE(protocol::NameFirmware("/f/s1.bin"));
}

// The version field's edits make new values around the one hex text; the GBK
// forms follow, and a search reply shows the trail byte FB of 他 (CB FB) as a
// blank.
TEST(ImageLoader, NewVersionTextSharesTheHexText) {
    protocol::FirmwareImage image;
    image.hex = std::make_shared<const std::string>("5A");
    const protocol::FirmwareImage edited = image.WithVersionText(" S他1 ");
    EXPECT_EQ(edited.hex.get(), image.hex.get());
    EXPECT_EQ(edited.versionText, "S他1");
    EXPECT_EQ(edited.versionWire, "S\xCB\xFB"
                                  "1");
    EXPECT_EQ(edited.versionAsReported, "S\xCB 1");
}

} // namespace
