// The window's files: replaced whole, and settings that never keep the window
// from opening.
#include "gui/fleet/shell/fleet_report_files.h"
#include "gui/fleet/shell/fleet_settings.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(FleetReportFiles, FilesReplacedWholeAndSettingsSurviveGarbage) {
    const auto folder =
        std::filesystem::temp_directory_path() /
        ("fleet-window-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "settings.json").string();
    EXPECT_EQ(fleetui::LoadSettings(path).adapterName, ""); // missing
    // The expected list comes back as saved: GBK serials, pinned or not.
    const std::vector<fleet::ExpectedCollector> expected = {{"\xB2\xE2\x39", "198.51.100.7"},
                                                            {"8100010", std::nullopt}};
    EXPECT_EQ(fleetui::SaveSettings(path, {"veth0", expected, {"veth0", "veth2"}}), "");
    EXPECT_EQ(fleetui::LoadSettings(path).adapterName, "veth0");
    EXPECT_EQ(fleetui::LoadSettings(path).adapterNames, (std::vector<std::string>{"veth0", "veth2"}));
    EXPECT_EQ(fleetui::LoadSettings(path).expected, expected);
    EXPECT_EQ(fleetui::WriteFileAtomically(path, "{not json"), "");
    EXPECT_EQ(fleetui::LoadSettings(path).adapterName, "");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    EXPECT_NE(fleetui::WriteFileAtomically((folder / "no" / "such.json").string(), "x"), "");
    std::filesystem::remove_all(folder);
}
