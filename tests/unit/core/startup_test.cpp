// Start-up: the channels, the status line, the workers and the local address;
// and the texts of the error box.
#include "tool_harness.h"

using core::ApplicationTitle;
using core::ErrorBoxText;
using core::ToolPorts;

using platform::UdpSocket;

namespace {

using StartupTest = ToolTest;

TEST_F(StartupTest, CleanStartOpensBothChannelsOnceAndWaits) {
    tool->FormActivate();
    EXPECT_EQ(view.lbl6, "等待升级");
    EXPECT_TRUE(tool->UpgradeChannel().Socket().IsOpen());
    EXPECT_TRUE(tool->SearchChannel().Socket().IsOpen());
    EXPECT_TRUE(tool->WorkersRunning());
    EXPECT_EQ(events.watched, 2);

    view.lbl6.clear();
    tool->FormActivate(); // back from a dialog: nothing runs again
    EXPECT_EQ(view.lbl6, "");
    EXPECT_EQ(events.watched, 2);
}

TEST_F(StartupTest, HeldLocalPortFailsThatChannelOnly) {
    for (const bool upgradeHeld : {true, false}) {
        UdpSocket holder;
        ASSERT_TRUE(holder.Create() && holder.Bind(0));
        ToolPorts ports{0, upgradePeer.Port(), 0, searchPeer.Port()};
        (upgradeHeld ? ports.upgradeLocal : ports.searchLocal) = holder.LocalPort();
        Make(ports);
        view.lbl6.clear();

        tool->FormActivate();

        EXPECT_EQ(view.lbl6, "端口创建套接字失败!!") << upgradeHeld;
        EXPECT_EQ(tool->UpgradeChannel().Socket().IsOpen(), !upgradeHeld);
        EXPECT_EQ(tool->SearchChannel().Socket().IsOpen(), upgradeHeld);
        EXPECT_TRUE(tool->WorkersRunning());
    }
}

// A window is shown first and activated after: show fills lbl3, then
// start-up opens the channels and sets the status line.
TEST_F(StartupTest, ShowThenActivatePutsTheLocalAddressInLbl3AndWaits) {
    localAddress = "10.1.2.3";
    tool->FormShow();
    EXPECT_EQ(view.lbl3, "10.1.2.3");
    EXPECT_EQ(view.lbl6, "");
    tool->FormActivate();
    EXPECT_EQ(view.lbl6, "等待升级");
}

// A failed lookup leaves lbl3 as it was and says so; start-up keeps that text
// instead of "等待升级", and a channel failure replaces it.
TEST_F(StartupTest, FailedLookupIsSaidUntilAChannelFailureReplacesIt) {
    for (const bool portHeld : {false, true}) {
        UdpSocket holder;
        ASSERT_TRUE(holder.Create() && holder.Bind(0));
        Make({portHeld ? holder.LocalPort() : std::uint16_t{0}, upgradePeer.Port(), 0,
              searchPeer.Port()});
        view.lbl3 = "lbl3";
        view.lbl6.clear();
        localAddress.reset();

        tool->FormShow();
        EXPECT_EQ(view.lbl3, "lbl3");
        EXPECT_EQ(view.lbl6, "未找到本机IP地址");
        tool->FormActivate();

        const std::string expected = portHeld ? "端口创建套接字失败!!" : "未找到本机IP地址";
        EXPECT_EQ(view.lbl6, expected) << portHeld;
        EXPECT_EQ(tool->StatusText(), expected) << portHeld;
        EXPECT_TRUE(tool->WorkersRunning());
    }
}

TEST(ErrorTexts, FullStopAndApplicationTitle) {
    const std::pair<std::string, std::string> messages[] = {
        {"abc", "abc."}, {"x.", "x."},    {"", ""},          {"end!", "end!"},
        {"a-", "a-"},    {"1/0", "1/0."}, {"升级", "升级."},
    };
    for (const auto& [message, shown] : messages)
        EXPECT_EQ(ErrorBoxText(message), shown) << message;

    const std::pair<std::string, std::string> titles[] = {
        {"/usr/bin/CollectorUpgrade", "Collectorupgrade"},
        {"C:\\x\\UPG.Tool.exe", "Upg"},
        {"/opt/a.b/TOOL", "Tool"},
        {"tool", "tool"},
    };
    for (const auto& [path, title] : titles)
        EXPECT_EQ(ApplicationTitle(path), title) << path;
}

} // namespace
