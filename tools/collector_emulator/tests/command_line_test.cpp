#include "command_line.h"

#include <gtest/gtest.h>

using namespace collector_emulator;

namespace {
CommandLine Parse(std::vector<std::string> args) {
    auto parsed = ParseCommandLine(args);
    if (auto* error = std::get_if<std::string>(&parsed)) {
        ADD_FAILURE() << *error;
        return {};
    }
    return std::get<CommandLine>(parsed);
}
std::string ErrorOf(std::vector<std::string> args) {
    auto parsed = ParseCommandLine(args);
    auto* error = std::get_if<std::string>(&parsed);
    return error ? *error : std::string();
}
} // namespace

TEST(EmulatorCommandLine, FullFieldRangeGivesEveryHostButTheToolsAddress) {
    const auto line = Parse({"--address", "198.51.100.2-254"});
    ASSERT_EQ(line.options.collectors.size(), 253u);
    EXPECT_EQ(line.options.collectors.front().address, "198.51.100.2");
    EXPECT_EQ(line.options.collectors.back().address, "198.51.100.254");
    EXPECT_EQ(line.options.runLimit, std::chrono::seconds(kDefaultRunSeconds));
    EXPECT_EQ(line.options.searchPort, 23);
    EXPECT_EQ(line.options.upgradePort, 8000);
}

TEST(EmulatorCommandLine, AddressItemsCarryTheirOwnSerialAndVersion) {
    const auto line = Parse({"--address", "198.51.100.10,198.51.100.11=123456#V2.00", "--address",
                             "198.51.100.12=777"});
    ASSERT_EQ(line.options.collectors.size(), 3u);
    EXPECT_EQ(line.options.collectors[0].serial, "");
    EXPECT_EQ(line.options.collectors[1].serial, "123456");
    EXPECT_EQ(line.options.collectors[1].version, "V2.00");
    EXPECT_EQ(line.options.collectors[2].serial, "777");
    EXPECT_EQ(line.options.collectors[2].version, "");
}

TEST(EmulatorCommandLine, BehaviourOptionsAreRead) {
    const auto line = Parse({"--address",
                             "127.0.0.1",
                             "--search-port",
                             "0",
                             "--upgrade-port",
                             "9000",
                             "--request-reply",
                             "e81",
                             "--query-reply",
                             "silent",
                             "--start-block",
                             "0x10",
                             "--drop-share",
                             "0.1",
                             "--drop-blocks",
                             "3,5",
                             "--seed",
                             "7",
                             "--loss",
                             "0.2",
                             "--delay-ms",
                             "20",
                             "--reorder-ms",
                             "5",
                             "--duplicate-share",
                             "1",
                             "--checksum",
                             "lower",
                             "--junk",
                             "--keep-version",
                             "--flood-bytes",
                             "1000",
                             "--run-seconds",
                             "9",
                             "--ready-file",
                             "/tmp/r"});
    const auto& o = line.options;
    EXPECT_EQ(o.searchPort, 0);
    EXPECT_EQ(o.upgradePort, 9000);
    EXPECT_EQ(o.requestReply, RequestReply::SameVersion);
    EXPECT_EQ(o.queryReply, QueryReply::Silent);
    EXPECT_EQ(o.startBlock, 16u);
    EXPECT_DOUBLE_EQ(o.dropShare, 0.1);
    EXPECT_EQ(o.dropBlocks, (std::set<std::uint32_t>{3, 5}));
    EXPECT_EQ(o.seed, 7u);
    EXPECT_DOUBLE_EQ(o.lossShare, 0.2);
    EXPECT_EQ(o.replyDelayMs, 20);
    EXPECT_EQ(o.reorderMs, 5);
    EXPECT_DOUBLE_EQ(o.duplicateShare, 1.0);
    EXPECT_EQ(o.checksumFault, ChecksumFault::LowerCase);
    EXPECT_TRUE(o.junk);
    EXPECT_TRUE(o.keepVersion);
    EXPECT_EQ(o.floodBytes, 1000u);
    EXPECT_EQ(o.runLimit, std::chrono::seconds(9));
    EXPECT_EQ(line.readyFile, "/tmp/r");
}

