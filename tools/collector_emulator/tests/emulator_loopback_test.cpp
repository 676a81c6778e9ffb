// The emulator driven over loopback by a small hand-written tool side. Ports
// are picked by the system, so these run in parallel with anything else.
#include "collector_emulator.h"
#include "frame_codec.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace collector_emulator;
using namespace std::chrono_literals;

namespace {

const std::string kProbe("\xFF\x04\x03\xFB", 4);

class LoopbackClient {
public:
    LoopbackClient() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    ~LoopbackClient() { ::close(fd_); }

    void Send(const std::string& address, std::uint16_t port, const std::string& bytes) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

    // One datagram, or nothing within the timeout.
    std::optional<std::string> Receive(std::chrono::milliseconds timeout = 2000ms) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
            return std::nullopt;
        char buffer[70000];
        const auto got = ::recv(fd_, buffer, sizeof buffer, 0);
        if (got < 0)
            return std::nullopt;
        return std::string(buffer, static_cast<std::size_t>(got));
    }

    // Every datagram arriving within the window.
    std::vector<std::string> ReceiveAll(std::chrono::milliseconds window) {
        std::vector<std::string> all;
        const auto end = std::chrono::steady_clock::now() + window;
        while (std::chrono::steady_clock::now() < end) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (auto d = Receive(std::max(left, 1ms)))
                all.push_back(*d);
        }
        return all;
    }

private:
    int fd_ = -1;
};

EmulatorOptions LoopbackOptions(std::vector<std::string> addresses = {"127.0.0.1"}) {
    EmulatorOptions o;
    for (auto& a : addresses)
        o.collectors.push_back({a, "", ""});
    o.searchPort = 0;
    o.upgradePort = 0;
    o.runLimit = 60s;
    return o;
}

std::string ImageOf(std::size_t bytes) {
    std::string image;
    for (std::size_t i = 0; i < bytes; ++i)
        image += static_cast<char>((i * 7 + 3) & 0xFF);
    return image;
}

std::string HexOf(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 0xF];
    }
    return hex;
}

std::string Block(const std::string& hex, std::uint32_t index) {
    return BuildFrame("UD" + HexNumber(index) + hex.substr(index * 600, 600));
}

struct Running {
    explicit Running(EmulatorOptions o) : emulator(std::move(o)) {
        std::string error;
        ok = emulator.Start(&error);
        EXPECT_TRUE(ok) << error;
        if (ok) {
            const auto r = emulator.Reports().front();
            searchPort = r.searchPort;
            upgradePort = r.upgradePort;
        }
    }
    Emulator emulator;
    bool ok = false;
    std::uint16_t searchPort = 0, upgradePort = 0;
};

bool BlocksReceived(const Emulator& e, std::uint64_t n) {
    return e.WaitUntil([n](const auto& r) { return r.front().blocks >= n; }, 2s);
}

} // namespace

TEST(EmulatorSearch, ProbeIsAnsweredWithSerialAndVersionAndOtherTextIsCounted) {
    auto o = LoopbackOptions();
    o.collectors[0].version = "S2.01";
    Running run(o);
    ASSERT_TRUE(run.ok);
    LoopbackClient tool;
    tool.Send("127.0.0.1", run.searchPort, kProbe);
    EXPECT_EQ(tool.Receive(), "\x1B"
                              "8000001#S2.01\x05");

    tool.Send("127.0.0.1", run.searchPort, "\xFF\x04\x03"); // not the probe
    EXPECT_FALSE(tool.Receive(300ms));
    const auto r = run.emulator.Report("127.0.0.1");
    EXPECT_EQ(r->probes, 1u);
    EXPECT_EQ(r->otherSearch, 1u);
}

TEST(EmulatorSearch, EachAddressIsItsOwnCollector) {
    auto o = LoopbackOptions({"127.0.0.2", "127.0.0.3"});
    o.collectors[1].serial = "123456";
    o.collectors[1].version = "V1.00";
    Running run(o);
    ASSERT_TRUE(run.ok);
    const auto reports = run.emulator.Reports();
    LoopbackClient tool;
    tool.Send("127.0.0.2", reports[0].searchPort, kProbe);
    EXPECT_EQ(tool.Receive(), "\x1B"
                              "8000002#S1.00\x05");
    tool.Send("127.0.0.3", reports[1].searchPort, kProbe);
    EXPECT_EQ(tool.Receive(), "\x1B"
                              "123456#V1.00\x05");
}

