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
    // The expected list comes back as saved: GBK serials, pinned or not.
    const std::vector<fleet::ExpectedCollector> expected = {{"\xB2\xE2\x39", "198.51.100.7"},
                                                            {"8100010", std::nullopt}};
    EXPECT_EQ(fleetwin::SaveSettings(path, {"veth0", expected}), "");
    EXPECT_EQ(fleetwin::LoadSettings(path).adapterName, "veth0");
    EXPECT_EQ(fleetwin::LoadSettings(path).expected, expected);
    EXPECT_EQ(fleetwin::WriteFileAtomically(path, "{not json"), "");
    EXPECT_EQ(fleetwin::LoadSettings(path).adapterName, "");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    EXPECT_NE(fleetwin::WriteFileAtomically((folder / "no" / "such.json").string(), "x"), "");
    std::filesystem::remove_all(folder);
}
