// Replies of a whole /24 arriving back to back while the UI thread is busy
// must all reach the device list: the socket's receive buffer has to hold them.
#include "core/upgrade_tool.h"

#include "fake_views.h"
#include "ui_thread_pump.h"
#include "virtual_sleeper.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <thread>

namespace {

TEST(SubnetBurst, AllRepliesOfAFullSubnetAreListedAfterAStall) {
    FakeWindow window;
    VirtualSleeper sleeper;
    UpgradeTool tool(window.Ports(sleeper, [] { return std::optional<std::string>("127.0.0.1"); }),
                     ToolPorts{0, 9, 0, 9});
    tool.FormShow();
    tool.FormActivate();
    tool.Mode().Set(Mode::SS);
    const auto port = tool.SearchChannel().Socket().LocalPort();

    // 254 collectors at 127.0.1.1 .. 127.0.1.254 (all loopback), each sending
    // one 600-byte reply, with nobody reading.
    for (int host = 1; host <= 254; ++host) {
        UdpSocket collector;
        ASSERT_TRUE(collector.Create());
        const std::string address = "127.0.1." + std::to_string(host);
        ASSERT_TRUE(collector.BindAddress(address, 0)) << address;
        std::string reply = "\x1B"
                            "SN" +
                            std::to_string(host) + "#S1.0";
        reply += std::string(600 - reply.size() - 1, 'v') + "\x05";
        ASSERT_TRUE(collector.SendTo(reply, "127.0.0.1", port));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the UI thread is stalled

    ASSERT_TRUE(PumpUntil(
        tool, [&] { return tool.DeviceDiscovery().Devices().Count() == 254; },
        std::chrono::seconds(5)))
        << tool.DeviceDiscovery().Devices().Count() << " rows";
    std::set<std::string> addresses;
    for (const auto& row : window.view.rows)
        addresses.insert(row.ip);
    EXPECT_EQ(addresses.size(), 254u);
}

} // namespace