TEST(EmulatorSearch, SilentCollectorCountsTheProbeButDoesNotAnswer) {
    auto o = LoopbackOptions();
    o.answerProbe = false;
    Running run(o);
    ASSERT_TRUE(run.ok);
    LoopbackClient tool;
    tool.Send("127.0.0.1", run.searchPort, kProbe);
    EXPECT_FALSE(tool.Receive(300ms));
    EXPECT_EQ(run.emulator.Report("127.0.0.1")->probes, 1u);
}

TEST(EmulatorUpgrade, FullExchangeAssemblesTheImageAndWritesIt) {
    const std::string path =
        ::testing::TempDir() + "emu_image_" + std::to_string(::getpid()) + ".bin";
    auto o = LoopbackOptions();
    o.imageOut = path;
    Running run(o);
    ASSERT_TRUE(run.ok);
    LoopbackClient tool;
    const auto image = ImageOf(1000); // 4 blocks, the last 200 hex characters
    const auto hex = HexOf(image);

    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LUS1.020004"));
    EXPECT_EQ(tool.Receive(), BuildFrame("R0000"));
    for (std::uint32_t i = 0; i < 4; ++i)
        tool.Send("127.0.0.1", run.upgradePort, Block(hex, i));
    ASSERT_TRUE(BlocksReceived(run.emulator, 4));
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
    EXPECT_EQ(tool.Receive(), BuildFrame("R"));

    const auto r = *run.emulator.Report("127.0.0.1");
    EXPECT_EQ(r.requestedVersion, "S1.02");
    EXPECT_EQ(r.announcedBlocks, 4u);
    EXPECT_TRUE(r.imageComplete);
    EXPECT_EQ(r.image, image);
    EXPECT_EQ(r.blockReceipts,
              (std::map<std::uint32_t, std::uint32_t>{{0, 1}, {1, 1}, {2, 1}, {3, 1}}));
    EXPECT_EQ(r.queries, 1u);
    EXPECT_EQ(r.queryTimesMs.size(), 1u);
    EXPECT_EQ(r.completions, 1u);

    std::ifstream in(path, std::ios::binary);
    std::stringstream written;
    written << in.rdbuf();
    EXPECT_EQ(written.str(), image);
    std::remove(path.c_str());
}

TEST(EmulatorUpgrade, MissingBlocksAreListedUntilResent) {
    auto o = LoopbackOptions();
    o.dropBlocks = {1, 3};
    Running run(o);
    ASSERT_TRUE(run.ok);
    LoopbackClient tool;
    const auto image = ImageOf(1500); // 5 blocks
    const auto hex = HexOf(image);
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LUS10005"));
    ASSERT_TRUE(tool.Receive());
    for (std::uint32_t i = 0; i < 5; ++i)
        tool.Send("127.0.0.1", run.upgradePort, Block(hex, i));
    ASSERT_TRUE(BlocksReceived(run.emulator, 5));
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
    EXPECT_EQ(tool.Receive(), BuildFrame("R000200010003"));

    // Only the first receipt is lost: resending block 1 alone leaves block 3 missing.
    tool.Send("127.0.0.1", run.upgradePort, Block(hex, 1));
    ASSERT_TRUE(BlocksReceived(run.emulator, 6));
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
    EXPECT_EQ(tool.Receive(), BuildFrame("R00010003"));
    tool.Send("127.0.0.1", run.upgradePort, Block(hex, 3));
    ASSERT_TRUE(BlocksReceived(run.emulator, 7));
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
    EXPECT_EQ(tool.Receive(), BuildFrame("R"));

    const auto r = *run.emulator.Report("127.0.0.1");
    EXPECT_EQ(r.image, image);
    EXPECT_EQ(r.droppedBlocks, 2u);
    EXPECT_EQ(r.resendLists, (std::vector<std::vector<std::uint32_t>>{{1, 3}, {3}}));
    EXPECT_EQ(r.blockReceipts.at(1), 2u);
    EXPECT_EQ(r.blockReceipts.at(3), 2u);
    EXPECT_EQ(r.blockReceipts.at(0), 1u);
}