TEST(EmulatorCommandLine, RejectsWhatItCannotHonour) {
    EXPECT_NE(ErrorOf({}), ""); // no address
    EXPECT_NE(ErrorOf({"--address", "198.51.100"}), "");
    EXPECT_NE(ErrorOf({"--address", "198.51.100.20-10"}), "");
    EXPECT_NE(ErrorOf({"--address", "198.51.100.1-256"}), "");
    EXPECT_NE(ErrorOf({"--address", "198.51.100.1=#S1"}), "");
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "--drop-share", "1.5"}), "");
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "--run-seconds", "0"}), ""); // must end by itself
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "--search-port", "70000"}), "");
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "--checksum", "odd"}), "");
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "--bogus", "1"}), "");
    EXPECT_NE(ErrorOf({"--address"}), "");
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "stray"}), "");
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "--request-reply", "ACCEPT"}), "");
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "--request-reply", "0"}), "");
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "--delay-ms", "-1"}), "");
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "--seed", "4294967296"}), "");
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "--max-resend", "0"}), "");
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "--start-block", "0x10000"}), "");
    EXPECT_NE(ErrorOf({"--address", "127.0.0.1", "--drop-blocks", "1,x"}), "");
    EXPECT_EQ(ErrorOf({"--help"}), "");
    EXPECT_TRUE(Parse({"-h"}).help);
}

TEST(EmulatorCommandLine, NumbersAreDecimalOrHexAndTheLastOfARepeatCounts) {
    const auto line =
        Parse({"--address", "127.0.0.1", "--start-block", "010", "--seed", "0x1F", "--delay-ms",
               "007", "--search-port", "0", "--run-seconds", "5", "--run-seconds", "60"});
    EXPECT_EQ(line.options.startBlock, 10u); // not octal
    EXPECT_EQ(line.options.seed, 31u);
    EXPECT_EQ(line.options.replyDelayMs, 7);
    EXPECT_EQ(line.options.searchPort, 0);
    EXPECT_EQ(line.options.runLimit, std::chrono::seconds(60));
    EXPECT_FALSE(line.options.keepVersion);
}

TEST(EmulatorCommandLine, ListOptionsAddUpOverRepeatsAndSkipEmptyItems) {
    const auto line = Parse({"--address", "127.0.0.1,,127.0.0.2", "--address", "127.0.0.3",
                             "--drop-blocks", "1,2", "--drop-blocks", "0x10"});
    ASSERT_EQ(line.options.collectors.size(), 3u);
    EXPECT_EQ(line.options.collectors[1].address, "127.0.0.2");
    EXPECT_EQ(line.options.collectors[2].address, "127.0.0.3");
    EXPECT_EQ(line.options.dropBlocks, (std::set<std::uint32_t>{1, 2, 16}));
}

TEST(EmulatorCommandLine, HelpIsOnePlainListAlignedAtOneColumn) {
    const std::string usage = Usage();
    EXPECT_EQ(usage.rfind("collector-emulator: plays the collectors' side of the firmware "
                          "upgrade exchange.\n\n  --address LIST        addresses to bind,",
                          0),
              0u)
        << usage;
    EXPECT_NE(usage.find("\n  --keep-version        after a completed upgrade"), std::string::npos);
    EXPECT_NE(usage.find("\n                        =SERIAL#VERSION; may be repeated (required)\n"),
              std::string::npos);
    const std::string end = "\n  --help                this text\n";
    ASSERT_GE(usage.size(), end.size());
    EXPECT_EQ(usage.substr(usage.size() - end.size()), end);
}

TEST(EmulatorCommandLine, DefaultSerialFollowsTheAddress) {
    EXPECT_EQ(DefaultSerial("198.51.100.10"), "8100010");
    EXPECT_EQ(DefaultSerial("198.51.100.254"), "8100254");
    EXPECT_NE(DefaultSerial("198.51.100.11"), DefaultSerial("198.51.100.12"));
}
