// The upgrade button's checks and the collector's replies on the upgrade channel.
#include "pubpro/conversion_error.h"

#include "frame_codec.h"
#include "reference_frames.h"

#include "tool_harness.h"

using protocol::kLastSweptHost;
using protocol::kQueryLimit;
using core::Mode;

using pubpro::ConversionError;

namespace {

using UpgradeButtonTest = ToolTest;
using UpgradeReplyTest = ToolTest;

// Block `index` of the images these tests send (every byte 5A).
std::string Block(unsigned index, std::size_t imageBytes) {
    return ReferenceBlock(index, imageBytes, "5A");
}

TEST_F(UpgradeButtonTest, ChecksRunInOrderAndTheFirstFailureRefuses) {
    struct Case {
        const char* name;
        bool selected;
        Mode mode;
        std::string version;
        const char* file; // nullptr: none chosen; "": an empty file
        std::string notice;
    };
    const Case cases[] = {
        {"no selection", false, Mode::Empty, "S1", "x", "请选择一个采集器进行升级"},
        {"no selection beats busy", false, Mode::UD, "S1", "x", "请选择一个采集器进行升级"},
        {"sending", true, Mode::UD, "S1", "x", "上一次升级尚未完成"},
        {"polling beats old version", true, Mode::EN, "V1", nullptr, "上一次升级尚未完成"},
        {"old collector", true, Mode::Empty, "V1", nullptr, "采集器版本不兼容，请使用老版升级程序"},
        {"no version", true, Mode::SS, "", "x", "版本号不正确，不能下载"},
        {"lower-case s", true, Mode::LU, "s1", "x", "版本号不正确，不能下载"},
        {"other version", true, Mode::Empty, "X9", nullptr, "版本号不正确，不能下载"},
        {"no file", true, Mode::SS, "S1", nullptr, "请选择升级文件"},
        {"empty file", true, Mode::Empty, "S1", "", "读取升级文件失败"},
    };
    for (const auto& c : cases) {
        Make({0, upgradePeer.Port(), 0, searchPeer.Port()}); // no file chosen yet
        tool->FormActivate();
        ListDevices(*tool, {{"1", "127.0.0.1", c.version}});
        view.selected = c.selected ? std::optional(0) : std::nullopt;
        if (c.file)
            Browse("S1.bin", c.file);
        tool->Mode().Set(c.mode);
        view.lbl6 = "等待升级";
        notices.shown.clear();

        tool->btnUPGClick();

        EXPECT_EQ(notices.shown,
                  (std::vector<std::pair<NoticeKind, std::string>>{{NoticeKind::Notice, c.notice}}))
            << c.name;
        EXPECT_TRUE(tool->Mode().Is(c.mode)) << c.name;
        EXPECT_EQ(view.lbl6, "等待升级") << c.name;
    }
    EXPECT_TRUE(upgradePeer.Settle().empty());
}

TEST_F(UpgradeButtonTest, RequestCarriesTrimmedGbkVersionAndBlockCountToTheSelectedRow) {
    tool->FormActivate();
    ListDevices(*tool, {{"1", "127.0.0.1", "S1"}, {"2", "127.0.0.3", "S2.01"}});
    view.selected = 1;
    Browse("S1.bin", std::string(301, '\x01'));
    view.edt1 = " S升级\t";
    tool->Mode().Set(Mode::SS);

    tool->btnUPGClick();
    tool->btnUPGClick(); // still "LU": sent again

    const std::string request = collector_emulator::BuildFrame("LUS\xC9\xFD\xBC\xB6"
                                                               "0002");
    const auto got = upgradePeer.WaitFor(2);
    ASSERT_EQ(got.size(), 2u);
    for (const auto& datagram : got) {
        EXPECT_EQ(datagram.bytes, request);
        EXPECT_EQ(datagram.destination, "127.0.0.3");
    }
    EXPECT_TRUE(tool->Mode().Is(Mode::LU));
    EXPECT_EQ(view.lbl6, "正在请求升级");
    EXPECT_TRUE(notices.shown.empty());
}

TEST_F(UpgradeButtonTest, ImagesBeyondFourHexDigitsOfBlocksAreRefused) {
    tool->FormActivate();
    ListDevices(*tool, {{"1", "127.0.0.1", "S1"}});
    view.selected = 0;
    Browse("S1.bin", std::string(65535 * 300, '\x01'));
    view.edt1 = "S1";
    tool->btnUPGClick();
    ASSERT_EQ(Bytes(upgradePeer.WaitFor(1)),
              std::vector<std::string>{collector_emulator::BuildFrame("LUS1FFFF")});

    Browse("S2.bin", std::string(65536 * 300, '\x01'));
    view.lbl6 = "?";
    tool->btnUPGClick();
    EXPECT_EQ(NoticeTexts(NoticeKind::Notice), std::vector<std::string>{"升级文件过大，不能升级"});
    EXPECT_EQ(upgradePeer.Settle().size(), 1u);
    EXPECT_EQ(view.lbl6, "?");
}

// The refusal comes before anything is replaced: a late accept of the earlier
// request still sends the image that request announced.
TEST_F(UpgradeButtonTest, RefusedLargeImageNeverReachesALateAccept) {
    RequestUpgrade(2 * 300); // "LU", an image of two blocks of 5A
    Browse("S2.bin", std::string(65536 * 300, '\x01'));
    tool->btnUPGClick();
    ASSERT_EQ(NoticeTexts(NoticeKind::Notice), std::vector<std::string>{"升级文件过大，不能升级"});

    tool->Session().HandleReply(collector_emulator::BuildFrame("R0000"));

    EXPECT_EQ(Bytes(upgradePeer.WaitFor(2)),
              (std::vector<std::string>{Block(0, 600), Block(1, 600)}));
    EXPECT_EQ(display.Events().front(), "max 2");
}

TEST_F(UpgradeReplyTest, AcceptSendsFromTheStartBlockOfTheImageCopiedAtTheRequest) {
    RequestUpgrade(8 * 300);
    Browse("S9.bin", std::string(8 * 300, '\x11')); // a new choice must not reach this upgrade

    tool->Session().HandleReply(collector_emulator::BuildFrame("R0005"));

    EXPECT_EQ(view.lbl6, "正在升级");
    EXPECT_TRUE(tool->Mode().Is(Mode::UD));
    const auto got = upgradePeer.WaitFor(3);
    EXPECT_EQ(Bytes(got),
              (std::vector<std::string>{Block(5, 2400), Block(6, 2400), Block(7, 2400)}));
    EXPECT_TRUE(tool->Mode().Is(Mode::UD)) << "the worker waits 5000 ms before polling";
    settle.Open();
    const auto all = upgradePeer.WaitFor(4);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[3].bytes, kCompletionQuery);
}