TEST(EmulatorUpgrade, ResendListIsCappedAndANewRequestStartsAfresh) {
    auto o = LoopbackOptions();
    Running run(o);
    ASSERT_TRUE(run.ok);
    LoopbackClient tool;
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LUS1012C")); // 300 blocks, none sent
    ASSERT_TRUE(tool.Receive());
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
    const auto reply = tool.Receive();
    ASSERT_TRUE(reply);
    const auto payload = CheckedPayload(*reply);
    ASSERT_TRUE(payload);
    EXPECT_EQ(payload->substr(0, 5), "R0064");
    EXPECT_EQ(payload->size(), 5u + 100 * 4);
    EXPECT_EQ(payload->substr(5, 8), "00000001");
    EXPECT_EQ(payload->substr(payload->size() - 4), "0063");

    const auto hex = HexOf(ImageOf(10));
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LUS20001"));
    ASSERT_TRUE(tool.Receive());
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("UD0000" + hex));
    ASSERT_TRUE(BlocksReceived(run.emulator, 1));
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
    EXPECT_EQ(tool.Receive(), BuildFrame("R"));
    EXPECT_EQ(run.emulator.Report("127.0.0.1")->requestedVersion, "S2");
}

TEST(EmulatorUpgrade, IndexWidthFollowsTheBlockLength) {
    Running run(LoopbackOptions());
    ASSERT_TRUE(run.ok);
    LoopbackClient tool;
    // The request's count is its last four characters, whatever precedes them.
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LUS1" + HexNumber(0x10002)));
    ASSERT_TRUE(tool.Receive());
    auto r = *run.emulator.Report("127.0.0.1");
    EXPECT_EQ(r.requestedVersion, "S11");
    EXPECT_EQ(r.announcedBlocks, 2u);

    const std::string full(600, 'A');
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("UD10000" + full)); // five-digit index
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("UDFFFF" + full));  // four-digit index
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("UD0003AB"));       // short last block
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("UD00"));           // no index at all
    ASSERT_TRUE(BlocksReceived(run.emulator, 4));
    r = *run.emulator.Report("127.0.0.1");
    EXPECT_EQ(r.blockReceipts,
              (std::map<std::uint32_t, std::uint32_t>{{0x10000, 1}, {0xFFFF, 1}, {3, 1}}));
    EXPECT_EQ(r.badFrames, 1u);
}

TEST(EmulatorUpgrade, RequestRepliesFollowTheConfiguration) {
    struct Case {
        RequestReply reply;
        std::uint32_t start;
        std::optional<std::string> expected;
    };
    const Case cases[] = {{RequestReply::Accept, 5, BuildFrame("R0005")},
                          {RequestReply::NoFlash, 0, BuildFrame("E80")},
                          {RequestReply::SameVersion, 0, BuildFrame("E81")},
                          {RequestReply::Silent, 0, std::nullopt}};
    for (const auto& c : cases) {
        auto o = LoopbackOptions();
        o.requestReply = c.reply;
        o.startBlock = c.start;
        Running run(o);
        ASSERT_TRUE(run.ok);
        LoopbackClient tool;
        tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LUS1.000008"));
        EXPECT_EQ(tool.Receive(c.expected ? 2000ms : 300ms), c.expected);
        EXPECT_TRUE(
            run.emulator.WaitUntil([](const auto& r) { return r.front().requests == 1; }, 1s));
    }
}

