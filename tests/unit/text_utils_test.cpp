#include "pubpro/conversion_error.h"
#include "pubpro/text_utils.h"

#include <gtest/gtest.h>

using pubpro::ConversionError;
using pubpro::Copy;
using pubpro::IntToHex;
using pubpro::Pos;
using pubpro::StrToInt;
using pubpro::Trim;

namespace {

TEST(Copy, NeverFails) {
    EXPECT_EQ(Copy("abcdef", 0, 3), "abc"); // start before 1 keeps the count
    EXPECT_EQ(Copy("abcdef", -5, 2), "ab");
    EXPECT_EQ(Copy("abcdef", 3, 2), "cd");
    EXPECT_EQ(Copy("abcdef", 5, 100), "ef");
    EXPECT_EQ(Copy("abcdef", 7, 1), "");
    EXPECT_EQ(Copy("abcdef", 2, 0), "");
    EXPECT_EQ(Copy("abcdef", 2, -1), "");
    EXPECT_EQ(Pos("#", "ab#c#"), 3u);
    EXPECT_EQ(Pos("#", "abc"), 0u);
}

TEST(IntToHex, PadsButNeverTruncates) {
    EXPECT_EQ(IntToHex(0, 4), "0000");
    EXPECT_EQ(IntToHex(0xAB, 4), "00AB");
    EXPECT_EQ(IntToHex(0xFFFF, 4), "FFFF");
    EXPECT_EQ(IntToHex(0x10000, 4), "10000");
    EXPECT_EQ(IntToHex(0x1F, 2), "1F");
}

TEST(StrToInt, AcceptsSpacesSignAndDollarHex) {
    EXPECT_EQ(StrToInt("$0005"), 5);
    EXPECT_EQ(StrToInt("$abCD"), 0xABCD);
    EXPECT_EQ(StrToInt("  42"), 42);
    EXPECT_EQ(StrToInt("-7"), -7);
    EXPECT_EQ(StrToInt("+$10"), 16);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
}

TEST(StrToInt, RejectsEverythingElseWithTheOperatorMessage) {
    for (const char* bad :
         {"", "$", "$12G4", "$ 12", "12 ", "1x", "$-1", "99999999999", "$123456789"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const ConversionError& error) {
            EXPECT_EQ(error.what(), "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
}

TEST(Trim, RemovesCodesBelow33OnBothEnds) {
    EXPECT_EQ(Trim(" \t\x01"
                   "AB 789\x1F "),
              "AB 789");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim("\xD6\xD0"), "\xD6\xD0"); // GBK bytes are above 127, kept
}

} // namespace