TEST_F(UpgradeReplyTest, RefusalsAndOtherRepliesToTheRequestEndIt) {
    const std::pair<std::string, const char*> cases[] = {
        {"E80", "当前无Flash，不能升级"},
        {"E81xyz", "版本相同，无需升级"},
        {"E8", nullptr},
        {"", nullptr},
        {"X0005", nullptr},
    };
    RequestUpgrade(300);
    for (const auto& [payload, notice] : cases) {
        tool->Mode().Set(Mode::LU);
        notices.shown.clear();
        tool->Session().HandleReply(collector_emulator::BuildFrame(payload));
        EXPECT_TRUE(tool->Mode().Is(Mode::Empty)) << payload;
        EXPECT_EQ(NoticeTexts(NoticeKind::Notice),
                  notice ? std::vector<std::string>{notice} : std::vector<std::string>{})
            << payload;
        EXPECT_EQ(view.lbl6, "正在请求升级") << payload;
    }
    settle.Open();
    EXPECT_TRUE(upgradePeer.Settle().empty());
    EXPECT_TRUE(display.Events().empty());
}

TEST_F(UpgradeReplyTest, BareAcceptTakesItsStartBlockFromTheChecksum) {
    RequestUpgrade(300);
    const int start = 0x3EBD; // the frame's checksum characters of "R"
    settle.Open();
    EXPECT_NO_THROW(tool->Session().HandleReply(collector_emulator::BuildFrame("R")));
    const auto got = upgradePeer.WaitFor(1);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].bytes, kCompletionQuery);
    EXPECT_EQ(display.Events().at(1), "pos " + std::to_string(start)) << "beyond the only block";
}

