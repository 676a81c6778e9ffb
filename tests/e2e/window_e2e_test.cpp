// The real window with its real channels on ports 8000 and 23, inside the
// tool namespace, its local address found by its own lookup (198.51.100.1,
// the only interface there), against emulated collectors in the field.
#include "window_rig.h"

#include <QSet>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(WindowInNamespace, TypicalRun_SweepListsThreeAndOneUpgradeWritesAnIdenticalImage) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 12));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePath = net.ScratchDir() + "/S1.02.bin";
    const std::string image = e2e::WriteImage(imagePath, 1000); // 4 blocks
    e2e::FieldEmulator emulator(net, "198.51.100.10-12", {"--version", "S1.00"});
    ASSERT_TRUE(emulator.Ready()) << emulator.Log();

    // Everything the window opens, and the workers it starts, live in the tool namespace.
    e2e::WindowRig rig(net);
    ASSERT_TRUE(rig.Ok());
    ASSERT_TRUE(rig.Sweep(3));
    for (int host = 10; host <= 12; ++host) {
        const auto address = QStringLiteral("198.51.100.%1").arg(host);
        auto* row = e2e::RowOf(rig.List(), address);
        ASSERT_NE(row, nullptr) << address.toStdString();
        EXPECT_EQ(row->text(0), QStringLiteral("8100%1").arg(host, 3, 10, QLatin1Char('0')));
        EXPECT_EQ(row->text(2), QStringLiteral("S1.00"));
    }

    rig.ChooseImage(imagePath);
    EXPECT_EQ(rig.Window().View().VersionText(), "S1.02");
    ASSERT_TRUE(rig.UpgradeTo("198.51.100.11"));
    // E2E_SCREENSHOT=<png> keeps a picture of the window two blocks into the upgrade.
    if (const QString shot = qEnvironmentVariable("E2E_SCREENSHOT"); !shot.isEmpty()) {
        e2e::RunEventLoopUntil([] { return false; }, 400ms);
        EXPECT_TRUE(rig.Window().grab().save(shot));
    }
    // 4 blocks 150 ms apart, a 5000 ms settle, then the first query answered.
    ASSERT_TRUE(rig.WaitNotice("升级完成", 15s)) << "status: " << rig.Status();
    EXPECT_TRUE(rig.notices.ErrorBoxTexts().empty());
    EXPECT_EQ(emulator.ImageOf("198.51.100.11"), image);
    EXPECT_EQ(emulator.ImageOf("198.51.100.10"), ""); // only the selected one
}

TEST(WindowInNamespace, FullField_SweepListsAll253Collectors) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(2, 254)); // every host address but the tool's .1
    ASSERT_TRUE(net.Ok()) << net.Error();
    e2e::FieldEmulator emulator(net, "198.51.100.2-254");
    ASSERT_TRUE(emulator.Ready()) << emulator.Log();
    e2e::WindowRig rig(net);
    ASSERT_TRUE(rig.Ok());
    ASSERT_TRUE(rig.Sweep(253)) << rig.List()->topLevelItemCount() << " rows";
    QSet<QString> addresses;
    for (int row = 0; row < rig.List()->topLevelItemCount(); ++row)
        addresses.insert(rig.List()->topLevelItem(row)->text(1));
    EXPECT_EQ(addresses.size(), 253);
    EXPECT_FALSE(addresses.contains(QStringLiteral("198.51.100.1")));
}

TEST(WindowInNamespace, AddressThatAppearsAfterStartIsFoundByTheNextSearch) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 12));
    ASSERT_TRUE(net.Ok()) << net.Error();
    e2e::FieldEmulator emulator(net, "198.51.100.10-12");
    ASSERT_TRUE(emulator.Ready()) << emulator.Log();
    // At start the tool's adapter has only a self-assigned address, as a
    // laptop port with no DHCP server has: it must not be taken.
    const auto onToolAdapter = [&](const std::string& verb, const std::string& address) {
        return e2e::RunCommand({"ip", "-n", net.ToolNamespace(), "address", verb, address, "dev",
                                "veth0"});
    };
    ASSERT_EQ(onToolAdapter("del", std::string(e2e::kToolAddress) + "/24"), 0);
    ASSERT_EQ(onToolAdapter("add", "169.254.7.7/16"), 0);

    e2e::WindowRig rig(net, /*addressAtStart=*/false);
    ASSERT_TRUE(rig.Ok()) << "local address: "
                          << rig.Window().Tool().DeviceDiscovery().LocalAddress();
    EXPECT_EQ(rig.Status(), "未找到本机IP地址");

    // The address arrives (DHCP answered, cable moved) while the window is open.
    ASSERT_EQ(onToolAdapter("add", std::string(e2e::kToolAddress) + "/24"), 0);
    ASSERT_TRUE(rig.Sweep(3)) << rig.List()->topLevelItemCount() << " rows";
    EXPECT_EQ(rig.Window().Tool().DeviceDiscovery().LocalAddress(), e2e::kToolAddress);
    EXPECT_EQ(rig.Status(), "等待升级");
}
