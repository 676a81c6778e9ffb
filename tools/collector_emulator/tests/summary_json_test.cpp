#include "summary_json.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace collector_emulator;
using nlohmann::json;

namespace {

json OnlyCollector(const CollectorReport& report) {
    const auto summary = json::parse(SummaryText({report}));
    EXPECT_EQ(summary.at("collectors").size(), 1u);
    return summary.at("collectors").at(0);
}

} // namespace

TEST(EmulatorSummary, BytesThatAreNotGbkAreMarkedInTheTextAndKeptInTheHex) {
    CollectorReport r;
    r.serial = "\xFF"
               "12";                                    // 0xFF starts no GBK character
    r.version = "S1\xB0";                               // a lead byte cut off at the end
    r.requestedVersion = std::string(1, '\0') + "\x1B"; // control bytes
    const auto c = OnlyCollector(r);
    EXPECT_EQ(c.at("serial"), "\xEF\xBF\xBD"
                              "12");
    EXPECT_EQ(c.at("serial_hex"), "FF3132");
    EXPECT_EQ(c.at("version"), "S1\xEF\xBF\xBD");
    EXPECT_EQ(c.at("version_hex"), "5331B0");
    EXPECT_EQ(c.at("requested_version"), std::string(1, '\0') + "\x1B");
    EXPECT_EQ(c.at("requested_version_hex"), "001B");
}

TEST(EmulatorSummary, OptionalCountAndNestedListsKeepTheirJsonShape) {
    CollectorReport r;
    r.blockReceipts = {{7, 2}, {65536, 1}};
    r.resendLists = {{7, 9}, {}};
    EXPECT_EQ(OnlyCollector(r).at("announced_blocks"), nullptr);
    r.announcedBlocks = 20;
    const auto c = OnlyCollector(r);
    EXPECT_EQ(c.at("announced_blocks"), 20);
    EXPECT_EQ(c.at("block_receipts"), json::parse(R"({"7": 2, "65536": 1})"));
    EXPECT_EQ(c.at("resend_lists"), json::parse("[[7, 9], []]"));
}