TEST_F(UpgradeReplyTest, MalformedStartBlockLeavesLuWithStatusAlreadyChanged) {
    RequestUpgrade(300);
    try {
        tool->Session().HandleReply(collector_emulator::BuildFrame("R00G1"));
        FAIL() << "malformed start block accepted";
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'$00G1' is not a valid integer value");
    }
    EXPECT_EQ(view.lbl6, "正在升级");
    EXPECT_TRUE(tool->Mode().Is(Mode::LU));
    settle.Open();
    EXPECT_TRUE(upgradePeer.Settle().empty());
    EXPECT_TRUE(display.Events().empty()) << "a worker was started";
}

TEST_F(UpgradeReplyTest, CompletionRepliesWhilePolling) {
    const std::pair<std::string, const char*> cases[] = {
        {"R", "升级完成"},
        {"", "升级未完成，发生未知错误"},
        {"X", "升级未完成，发生未知错误"},
        {"E80", "升级未完成，发生未知错误"},
        {"r0001", "升级未完成，发生未知错误"},
    };
    RequestUpgrade(300);
    for (const auto& [payload, notice] : cases) {
        tool->Mode().Set(Mode::EN);
        notices.shown.clear();
        tool->Session().HandleReply(collector_emulator::BuildFrame(payload));
        EXPECT_TRUE(tool->Mode().Is(Mode::Empty)) << payload;
        EXPECT_EQ(NoticeTexts(NoticeKind::Notice), std::vector<std::string>{notice}) << payload;
    }
    settle.Open();
    EXPECT_TRUE(upgradePeer.Settle().empty());
}

TEST_F(UpgradeReplyTest, ResendListSendsTheListedBlocksInListOrder) {
    RequestUpgrade(4 * 300);
    tool->Mode().Set(Mode::EN);
    tool->Session().HandleReply(collector_emulator::BuildFrame("R000200030001"));
    EXPECT_TRUE(tool->Mode().Is(Mode::UD));
    EXPECT_EQ(view.lbl6, "正在升级");
    EXPECT_EQ(Bytes(upgradePeer.WaitFor(2)),
              (std::vector<std::string>{Block(3, 1200), Block(1, 1200)}));
}

TEST_F(UpgradeReplyTest, EmptyResendListGoesStraightToTheQuery) {
    RequestUpgrade(4 * 300);
    settle.Open();
    tool->Mode().Set(Mode::EN);
    tool->Session().HandleReply(collector_emulator::BuildFrame("R0000"));
    const auto got = upgradePeer.WaitFor(1);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].bytes, kCompletionQuery);
}

TEST_F(UpgradeReplyTest, MalformedResendListLeavesUdAndStartsNothing) {
    const std::pair<std::string, std::string> cases[] = {
        {"R00X10001", "'$00X1' is not a valid integer value"},
        {"R0002000100g2", "'$00g2' is not a valid integer value"},
    };
    RequestUpgrade(4 * 300);
    for (const auto& [payload, message] : cases) {
        tool->Mode().Set(Mode::EN);
        view.lbl6.clear();
        try {
            tool->Session().HandleReply(collector_emulator::BuildFrame(payload));
            ADD_FAILURE() << payload << " accepted";
        } catch (const ConversionError& error) {
            EXPECT_EQ(error.what(), message);
        }
        EXPECT_TRUE(tool->Mode().Is(Mode::UD)) << payload;
        EXPECT_EQ(view.lbl6, "正在升级") << payload;
    }
    settle.Open();
    EXPECT_TRUE(upgradePeer.Settle().empty());
    EXPECT_TRUE(display.Events().empty()) << "a worker was started";
}

