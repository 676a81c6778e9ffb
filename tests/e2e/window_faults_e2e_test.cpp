// The real window in the tool namespace against collectors that misbehave:
// a late start block, refusals, lost, duplicated and reordered traffic, a
// collector that falls silent, junk and bad checksums, and a flood of text.
// Images are a few blocks each, since every pass costs real seconds.
#include "window_rig.h"

#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <algorithm>

#include <linux/sock_diag.h>
#include <sys/socket.h>

#include <fstream>
#include <random>
#include <utility>

using core::kSocketNotifyMessage;

using pubpro::RxBuffer;

using namespace std::chrono_literals;

namespace {

constexpr const char* kCollector = "198.51.100.10";
constexpr const char* kSecond = "198.51.100.11";
constexpr const char* kThird = "198.51.100.12";

class WindowFaults : public ::testing::Test {
protected:
    void SetUp() override { E2E_REQUIRE_NAMESPACES(); }

    // One emulator per entry (address, its options; "{image}" stands for the
    // image file's path), then the window, a sweep that lists each of them
    // unless told not to, and an image of `imageBytes` bytes chosen.
    void Start(std::size_t imageBytes,
               const std::vector<std::pair<std::string, std::vector<std::string>>>& field,
               bool sweep = true) {
        net = std::make_unique<e2e::NetnsFixture>(e2e::FieldRange(10, 12));
        ASSERT_TRUE(net->Ok()) << net->Error();
        const std::string path = net->ScratchDir() + "/S1.02.bin";
        image = e2e::WriteImage(path, imageBytes);
        for (auto [address, options] : field) {
            std::replace(options.begin(), options.end(), std::string("{image}"), path);
            emulators.push_back(std::make_unique<e2e::FieldEmulator>(*net, address, options));
            ASSERT_TRUE(emulators.back()->Ready()) << emulators.back()->Log();
        }
        rig = std::make_unique<e2e::WindowRig>(*net);
        ASSERT_TRUE(rig->Ok());
        if (sweep) {
            ASSERT_TRUE(rig->Sweep(static_cast<int>(field.size())));
        }
        rig->ChooseImage(path);
    }

    std::unique_ptr<e2e::NetnsFixture> net;
    std::vector<std::unique_ptr<e2e::FieldEmulator>> emulators;
    std::unique_ptr<e2e::WindowRig> rig;
    std::string image;
};

// Text bytes that never delimit a frame: no ESC, no ENQ.
std::string JunkText(std::mt19937& rng, std::size_t length) {
    std::string text(length, ' ');
    for (auto& c : text)
        do
            c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
        while (c == '\x1B' || c == '\x05');
    return text;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Bytes the kernel holds for a socket of this process, and its limit.
std::pair<std::uint32_t, std::uint32_t> ReceiveQueue(int fd) {
    std::uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof info;
    ::getsockopt(fd, SOL_SOCKET, SO_MEMINFO, info, &length);
    return {info[SK_MEMINFO_RMEM_ALLOC], info[SK_MEMINFO_RCVBUF]};
}

// Seen just before each socket event: how much text both buffers hold.
class BufferWatch : public QObject {
public:
    explicit BufferWatch(upgradeui::qt::TFrmmain& window) : window_(window) {
        window_.installEventFilter(this);
    }
    ~BufferWatch() override { window_.removeEventFilter(this); }
    void Sample() {
        largestUpgrade = std::max(largestUpgrade, window_.Tool().UpgradeChannel().Buffer().Size());
        largestSearch = std::max(largestSearch, window_.Tool().SearchChannel().Buffer().Size());
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == kSocketNotifyMessage) {
            ++events;
            Sample();
        }
        return false;
    }
    std::size_t largestUpgrade = 0, largestSearch = 0, events = 0;

private:
    upgradeui::qt::TFrmmain& window_;
};

} // namespace

TEST_F(WindowFaults, StartBlockTwo_FirstPassSendsBlocksTwoToFourOnly) {
    // The collector holds blocks 0 and 1 from an interrupted earlier upgrade.
    ASSERT_NO_FATAL_FAILURE(
        Start(1500, {{kCollector, {"--start-block", "2", "--preloaded", "{image}"}}})); // 5 blocks
    ASSERT_TRUE(rig->UpgradeTo(kCollector));
    ASSERT_TRUE(rig->WaitNotice("升级完成", 25s)) << rig->Status();
    const auto report = emulators[0]->StopAndReport(kCollector);
    EXPECT_TRUE(e2e::ResendLists(report).empty());
    EXPECT_EQ(e2e::BlockReceipts(report), (std::map<int, int>{{2, 1}, {3, 1}, {4, 1}}));
    EXPECT_EQ(emulators[0]->ImageOf(kCollector), image);
}