TEST(EmulatorUpgrade, QueryCanBeIgnoredOrRefused) {
    for (auto reply : {QueryReply::Silent, QueryReply::Error}) {
        auto o = LoopbackOptions();
        o.queryReply = reply;
        Running run(o);
        ASSERT_TRUE(run.ok);
        LoopbackClient tool;
        for (int i = 0; i < 3; ++i)
            tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
        const auto replies = tool.ReceiveAll(400ms);
        const auto expected = reply == QueryReply::Silent
                                  ? std::vector<std::string>{}
                                  : std::vector<std::string>(3, BuildFrame("E99"));
        EXPECT_EQ(replies, expected);
        const auto r = *run.emulator.Report("127.0.0.1");
        EXPECT_EQ(r.queries, 3u);
        ASSERT_EQ(r.queryTimesMs.size(), 3u);
        EXPECT_LE(r.queryTimesMs[0], r.queryTimesMs[2]);
    }
}

TEST(EmulatorReceive, BrokenFramesFromTheToolAreCountedAndNotAnswered) {
    Running run(LoopbackOptions());
    ASSERT_TRUE(run.ok);
    LoopbackClient tool;
    tool.Send("127.0.0.1", run.upgradePort,
              "\x1B"
              "ENb314\x05"); // lower-case checksum
    tool.Send("127.0.0.1", run.upgradePort,
              "\x1B"
              "ENB315\x05");                                   // wrong checksum
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("XX")); // unknown keyword
    tool.Send("127.0.0.1", run.upgradePort,
              "junk\x05" + BuildFrame("EN").substr(0, 3));               // split frame...
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN").substr(3)); // ...completed
    EXPECT_EQ(tool.Receive(), BuildFrame("R"));
    EXPECT_FALSE(tool.Receive(300ms));
    const auto r = *run.emulator.Report("127.0.0.1");
    EXPECT_EQ(r.badFrames, 2u);
    EXPECT_EQ(r.otherUpgrade, 1u);
    EXPECT_EQ(r.queries, 1u);
}

TEST(EmulatorFaults, ChecksumFaultsSpoilOnlyTheChecksum) {
    for (auto fault : {ChecksumFault::Bad, ChecksumFault::LowerCase}) {
        auto o = LoopbackOptions();
        o.checksumFault = fault;
        o.startBlock = 0; // "R0000" has the checksum 86D7: lower case differs
        Running run(o);
        ASSERT_TRUE(run.ok);
        LoopbackClient tool;
        tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LUS10001"));
        const auto reply = tool.Receive();
        ASSERT_TRUE(reply);
        EXPECT_FALSE(CheckedPayload(*reply)) << "fault " << static_cast<int>(fault);
        EXPECT_EQ(reply->substr(0, 6), "\x1B"
                                       "R0000");
        const auto good = ChecksumText("R0000");
        ASSERT_NE(good, ChecksumText("R0000", true));
        if (fault == ChecksumFault::LowerCase) {
            EXPECT_EQ(reply->substr(6, 4), ChecksumText("R0000", true));
        }
    }
}

TEST(EmulatorFaults, JunkPrecedesRepliesWithoutSpoilingThem) {
    auto o = LoopbackOptions();
    o.junk = true;
    Running run(o);
    ASSERT_TRUE(run.ok);
    LoopbackClient tool;
    tool.Send("127.0.0.1", run.searchPort, kProbe);
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
    const auto datagrams = tool.ReceiveAll(400ms);
    ASSERT_EQ(datagrams.size(), 6u);
    std::string text;
    for (const auto& d : datagrams)
        text += d;
    auto frames = ExtractFrames(text);
    int valid = 0, search = 0;
    for (const auto& f : frames) {
        if (CheckedPayload(f))
            ++valid;
        else if (f == "\x1B"
                      "8000001#S1.00\x05")
            ++search;
    }
    EXPECT_EQ(valid, 2); // both replies survive, the junk frames fail
    EXPECT_EQ(search, 1);
    EXPECT_EQ(run.emulator.Report("127.0.0.1")->repliesSent, 6u);
}

TEST(EmulatorFaults, DuplicatedRepliesGoOutTwiceAndLateRepliesWait) {
    auto o = LoopbackOptions();
    o.duplicateShare = 1.0;
    o.replyDelayMs = 250;
    Running run(o);
    ASSERT_TRUE(run.ok);
    LoopbackClient tool;
    const auto sent = std::chrono::steady_clock::now();
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
    const auto first = tool.Receive();
    const auto waited = std::chrono::steady_clock::now() - sent;
    EXPECT_EQ(first, BuildFrame("R"));
    EXPECT_GE(waited, 240ms);
    EXPECT_EQ(tool.Receive(), BuildFrame("R"));
}

