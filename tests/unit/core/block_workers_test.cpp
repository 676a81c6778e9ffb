// The workers' passes on virtual time, sending to a loopback peer.
#include "core/block_workers.h"
#include "protocol/messages.h"

#include "fake_views.h"
#include "frame_codec.h"
#include "loopback_peer.h"
#include "recording_display.h"
#include "reference_frames.h"
#include "virtual_sleeper.h"

#include <gtest/gtest.h>

using core::ImageText;
using protocol::kQueryIntervalMs;
using protocol::kSettleMs;
using core::kStartSendMessage;
using core::ListRequest;
using core::Mode;
using core::OpenUpgradeChannel;
using core::RangeRequest;
using core::RunListPass;
using core::RunRangePass;
using core::SessionMode;
using core::StatusLine;
using core::Tupthread;
using core::Tupthread1;
using core::UdpChannel;
using core::WorkerContext;
using core::WorkerPort;

namespace {

// Block `index` of the images these tests send (every byte A5).
std::string Block(unsigned index, std::size_t imageBytes) {
    return ReferenceBlock(index, imageBytes, "A5");
}

class PassTest : public ::testing::Test {
protected:
    void SetUp() override {
        channel.SetPorts(0, peer.Port());
        ASSERT_TRUE(OpenUpgradeChannel(channel, window.events));
    }

    ImageText Image(std::size_t bytes) {
        std::string hex;
        for (std::size_t i = 0; i < bytes; ++i)
            hex += "A5";
        return std::make_shared<const std::string>(hex);
    }

    LoopbackPeer peer;
    UdpChannel channel;
    SessionMode mode;
    VirtualSleeper sleeper;
    FakeWindow window;
    RecordingDisplay& display = window.display;
    StatusLine status{window.view, display};
    WorkerPort session{mode, status};
    WorkerContext context{channel, session, sleeper, display};
};

TEST_F(PassTest, FirstPassSendsEveryBlockPacedThenQueriesFiveTimesAndFails) {
    mode.Set(Mode::UD);
    RunRangePass({0, 4, "127.0.0.1", Image(1000)}, context);
    const auto sent = peer.Drain();
    ASSERT_EQ(sent.size(), 4u + 5u);
    for (unsigned i = 0; i < 4; ++i)
        EXPECT_EQ(sent[i], Block(i, 1000));
    EXPECT_EQ(sent[3].size(), 1 + 2 + 4 + 200 + 4 + 1u);
    for (int i = 4; i < 9; ++i)
        EXPECT_EQ(sent[i], kCompletionQuery);
    EXPECT_EQ(sleeper.Pauses(),
              (std::vector<int>{150, 150, 150, 150, 5000, 3000, 3000, 3000, 3000, 3000}));
    EXPECT_TRUE(mode.Is(Mode::EN));
    const auto events = display.Events();
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 6),
              (std::vector<std::string>{"max 4", "pos 0", "step", "step", "step", "step"}));
    EXPECT_EQ(events[events.size() - 2], "status 升级失败");
    EXPECT_EQ(events.back(), "pos 0");
}

TEST_F(PassTest, AnAnswerDuringTheFirstQueryPauseStopsThePolling) {
    sleeper.OnPause([&](long long, int ms) {
        if (ms == kQueryIntervalMs)
            mode.Set(Mode::Empty); // the UI thread handled "R"
    });
    RunRangePass({0, 1, "127.0.0.1", Image(10)}, context);
    const auto sent = peer.Drain();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1], kCompletionQuery);
    const auto events = display.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "status 升级失败"), 0);
    EXPECT_EQ(events.back(), "pos 0");
}

TEST_F(PassTest, StartBlockSkipsEarlierBlocksAndOneBeyondTheEndSendsNone) {
    RunRangePass({5, 8, "127.0.0.1", Image(8 * 300)}, context);
    auto sent = peer.Drain();
    ASSERT_EQ(sent.size(), 3u + 5u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sent[i].substr(1, 6), "UD" + std::string("000") + char('5' + i));
    EXPECT_EQ(display.Events()[1], "pos 5");

    RunRangePass({9, 8, "127.0.0.1", Image(8 * 300)}, context);
    sent = peer.Drain();
    EXPECT_EQ(sent.size(), 5u); // straight to the queries
}

TEST_F(PassTest, ResendPassFollowsListOrderWithDuplicatesAndWideIndices) {
    RunListPass({{3, 1, 3, 0x10000}, "127.0.0.1", Image(1000)}, context);
    const auto sent = peer.Drain();
    ASSERT_EQ(sent.size(), 4u + 5u);
    EXPECT_EQ(sent[0], Block(3, 1000));
    EXPECT_EQ(sent[1], Block(1, 1000));
    EXPECT_EQ(sent[2], sent[0]);
    EXPECT_EQ(sent[3], collector_emulator::BuildFrame("UD10000")); // beyond the image: index only
    const auto events = display.Events();
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 3),
              (std::vector<std::string>{"max 4", "pos 0", "step"}));
}

TEST_F(PassTest, EmptyResendListGoesStraightToTheQuery) {
    RunListPass({{}, "127.0.0.1", Image(1000)}, context);
    EXPECT_EQ(sleeper.Pauses().front(), kSettleMs);
    EXPECT_EQ(peer.Drain().front(), kCompletionQuery);
}

TEST_F(PassTest, WorkerThreadSurvivesPassesAndStopsPromptlyWhenCancelled) {
    {
        Tupthread worker(context);
        worker.Start({0, 2, "127.0.0.1", Image(600)});
        worker.Start({0, 2, "127.0.0.1", Image(600)}); // waits, then runs after the first
        EXPECT_EQ(peer.Collect(2 * (2 + 5), std::chrono::seconds(5)).size(), 2u * (2u + 5u));
        // A pass that blocks in a pause: cancelling must end it and the thread.
        sleeper.OnPause(
            [](long long, int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
        worker.Start({0, 100000, "127.0.0.1", Image(600)});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sleeper.Cancel();
    } // joins
    SUCCEED();
}

TEST_F(PassTest, AnyMessageOtherThanStartEndsTheWorker) {
    Tupthread1 worker(context);
    worker.PostMessage(kStartSendMessage + 1);
    worker.Start({{1}, "127.0.0.1", Image(600)}); // never runs
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(peer.Drain().empty());
}

} // namespace
