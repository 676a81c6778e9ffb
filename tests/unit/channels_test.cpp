// The receive path on real loopback sockets bound to ephemeral ports.
#include "core/channels.h"
#include "protocol/collector_rules.h"
#include "frame_codec.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

using core::CloseSearchChannel;
using core::CloseUpgradeChannel;
using protocol::kMaxDatagramBytes;
using protocol::kSocketBufferBytes;
using core::OpenSearchChannel;
using core::OpenUpgradeChannel;
using core::SocketEvents;
using core::UdpChannel;

using pubpro::RxBuffer;

using platform::UdpSocket;

namespace {

struct RecordingEvents : SocketEvents {
    std::vector<UdpSocket::Handle> watched;
    void Watch(UdpSocket::Handle handle) override { watched.push_back(handle); }
    void Unwatch(UdpSocket::Handle handle) override { std::erase(watched, handle); }
};

class ChannelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        upgrade.SetPorts(0, 0);
        search.SetPorts(0, 0);
        ASSERT_TRUE(OpenUpgradeChannel(upgrade, events));
        ASSERT_TRUE(OpenSearchChannel(search, events));
        ASSERT_TRUE(peer.Create());
        ASSERT_TRUE(peer.Bind(0));
    }
    void TearDown() override {
        CloseUpgradeChannel(upgrade, events);
        CloseSearchChannel(search, events);
        EXPECT_TRUE(events.watched.empty());
    }

    void SendTo(UdpChannel& channel, const std::string& bytes) {
        ASSERT_TRUE(peer.SendTo(bytes, "127.0.0.1", channel.Socket().LocalPort()));
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // loopback delivery
    }

    // One notification; returns what reached the handlers.
    void Notify() {
        HandleSocketMessage(
            upgrade, search, [&](const std::string& frame) { upgradeFrames.push_back(frame); },
            [&](const std::string& frame, const std::string& sender) {
                searchFrames.emplace_back(frame, sender);
            });
    }

    RecordingEvents events;
    UdpChannel upgrade;
    UdpChannel search;
    UdpSocket peer;
    std::vector<std::string> upgradeFrames;
    std::vector<std::pair<std::string, std::string>> searchFrames;
};

TEST_F(ChannelsTest, OneDatagramPerNotificationUpgradeFirst) {
    EXPECT_EQ(events.watched.size(), 2u);
    SendTo(search, "\x1B"
                   "S1#S2"
                   "\x05");
    SendTo(upgrade, collector_emulator::BuildFrame("R0000"));
    Notify();
    EXPECT_EQ(upgradeFrames, std::vector<std::string>{collector_emulator::BuildFrame("R0000")});
    EXPECT_TRUE(searchFrames.empty());
    Notify(); // the upgrade channel is idle now, so the search datagram is read
    ASSERT_EQ(searchFrames.size(), 1u);
    EXPECT_EQ(searchFrames[0].first, "\x1B"
                                     "S1#S2"
                                     "\x05");
    EXPECT_EQ(searchFrames[0].second, "127.0.0.1");
    Notify();
    EXPECT_EQ(searchFrames.size(), 1u);
}

TEST_F(ChannelsTest, UpgradeTextStopsAtZeroByteAndBadChecksumsAreDropped) {
    SendTo(upgrade, collector_emulator::BuildFrame("R0001") + std::string("\0", 1) +
                        collector_emulator::BuildFrame("R0002"));
    Notify();
    std::string lower = collector_emulator::BuildFrame("R");
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(c));
    SendTo(upgrade, "\x1B"
                    "EN0000\x05" +
                        lower.substr(0, 2) + "R" + lower.substr(3));
    Notify();
    EXPECT_EQ(upgradeFrames, std::vector<std::string>{collector_emulator::BuildFrame("R0001")});
    EXPECT_TRUE(upgrade.Buffer().Empty());
}

TEST_F(ChannelsTest, SearchBytesAreScrubbedAndTwoRepliesShareTheSender) {
    SendTo(search, std::string("\x1B"
                               "A\xFF\xFB\x00\x0A"
                               "B#S1\x05\x1B"
                               "C#S2\x05",
                               17));
    Notify();
    ASSERT_EQ(searchFrames.size(), 2u);
    EXPECT_EQ(searchFrames[0].first, "\x1B"
                                     "A    B#S1\x05");
    EXPECT_EQ(searchFrames[1].first, "\x1B"
                                     "C#S2\x05");
    EXPECT_EQ(searchFrames[1].second, "127.0.0.1");
}