TEST_F(WindowFaults, RefusalsAndOldVersion_ShowTheirNoticesAndSendNothingMore) {
    ASSERT_NO_FATAL_FAILURE(Start(1000, {{kCollector, {"--request-reply", "e80"}},
                                         {kSecond, {"--request-reply", "e81"}},
                                         {kThird, {"--version", "V1.00"}}}));
    ASSERT_TRUE(rig->UpgradeTo(kCollector));
    ASSERT_TRUE(rig->WaitNotice("当前无Flash，不能升级", 3s));
    ASSERT_TRUE(rig->UpgradeTo(kSecond));
    ASSERT_TRUE(rig->WaitNotice("版本相同，无需升级", 3s));
    ASSERT_TRUE(rig->UpgradeTo(kThird));
    QTest::qWait(600); // a started worker would have sent its first block by now
    EXPECT_EQ(rig->notices.NoticeTexts(),
              (std::vector<std::string>{"当前无Flash，不能升级", "版本相同，无需升级",
                                        "采集器版本不兼容，请使用老版升级程序"}));
    for (int i = 0; i < 2; ++i) {
        const auto report = emulators[i]->StopAndReport(i == 0 ? kCollector : kSecond);
        EXPECT_EQ(report.value("requests").toInt(), 1);
        EXPECT_EQ(report.value("blocks").toInt(), 0);
        EXPECT_EQ(report.value("queries").toInt(), 0);
    }
    EXPECT_EQ(emulators[2]->StopAndReport(kThird).value("requests").toInt(), 0);
}

TEST_F(WindowFaults, TenPercentOfBlocksLost_ResendListBringsThemBack) {
    // 20 blocks; this seed loses two of them on first receipt.
    ASSERT_NO_FATAL_FAILURE(Start(5900, {{kCollector, {"--drop-share", "0.1", "--seed", "5"}}}));
    ASSERT_TRUE(rig->UpgradeTo(kCollector));
    ASSERT_TRUE(rig->WaitNotice("升级完成", 30s)) << rig->Status();
    const auto report = emulators[0]->StopAndReport(kCollector);
    const int dropped = report.value("dropped_blocks").toInt();
    ASSERT_GE(dropped, 1);
    const auto lists = e2e::ResendLists(report);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(static_cast<int>(lists[0].size()), dropped);
    EXPECT_EQ(report.value("blocks").toInt(), 20 + dropped);
    EXPECT_EQ(emulators[0]->ImageOf(kCollector), image);
}

TEST_F(WindowFaults, SilentCollector_FiveQueriesThreeSecondsApartThenUpgradeFailed) {
    ASSERT_NO_FATAL_FAILURE(Start(600, {{kCollector, {"--query-reply", "silent"}}})); // 2 blocks
    ASSERT_TRUE(rig->UpgradeTo(kCollector));
    // 2 x 150 ms, 5000 ms, then five queries each followed by 3000 ms.
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig->Status() == "升级失败"; }, 30000))
        << rig->Status();
    const auto times = e2e::QueryTimesMs(emulators[0]->StopAndReport(kCollector));
    ASSERT_EQ(times.size(), 5u);
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_NEAR(times[i] - times[i - 1], 3000, 300)
            << "between queries " << i << " and " << i + 1;
    EXPECT_TRUE(rig->notices.NoticeTexts().empty());
}

TEST_F(WindowFaults, BadChecksumsAndJunkOnBothChannels_DroppedAndANormalCollectorStillWorks) {
    ASSERT_NO_FATAL_FAILURE(
        Start(1000, {{kCollector, {"--checksum", "bad", "--junk"}}, {kSecond, {}}}));
    {
        // Junk of our own while the sweep is still open, so a bad frame could add a row.
        e2e::FieldSender junk(*net, [](e2e::FieldSender& sender) {
            std::mt19937 rng(7);
            for (int i = 0; i < 200; ++i)
                sender.SendToTool(i % 2 ? 23 : 8000, JunkText(rng, 1 + i * 3));
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return junk.Done(); }, 5000));
    }
    QTest::qWait(300);
    EXPECT_EQ(rig->List()->topLevelItemCount(), 2);

    // Junk, a junk frame and an accept, all with bad checksums: none is taken.
    ASSERT_TRUE(rig->UpgradeTo(kCollector));
    QTest::qWait(1000);
    EXPECT_EQ(rig->Status(), "正在请求升级");
    EXPECT_TRUE(rig->notices.NoticeTexts().empty());

    ASSERT_TRUE(rig->UpgradeTo(kSecond));
    ASSERT_TRUE(rig->WaitNotice("升级完成", 15s)) << rig->Status();
    EXPECT_EQ(rig->notices.NoticeTexts(), std::vector<std::string>{"升级完成"});
    EXPECT_TRUE(rig->notices.ErrorBoxTexts().empty());
    EXPECT_EQ(rig->List()->topLevelItemCount(), 2);
    EXPECT_EQ(emulators[1]->ImageOf(kSecond), image);
    const auto spoiled = emulators[0]->StopAndReport(kCollector);
    EXPECT_EQ(spoiled.value("blocks").toInt(), 0);
    EXPECT_EQ(spoiled.value("queries").toInt(), 0);
}

