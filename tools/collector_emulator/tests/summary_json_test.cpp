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

TEST(EmulatorSummary, EveryCounterAndListKeepsItsNameAndType) {
    CollectorReport r;
    r.address = "198.51.100.10";
    r.serial = "8100010";
    r.version = "S1.00";
    r.searchPort = 23;
    r.upgradePort = 8000;
    r.probes = 2;
    r.otherSearch = 3;
    r.requests = 1;
    r.blocks = 21;
    r.queries = 2;
    r.badFrames = 4;
    r.otherUpgrade = 5;
    r.droppedBlocks = 1;
    r.repliesSent = 9;
    r.completions = 1;
    r.imageComplete = true;
    r.image = std::string(6000, 'x');
    r.blockReceipts = {{0, 1}, {7, 2}, {65536, 1}};
    r.queryTimesMs = {5000, 8000};
    r.resendLists = {{7}, {}};

    auto c = OnlyCollector(r);
    EXPECT_EQ(c.at("announced_blocks"), nullptr);
    r.announcedBlocks = 20;
    c = OnlyCollector(r);
    const json expected = {
        {"address", "198.51.100.10"},
        {"serial", "8100010"},
        {"serial_hex", "38313030303130"},
        {"version", "S1.00"},
        {"version_hex", "53312E3030"},
        {"search_port", 23},
        {"upgrade_port", 8000},
        {"probes", 2},
        {"other_search", 3},
        {"requests", 1},
        {"blocks", 21},
        {"queries", 2},
        {"bad_frames", 4},
        {"other_upgrade", 5},
        {"dropped_blocks", 1},
        {"replies_sent", 9},
        {"requested_version", ""},
        {"requested_version_hex", ""},
        {"announced_blocks", 20},
        {"completions", 1},
        {"image_complete", true},
        {"image_bytes", 6000},
        {"block_receipts", {{"0", 1}, {"7", 2}, {"65536", 1}}},
        {"query_times_ms", {5000, 8000}},
        {"resend_lists", json::array({json::array({7}), json::array()})},
    };
    EXPECT_EQ(c, expected) << c.dump(2);
}

TEST(EmulatorSummary, NoCollectorsGiveAnEmptyList) {
    EXPECT_EQ(json::parse(SummaryText({})), json::parse(R"({"collectors": []})"));
}