TEST(EmulatorFaults, SeededShareDropsTheSameBlocksEveryRun) {
    auto dropped = [] {
        auto o = LoopbackOptions();
        o.dropShare = 0.3;
        o.seed = 42;
        Running run(o);
        LoopbackClient tool;
        const auto hex = HexOf(ImageOf(300 * 20));
        tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LUS10014"));
        tool.Receive();
        for (std::uint32_t i = 0; i < 20; ++i)
            tool.Send("127.0.0.1", run.upgradePort, Block(hex, i));
        EXPECT_TRUE(BlocksReceived(run.emulator, 20));
        tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
        return tool.Receive();
    };
    const auto a = dropped(), b = dropped();
    ASSERT_TRUE(a);
    EXPECT_EQ(a, b);
    EXPECT_NE(*a, BuildFrame("R")); // 30 % of 20 blocks: some are missing
    EXPECT_NE(*a, BuildFrame("R0000"));
}

TEST(EmulatorFaults, ReorderedBlocksAreStillStored) {
    auto o = LoopbackOptions();
    o.reorderMs = 50;
    Running run(o);
    ASSERT_TRUE(run.ok);
    LoopbackClient tool;
    const auto image = ImageOf(1200);
    const auto hex = HexOf(image);
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LUS10004"));
    ASSERT_TRUE(tool.Receive());
    for (std::uint32_t i = 0; i < 4; ++i)
        tool.Send("127.0.0.1", run.upgradePort, Block(hex, i));
    ASSERT_TRUE(BlocksReceived(run.emulator, 4));
    std::this_thread::sleep_for(120ms);
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
    EXPECT_EQ(tool.Receive(), BuildFrame("R"));
    EXPECT_EQ(run.emulator.Report("127.0.0.1")->image, image);
}

TEST(EmulatorLifecycle, RunEndsAtItsLimitAndWritesTheSummary) {
    const std::string path =
        ::testing::TempDir() + "emu_summary_" + std::to_string(::getpid()) + ".json";
    auto o = LoopbackOptions();
    o.runLimit = 300ms;
    o.summaryPath = path;
    Emulator emulator(o);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(emulator.Run());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 290ms);
    EXPECT_LT(took, 3s);
    std::ifstream in(path);
    const auto json = nlohmann::json::parse(in, nullptr, false);
    ASSERT_FALSE(json.is_discarded());
    ASSERT_EQ(json.at("collectors").size(), 1u);
    EXPECT_EQ(json["collectors"][0].at("address"), "127.0.0.1");
    EXPECT_EQ(json["collectors"][0].at("queries"), 0);
    std::remove(path.c_str());
}

TEST(EmulatorLifecycle, BindFailsWhenTheAddressIsTaken) {
    Running first(LoopbackOptions());
    ASSERT_TRUE(first.ok);
    auto o = LoopbackOptions();
    o.searchPort = first.searchPort;
    Emulator second(o);
    std::string error;
    EXPECT_FALSE(second.Bind(&error));
    EXPECT_NE(error.find("bind"), std::string::npos);
}

namespace {

// Probes and returns the version part of the search reply ("" without one).
std::string ProbedVersion(LoopbackClient& tool, const Running& run) {
    tool.Send("127.0.0.1", run.searchPort, kProbe);
    const auto reply = tool.Receive();
    if (!reply)
        return "(no reply)";
    const auto hash = reply->find('#');
    return hash == std::string::npos ? "" : reply->substr(hash + 1, reply->size() - hash - 2);
}

// Requests `version` for a one-block image and completes the upgrade.
void UpgradeOneBlock(LoopbackClient& tool, const Running& run, const std::string& version) {
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LU" + version + "0001"));
    ASSERT_EQ(tool.Receive(), BuildFrame("R0000"));
    const auto before = run.emulator.Report("127.0.0.1")->blocks;
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("UD0000" + HexOf(ImageOf(300))));
    ASSERT_TRUE(BlocksReceived(run.emulator, before + 1));
    tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
    ASSERT_EQ(tool.Receive(), BuildFrame("R"));
}

} // namespace

