// The subnet sweep and the device list it fills from search replies.
#include "core/discovery.h"

#include "tool_harness.h"

using core::DeviceEntry;
using protocol::kLastSweptHost;
using core::Mode;
using core::SubnetPrefix;

using pubpro::kEnq;
using pubpro::kEsc;

using platform::UdpSocket;

namespace {

std::string Reply(const std::string& text) {
    return kEsc + text + kEnq;
}

TEST(SubnetPrefix, KeepsUpToTheThirdDotOrTheLastThereIs) {
    const std::pair<std::string, std::string> cases[] = {
        {"192.168.1.23", "192.168.1."}, {"10.20", "10."}, {"abc", ""}, {"", ""},
        {"1.2.3.4.5", "1.2.3."},
    };
    for (const auto& [address, prefix] : cases)
        EXPECT_EQ(SubnetPrefix(address), prefix) << address;
}

using DiscoveryTest = ToolTest;

TEST_F(DiscoveryTest, SweepClearsTheListSetsSsAndProbesHosts1To254InOrder) {
    tool->FormActivate();
    tool->FormShow(); // 127.0.0.1
    ListDevices(*tool, {{"old", "127.0.0.9", "S1"}});
    view.selected = 0;
    tool->Mode().Set(Mode::EN);

    tool->btnsearchClick();

    EXPECT_TRUE(view.rows.empty());
    EXPECT_FALSE(view.selected);
    EXPECT_TRUE(tool->Mode().Is(Mode::SS));
    // Every 127.x address is local, so the wildcard listener sees all of them.
    const auto got = searchPeer.WaitFor(kLastSweptHost);
    ASSERT_EQ(got.size(), 254u);
    for (int host = 1; host <= 254; ++host) {
        EXPECT_EQ(got[host - 1].bytes, std::string("\xFF\x04\x03\xFB", 4));
        EXPECT_EQ(got[host - 1].destination, "127.0.0." + std::to_string(host));
    }
    EXPECT_TRUE(searchPeer.Settle().size() == 254u) << "a probe was repeated or went to host 255";
    EXPECT_TRUE(upgradePeer.Settle().empty());
}

struct ReplyCase {
    const char* name;
    Mode mode;
    std::vector<DeviceEntry> before;
    std::string frame;
    std::string sender;
    std::vector<DeviceEntry> after;
};

TEST_F(DiscoveryTest, ReplyAddsOrUpdatesRowsByAddress) {
    const std::string ip = "192.168.1.50";
    const DeviceEntry known{"123456", ip, "S2.01"};
    const DeviceEntry other{"999", "192.168.1.7", "S1"};
    // clang-format off
    const ReplyCase cases[] = {
        {"split at #", Mode::SS, {}, Reply("123456#S2.01"), ip, {known}},
        {"no # gives empty version", Mode::SS, {}, Reply("123456"), ip, {{"123456", ip, ""}}},
        {"later # stay in version", Mode::SS, {}, Reply("A#B#C"), ip, {{"A", ip, "B#C"}}},
        {"update keeps blanks and version", Mode::SS, {other, known}, Reply(" AB789 #S9"), ip,
         {other, {" AB789 ", ip, "S2.01"}}},
        {"append trims bytes up to 0x20", Mode::SS, {other}, Reply("\x01 123456\x20\x1F#S2.01 "), ip,
         {other, {"123456", ip, "S2.01 "}}},
        {"blank serial makes an empty caption", Mode::SS, {}, Reply("   #S1"), ip, {{"", ip, "S1"}}},
        {"blank serial blanks a known row", Mode::SS, {known}, Reply("  #S1"), ip, {{"  ", ip, "S2.01"}}},
        {"empty frame", Mode::SS, {}, Reply(""), ip, {}},
        {"empty serial", Mode::SS, {known}, Reply("#S1"), ip, {known}},
        {"own address", Mode::SS, {}, Reply("123456#S2.01"), "127.0.0.1", {}},
        {"no sender", Mode::SS, {}, Reply("123456#S2.01"), "", {}},
        {"mode LU", Mode::LU, {}, Reply("123456#S2.01"), ip, {}},
        {"mode UD", Mode::UD, {known}, Reply("X#S9"), ip, {known}},
        {"mode EN", Mode::EN, {}, Reply("123456#S2.01"), ip, {}},
        {"mode empty", Mode::Empty, {}, Reply("123456#S2.01"), ip, {}},
    };
    // clang-format on
    tool->FormShow(); // 127.0.0.1
    for (const auto& c : cases) {
        ListDevices(*tool, c.before);
        tool->Mode().Set(c.mode);
        tool->DeviceDiscovery().HandleSearchReply(c.frame, c.sender);
        EXPECT_EQ(view.rows, c.after) << c.name;
        EXPECT_TRUE(tool->Mode().Is(c.mode)) << c.name;
    }
    EXPECT_TRUE(notices.shown.empty());
}

TEST_F(DiscoveryTest, ReplyThroughTheSocketIsListedWithItsSender) {
    tool->FormActivate();
    localAddress = "10.1.2.3";
    tool->FormShow();
    tool->Mode().Set(Mode::SS);
    UdpSocket collector;
    ASSERT_TRUE(collector.Create());
    collector.SendTo(Reply("123456#S2.01") + Reply("777#S3"), "127.0.0.1",
                     tool->SearchChannel().Socket().LocalPort());
    for (int attempt = 0; attempt < 200 && view.rows.empty(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        tool->HandleSocketMessage();
    }
    // Two replies in one datagram share its sender: the second updates the first's row.
    EXPECT_EQ(view.rows, (std::vector<DeviceEntry>{{"777", "127.0.0.1", "S2.01"}}));
}

} // namespace