TEST_F(ChannelsTest, LongestDatagramIsAcceptedAndALongerOneIsLostWhole) {
    const std::string frame = collector_emulator::BuildFrame("R0000");
    std::string exact(kMaxDatagramBytes - frame.size(), 'x');
    exact += frame;
    SendTo(upgrade, exact);
    Notify();
    EXPECT_EQ(upgradeFrames.size(), 1u);
    SendTo(upgrade, "x" + exact);
    Notify();
    EXPECT_EQ(upgradeFrames.size(), 1u);
    EXPECT_TRUE(upgrade.Buffer().Empty());
}

TEST_F(ChannelsTest, AFloodWithoutEnqKeepsTheBufferBounded) {
    const std::string chunk = "\x1B" + std::string(9000, 'z');
    for (int i = 0; i < 200; ++i) { // about 1.8 MB, read as it comes
        ASSERT_TRUE(peer.SendTo(chunk, "127.0.0.1", upgrade.Socket().LocalPort()));
        Notify();
        ASSERT_LE(upgrade.Buffer().Size(), RxBuffer::kLimit);
    }
    for (int i = 0; i < 200; ++i) // whatever was still queued
        Notify();
    ASSERT_LE(upgrade.Buffer().Size(), RxBuffer::kLimit);
    // The pending ESC swallows the next frame (it fails its checksum); the one
    // after it is handled.
    SendTo(upgrade, collector_emulator::BuildFrame("R0003"));
    Notify();
    EXPECT_TRUE(upgradeFrames.empty());
    SendTo(upgrade, collector_emulator::BuildFrame("R0004"));
    Notify();
    EXPECT_EQ(upgradeFrames, std::vector<std::string>{collector_emulator::BuildFrame("R0004")});
}

TEST_F(ChannelsTest, AFloodWithoutDelimitersIsClearedAndTheNextFrameWorks) {
    const std::string chunk(9000, 'q');
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(peer.SendTo(chunk, "127.0.0.1", search.Socket().LocalPort()));
        Notify();
    }
    for (int i = 0; i < 100; ++i)
        Notify();
    EXPECT_LE(search.Buffer().Size(), RxBuffer::kLimit);
    SendTo(search, "\x1B"
                   "77#S1\x05");
    Notify();
    ASSERT_EQ(searchFrames.size(), 1u);
    EXPECT_EQ(searchFrames[0].first, "\x1B"
                                     "77#S1\x05");
}

TEST_F(ChannelsTest, APortAlreadyHeldMakesTheOpenFail) {
    UdpChannel second;
    second.SetPorts(upgrade.Socket().LocalPort(), 0);
    EXPECT_FALSE(OpenUpgradeChannel(second, events));
    EXPECT_FALSE(second.Socket().IsOpen());
    EXPECT_EQ(events.watched.size(), 2u);
    second.Send("x", "127.0.0.1"); // a failed channel sends nothing and does not crash
}

TEST_F(ChannelsTest, OpenChannelsHaveRoomForAWholeSubnet) {
    for (auto* channel : {&upgrade, &search})
        for (const int option : {SO_RCVBUF, SO_SNDBUF}) {
            int bytes = 0;
#ifdef _WIN32
            int length = sizeof bytes;
            ::getsockopt(static_cast<SOCKET>(channel->Socket().NativeHandle()), SOL_SOCKET, option,
                         reinterpret_cast<char*>(&bytes), &length);
#else
            socklen_t length = sizeof bytes;
            ::getsockopt(static_cast<int>(channel->Socket().NativeHandle()), SOL_SOCKET, option,
                         &bytes, &length);
#endif
            EXPECT_GE(bytes, kSocketBufferBytes) << option;
        }
}

#ifdef _WIN32
// Windows would let another program bind the same port beside ours and take
// some of the replies; held exclusively, its bind fails instead.
TEST_F(ChannelsTest, OpenChannelsHoldTheirPortsExclusively) {
    for (auto* channel : {&upgrade, &search}) {
        BOOL exclusive = FALSE;
        int length = sizeof exclusive;
        ASSERT_EQ(::getsockopt(static_cast<SOCKET>(channel->Socket().NativeHandle()), SOL_SOCKET,
                               SO_EXCLUSIVEADDRUSE, reinterpret_cast<char*>(&exclusive), &length),
                  0);
        EXPECT_TRUE(exclusive);
    }
}
#endif

TEST(UdpSocket, SendRacingCloseIsHarmless) {
    UdpSocket socket;
    ASSERT_TRUE(socket.Create());
    std::thread sender([&] {
        for (int i = 0; i < 2000; ++i)
            socket.SendTo("x", "127.0.0.1", 9); // discard port on loopback
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    socket.Close();
    sender.join();
    EXPECT_FALSE(socket.IsOpen());
}

} // namespace