TEST(EmulatorVersion, CompletedUpgradeReportsTheAcceptedVersionUnlessKept) {
    for (const bool keep : {false, true}) {
        auto o = LoopbackOptions();
        o.keepVersion = keep;
        Running run(o);
        ASSERT_TRUE(run.ok);
        LoopbackClient tool;
        // Accepted but not yet complete: still the old version.
        tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LUS2.000001"));
        ASSERT_EQ(tool.Receive(), BuildFrame("R0000"));
        EXPECT_EQ(ProbedVersion(tool, run), "S1.00");
        // The later of two accepted requests is the one that counts.
        UpgradeOneBlock(tool, run, "S3.00");
        EXPECT_EQ(ProbedVersion(tool, run), keep ? "S1.00" : "S3.00") << "keep " << keep;
        EXPECT_EQ(run.emulator.Report("127.0.0.1")->version, keep ? "S1.00" : "S3.00");
    }
}

TEST(EmulatorVersion, RefusedOrUnfinishedUpgradeLeavesTheVersion) {
    {
        auto o = LoopbackOptions();
        o.requestReply = RequestReply::SameVersion;
        Running run(o);
        ASSERT_TRUE(run.ok);
        LoopbackClient tool;
        // A refused request for no blocks: the query is still answered "R".
        tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LUS2.000000"));
        ASSERT_EQ(tool.Receive(), BuildFrame("E81"));
        tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
        ASSERT_EQ(tool.Receive(), BuildFrame("R"));
        EXPECT_EQ(ProbedVersion(tool, run), "S1.00");
    }
    {
        auto o = LoopbackOptions();
        o.dropBlocks = {0};
        Running run(o);
        ASSERT_TRUE(run.ok);
        LoopbackClient tool;
        tool.Send("127.0.0.1", run.upgradePort, BuildFrame("LUS2.000001"));
        ASSERT_EQ(tool.Receive(), BuildFrame("R0000"));
        tool.Send("127.0.0.1", run.upgradePort, BuildFrame("UD0000" + HexOf(ImageOf(300))));
        ASSERT_TRUE(BlocksReceived(run.emulator, 1));
        tool.Send("127.0.0.1", run.upgradePort, BuildFrame("EN"));
        ASSERT_EQ(tool.Receive(), BuildFrame("R00010000"));
        EXPECT_EQ(ProbedVersion(tool, run), "S1.00");
    }
}

TEST(EmulatorVersion, GbkSerialAndVersionKeepTheirBytesOnTheWireAndInTheSummary) {
    auto o = LoopbackOptions();
    o.collectors[0].serial = "\xB2\xC9\xBC\xAF"
                             "01"; // "采集01" in GBK
    Running run(o);
    ASSERT_TRUE(run.ok);
    LoopbackClient tool;
    UpgradeOneBlock(tool, run, "S1.0\xB0\xE6"); // "S1.0版"
    tool.Send("127.0.0.1", run.searchPort, kProbe);
    EXPECT_EQ(tool.Receive(), "\x1B\xB2\xC9\xBC\xAF"
                              "01#S1.0\xB0\xE6\x05");

    const auto summary = nlohmann::json::parse(run.emulator.SummaryJson());
    const auto& c = summary.at("collectors").at(0);
    EXPECT_EQ(c.at("serial"), "\xE9\x87\x87\xE9\x9B\x86"
                              "01");
    EXPECT_EQ(c.at("serial_hex"), "B2C9BCAF3031");
    EXPECT_EQ(c.at("version"), "S1.0\xE7\x89\x88");
    EXPECT_EQ(c.at("version_hex"), "53312E30B0E6");
    EXPECT_EQ(c.at("requested_version"), "S1.0\xE7\x89\x88");
    EXPECT_EQ(c.at("requested_version_hex"), "53312E30B0E6");
}