TEST_F(UpgradeReplyTest, RepliesOutsideLuAndEnAreIgnored) {
    RequestUpgrade(300);
    view.lbl6 = "?";
    for (const Mode mode : {Mode::SS, Mode::UD, Mode::Empty}) {
        for (const char* payload : {"R0000", "R", "E80", "X"}) {
            tool->Mode().Set(mode);
            tool->Session().HandleReply(collector_emulator::BuildFrame(payload));
            EXPECT_TRUE(tool->Mode().Is(mode)) << payload;
        }
    }
    settle.Open();
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_EQ(view.lbl6, "?");
    EXPECT_TRUE(upgradePeer.Settle().empty());
    EXPECT_TRUE(display.Events().empty());
}

TEST_F(UpgradeReplyTest, BlocksGoToTheRowSelectedAtTheReplyElseToTheRequestAddress) {
    RequestUpgrade(300); // the request went to 127.0.0.1
    ListDevices(*tool, {{"123456", "127.0.0.1", "S2.01"}, {"2", "127.0.0.4", "S1"}});
    view.selected = 1;
    settle.Open();
    tool->Session().HandleReply(collector_emulator::BuildFrame("R0000"));
    auto got = upgradePeer.WaitFor(1 + kQueryLimit);
    ASSERT_EQ(got.size(), 1u + kQueryLimit);
    EXPECT_EQ(got[0].bytes, Block(0, 300));
    EXPECT_EQ(got[0].destination, "127.0.0.4");

    // Now the worker polls no more (five queries unanswered); the list's
    // selection is gone when a resend list arrives.
    upgradePeer.Forget();
    ASSERT_TRUE(tool->Mode().Is(Mode::EN));
    ListDevices(*tool, {{"2", "127.0.0.4", "S1"}});
    tool->Session().HandleReply(collector_emulator::BuildFrame("R00010000"));
    got = upgradePeer.WaitFor(1);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].bytes, Block(0, 300));
    EXPECT_EQ(got[0].destination, "127.0.0.1");
}

} // namespace

namespace {

// The worker's own transition goes through the session from any mode: a
// sweep started while blocks go out does not stop them, the worker then sets
// "EN" over "SS", and search replies are ignored from there on.
TEST_F(UpgradeReplyTest, SweepDuringSendingIsOverriddenWhenTheWorkerStartsPolling) {
    RequestUpgrade(2 * 300);
    tool->FormShow(); // 127.0.0.1: the sweep stays on loopback
    tool->Session().HandleReply(collector_emulator::BuildFrame("R0000"));
    ASSERT_EQ(Bytes(upgradePeer.WaitFor(2)),
              (std::vector<std::string>{Block(0, 600), Block(1, 600)}));

    tool->btnsearchClick();
    ASSERT_TRUE(tool->Mode().Is(Mode::SS));
    ASSERT_EQ(searchPeer.WaitFor(kLastSweptHost).size(), 254u);
    settle.Open();

    const auto queries = upgradePeer.WaitFor(2 + kQueryLimit);
    ASSERT_EQ(queries.size(), 2u + kQueryLimit);
    EXPECT_EQ(queries.back().bytes, kCompletionQuery);
    EXPECT_TRUE(tool->Mode().Is(Mode::EN));
    tool->DeviceDiscovery().HandleSearchReply("\x1B"
                                              "123456#S2.01\x05",
                                              "127.0.0.5");
    EXPECT_TRUE(view.rows.empty());
}

} // namespace
