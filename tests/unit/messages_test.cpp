#include "protocol/messages.h"

#include "frame_codec.h"
#include "pubpro/conversion_error.h"
#include "pubpro/text_utils.h"
#include "pubpro/uPubpro.h"

#include <gtest/gtest.h>

using pubpro::ConversionError;

namespace {

using namespace protocol;

// Framed by the collector emulator's own codec.
std::string Frame(const std::string& payload) {
    return collector_emulator::BuildFrame(payload);
}

TEST(Messages, ProbeIsFourUnframedBytes) {
    EXPECT_EQ(BuildSearchProbe(), std::string("\xFF\x04\x03\xFB", 4));
}

TEST(Messages, SearchReplySplitsAtTheFirstHash) {
    const auto full = ParseSearchReply("\x1B"
                                       "123456#S2.01"
                                       "\x05");
    EXPECT_EQ(full.serial, "123456");
    EXPECT_EQ(full.version, "S2.01");
    const auto bare = ParseSearchReply("\x1B"
                                       "123456"
                                       "\x05");
    EXPECT_EQ(bare.serial, "123456");
    EXPECT_EQ(bare.version, "");
    const auto nested = ParseSearchReply("\x1B"
                                         "A#B#C"
                                         "\x05");
    EXPECT_EQ(nested.serial, "A");
    EXPECT_EQ(nested.version, "B#C");
    EXPECT_EQ(ParseSearchReply("\x1B"
                               "#S1"
                               "\x05")
                  .serial,
              "");
    EXPECT_EQ(ParseSearchReply("\x1B\x05").serial, "");
}

TEST(Messages, UpgradeRequestCarriesTrimmedVersionAndBlockCount) {
    EXPECT_EQ(BuildUpgradeRequest(" S1.02\t", 4), Frame("LUS1.020004"));
    EXPECT_EQ(BuildUpgradeRequest("S", 0x12345), Frame("LUS12345"));
}

TEST(Messages, BlockGeometry) {
    EXPECT_EQ(BlockCount(0), 0u);
    EXPECT_EQ(BlockCount(600), 1u);
    EXPECT_EQ(BlockCount(602), 2u);
    EXPECT_EQ(BlockCount(2000), 4u);
    const std::string image(2000, 'A');
    EXPECT_EQ(BlockText(image, 0).size(), 600u);
    EXPECT_EQ(BlockText(image, 3).size(), 200u);
    EXPECT_EQ(BlockText(image, 4), "");
    EXPECT_EQ(BuildDataBlock(3, "00FF"), Frame("UD000300FF"));
    EXPECT_EQ(BuildDataBlock(0x10000, ""), Frame("UD10000"));
    EXPECT_EQ(BuildDataBlock(0, std::string(600, 'F')).size(), 612u);
}

TEST(Messages, RequestRepliesAreJudgedByTheirFirstCharacters) {
    EXPECT_EQ(ClassifyRequestReply(Frame("R0000")), RequestReply::Accept);
    EXPECT_EQ(ClassifyRequestReply(Frame("R")), RequestReply::Accept);
    EXPECT_EQ(ClassifyRequestReply(Frame("E80 whatever")), RequestReply::NoFlash);
    EXPECT_EQ(ClassifyRequestReply(Frame("E81")), RequestReply::SameVersion);
    EXPECT_EQ(ClassifyRequestReply(Frame("E8")), RequestReply::Other);
    EXPECT_EQ(ClassifyRequestReply(Frame("")), RequestReply::Other);
    EXPECT_EQ(ParseAcceptStartBlock(Frame("R0005")), 5);
    EXPECT_EQ(ParseAcceptStartBlock(Frame("R00ab")), 0xAB);
    // "R" alone: the start block is the checksum characters, which always parse.
    EXPECT_EQ(ParseAcceptStartBlock(Frame("R")), 0x3EBD); // the checksum characters of "R"
    EXPECT_THROW(ParseAcceptStartBlock(Frame("R00G1")), ConversionError);
}

TEST(Messages, CompletionQueryIsTheFixedEightBytes) {
    EXPECT_EQ(BuildCompletionQuery(), std::string("\x1B\x45\x4E\x42\x33\x31\x34\x05", 8));
}

TEST(Messages, CompletionRepliesAreToldApartByLength) {
    EXPECT_EQ(ClassifyCompletionReply(Frame("R")), CompletionReply::Complete);
    EXPECT_EQ(ClassifyCompletionReply(Frame("R0000")), CompletionReply::ResendList);
    EXPECT_EQ(ClassifyCompletionReply(Frame("R1")), CompletionReply::ResendList);
    EXPECT_EQ(ClassifyCompletionReply(Frame("X")), CompletionReply::Failure);
    EXPECT_EQ(ClassifyCompletionReply(Frame("")), CompletionReply::Failure);
    EXPECT_EQ(ParseResendList(Frame("R0000")), std::vector<int>{});
    EXPECT_EQ(ParseResendList(Frame("R000200030001")), (std::vector<int>{3, 1}));
    EXPECT_EQ(ParseResendList(Frame("R00020003000300")), (std::vector<int>{3, 3}));
    // A count larger than the list runs into the checksum, then off the end.
    EXPECT_THROW(ParseResendList(Frame("R00050001")), ConversionError);
    try {
        ParseResendList(Frame("R0001zz"));
        ADD_FAILURE();
    } catch (const ConversionError& error) {
        // "zz" and the first two checksum characters (D17D) of "R0001zz"
        EXPECT_STREQ(error.what(), "'$zzD1' is not a valid integer value");
    }
}

} // namespace
