// The window's files: replaced whole, and settings that never keep the window
// from opening.
#include "gui/fleet_common/fleet_report_files.h"
#include "gui/fleet_common/fleet_settings.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(FleetReportFiles, FilesReplacedWholeAndSettingsSurviveGarbage) {
    const auto folder =
        std::filesystem::temp_directory_path() /
        ("fleet-window-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "settings.json").string();
    EXPECT_EQ(fleetwin::LoadSettings(path).adapterName, ""); // missing
    EXPECT_EQ(fleetwin::SaveSettings(path, {"veth0"}), "");
    EXPECT_EQ(fleetwin::LoadSettings(path).adapterName, "veth0");
    EXPECT_EQ(fleetwin::WriteFileAtomically(path, "{not json"), "");
    EXPECT_EQ(fleetwin::LoadSettings(path).adapterName, "");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    EXPECT_NE(fleetwin::WriteFileAtomically((folder / "no" / "such.json").string(), "x"), "");
    std::filesystem::remove_all(folder);
}
