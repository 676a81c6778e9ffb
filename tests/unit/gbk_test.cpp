#include "platform/gbk.h"

#include <gtest/gtest.h>

using platform::GbkToUtf8;
using platform::Utf8ToGbk;

namespace {

TEST(Gbk, RoundTripsChineseAndAsciiAndReplacesInvalidBytes) {
    const std::string utf8 = "S升级1.0";
    const std::string gbk = Utf8ToGbk(utf8);
    EXPECT_EQ(gbk, "S\xC9\xFD\xBC\xB6"
                   "1.0");
    EXPECT_EQ(GbkToUtf8(gbk), utf8);
    EXPECT_EQ(GbkToUtf8("AB\xFF"
                        "C"),
              "AB\xEF\xBF\xBD"
              "C");
    EXPECT_EQ(GbkToUtf8(""), "");
}

} // namespace