TEST_F(WindowFaults, DuplicatedAndReorderedTraffic_ImageIdenticalAndNoBlockSentMoreThanAsked) {
    // 6 blocks; 1 and 3 lost once, so a resend list is among the duplicated replies.
    ASSERT_NO_FATAL_FAILURE(Start(1800, {{kCollector,
                                          {"--duplicate-share", "0.5", "--reorder-ms", "150",
                                           "--drop-blocks", "1,3", "--seed", "3"}}}));
    ASSERT_TRUE(rig->UpgradeTo(kCollector));
    ASSERT_TRUE(rig->WaitNotice("升级完成", 25s)) << rig->Status();
    QTest::qWait(300); // a late duplicate of the final answer changes nothing
    EXPECT_EQ(rig->notices.NoticeTexts(), std::vector<std::string>{"升级完成"});
    const auto report = emulators[0]->StopAndReport(kCollector);
    // Replies: one to the probe, one per request and per query; more went out.
    ASSERT_GT(report.value("replies_sent").toInt(),
              1 + report.value("requests").toInt() + report.value("queries").toInt());
    std::map<int, int> asked;
    for (const auto& list : e2e::ResendLists(report))
        for (int block : list)
            ++asked[block];
    const auto receipts = e2e::BlockReceipts(report);
    for (int block = 0; block < 6; ++block) {
        const auto got = receipts.find(block);
        ASSERT_NE(got, receipts.end()) << "block " << block;
        EXPECT_LE(got->second, 1 + asked[block]) << "block " << block;
    }
    EXPECT_EQ(receipts.size(), 6u);
    EXPECT_EQ(emulators[0]->ImageOf(kCollector), image);
}

TEST_F(WindowFaults, FloodOfTextOnBothChannels_BuffersAndMemoryBoundedNextReplyHandled) {
    // No sweep before the flood, so the sweep after it is the first one (see
    // the next test for why a sweep right after another can miss collectors).
    ASSERT_NO_FATAL_FAILURE(Start(300, {{kCollector, {}}}, false));
    constexpr std::size_t kFlood = 100u << 20, kDatagram = 8000;
    const int sockets[2] = {
        static_cast<int>(rig->Window().Tool().UpgradeChannel().Socket().NativeHandle()),
        static_cast<int>(rig->Window().Tool().SearchChannel().Socket().NativeHandle())};
    std::string text(kDatagram, ' '); // printable, so no byte of it is cut or scrubbed
    for (std::size_t i = 0; i < kDatagram; ++i)
        text[i] = static_cast<char>(' ' + i % 95);
    std::size_t sent[2] = {0, 0};
    BufferWatch watch(rig->Window());
    const long residentBefore = ResidentKiB();
    {
        // As fast as the window reads: a socket's queue is topped up while it
        // is less than half full, so the flood reaches the buffers instead of
        // being dropped by the kernel. Bounded by bytes and by time.
        e2e::FieldSender flood(*net, [&](e2e::FieldSender& sender) {
            const std::uint16_t ports[2] = {8000, 23};
            const auto deadline = std::chrono::steady_clock::now() + 60s;
            while ((sent[0] < kFlood || sent[1] < kFlood) &&
                   std::chrono::steady_clock::now() < deadline) {
                bool any = false;
                for (int c = 0; c < 2; ++c) {
                    const auto [queued, limit] = ReceiveQueue(sockets[c]);
                    if (sent[c] < kFlood && queued < limit / 2 &&
                        sender.SendToTool(ports[c], text)) {
                        sent[c] += kDatagram;
                        any = true;
                    }
                }
                if (!any)
                    std::this_thread::sleep_for(100us);
            }
        });
        ASSERT_TRUE(e2e::RunEventLoopUntil([&] { return flood.Done(); }, 70s));
    }
    e2e::RunEventLoopUntil([] { return false; }, 200ms);
    watch.Sample();
    const long residentAfter = ResidentKiB();
    EXPECT_GE(sent[0], kFlood);
    EXPECT_GE(sent[1], kFlood);
    EXPECT_GE(watch.events, 2 * kFlood / kDatagram * 9 / 10); // the window did read it
    EXPECT_LE(watch.largestUpgrade, RxBuffer::kLimit);
    EXPECT_LE(watch.largestSearch, RxBuffer::kLimit);
    EXPECT_LT(residentAfter - residentBefore, 5 * 1024) << residentBefore << " KiB before";
    EXPECT_TRUE(rig->Sweep(1)); // the next reply still adds its row
    EXPECT_TRUE(rig->notices.ErrorBoxTexts().empty());
}

// The sweep's probes to absent hosts wait in the kernel's address resolution
// queues for about three seconds, charged to the search socket's send buffer;
// a second sweep within that time must still reach every collector.
TEST_F(WindowFaults, SecondSweepOneSecondAfterTheFirst_ListsTheCollectorAgain) {
    ASSERT_NO_FATAL_FAILURE(Start(300, {{kCollector, {}}}));
    QTest::qWait(1000);
    EXPECT_TRUE(rig->Sweep(1));
}
