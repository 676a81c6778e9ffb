#pragma once

// One scenario that both fleet-window renderers run: what the shell decided
// reaches the screen (rows, order, texts, enabled states), and what the
// operator does there (a header, the filter box, a check box, a button)
// reaches the shell. The shell's own test proves the behaviour; this proves
// that a renderer draws and forwards it. Each renderer's test drives its
// toolkit through the driver below.

#include "fake_fleet_window.h"
#include "fleet/run/fleet_report.h"
#include "gui/fleet/shell/fleet_report_files.h"
#include "gui/fleet/shell/fleet_window_description.h"
#include "gui/fleet/shell/fleet_window_shell.h"

#include <gtest/gtest.h>

#include <string>

namespace support {

class FleetRendererDriver {
public:
    virtual ~FleetRendererDriver() = default;
    virtual int RowCount() = 0;
    virtual std::string Cell(int row, fleetui::Column column) = 0; // UTF-8
    virtual std::string Text(fleetui::FleetControlId control) = 0; // UTF-8
    virtual bool Enabled(fleetui::FleetControlId control) = 0;
    virtual void Click(fleetui::FleetControlId button) = 0;
    virtual void ClickHeader(fleetui::Column column) = 0;
    virtual void SetText(fleetui::FleetControlId edit, const std::string& utf8) = 0;
    virtual bool Checked(int row) = 0;
    virtual void SetChecked(int row, bool checked) = 0;
    // The operator chooses entry `index` of the adapter list (the shown one too).
    virtual void ChooseAdapter(int index) = 0;
};

// The window shows LastReportOfThree's `report` (.20 "B" failed, .3 "C",
// .10 "A") from its settings folder `folder`, and has no image yet; it lists
// the adapters eth0 198.51.100.1/24 and eth1 203.0.113.1/24, none ticked.
inline void RunFleetRendererScenario(FleetRendererDriver& window,
                                     const fleetui::FleetWindowShell& shell,
                                     FakeFleetDialogs& dialogs, const std::string& folder,
                                     const std::string& report) {
    using fleetui::Column;
    ASSERT_EQ(window.RowCount(), 3);
    EXPECT_EQ(window.Cell(0, Column::Address), "198.51.100.3"); // numeric address order
    EXPECT_EQ(window.Cell(2, Column::Outcome), "失败");
    EXPECT_EQ(window.Text(fleetui::kStatusLine), shell.Model().StatusLine());
    EXPECT_FALSE(window.Enabled(fleetui::kStopButton));
    EXPECT_TRUE(window.Enabled(fleetui::kSaveCsvButton));

    window.ClickHeader(Column::Serial);
    EXPECT_EQ(window.Cell(0, Column::Serial), "A");
    window.ClickHeader(Column::Serial); // again: descending
    EXPECT_EQ(window.Cell(0, Column::Serial), "C");
    window.SetText(fleetui::kFilterEdit, "100.2");
    ASSERT_EQ(window.RowCount(), 1);
    EXPECT_EQ(window.Cell(0, Column::Address), "198.51.100.20");
    window.SetText(fleetui::kFilterEdit, "");
    ASSERT_EQ(window.RowCount(), 3);

    window.Click(fleetui::kSelectAllButton);
    EXPECT_EQ(window.Text(fleetui::kSelectionCount), "已选择 3 / 3 台");
    EXPECT_TRUE(window.Checked(1));
    window.SetChecked(1, false); // by hand
    EXPECT_EQ(shell.Model().CheckedCount(), 2u);
    EXPECT_EQ(window.Text(fleetui::kSelectionCount), "已选择 2 / 3 台");
    window.Click(fleetui::kSelectNoneButton);
    EXPECT_EQ(window.Text(fleetui::kSelectionCount), "已选择 0 / 3 台");

    // Start without an image: the shell's notice, through the given dialogs.
    window.Click(fleetui::kStartButton);
    ASSERT_FALSE(dialogs.notices.empty());
    EXPECT_EQ(dialogs.notices.back(), "请先选择升级文件");
    // A chosen image is drawn into the path and the version field.
    ASSERT_EQ(fleetui::WriteFileAtomically(folder + "/S1.5.bin", "abc"), "");
    dialogs.openPath = folder + "/S1.5.bin";
    window.Click(fleetui::kBrowseButton);
    EXPECT_EQ(window.Text(fleetui::kImagePath), dialogs.openPath);
    EXPECT_EQ(window.Text(fleetui::kVersionEdit), "S1.5");

    // The report saved where the dialog says, as JSON and as CSV.
    dialogs.savePath = folder + "/out.json";
    window.Click(fleetui::kSaveJsonButton);
    EXPECT_EQ(fleetui::ReadWholeFile(dialogs.savePath), report);
    dialogs.savePath = folder + "/out.csv";
    window.Click(fleetui::kSaveCsvButton);
    EXPECT_EQ(fleetui::ReadWholeFile(dialogs.savePath),
              fleet::ReportCsv(*fleet::ReadReport(report)));

    // Each choice in the adapter list ticks or unticks one, the shown one too;
    // the list shows the first one ticked.
    window.ChooseAdapter(1);
    EXPECT_EQ(window.Text(fleetui::kAdapterChoice), "[√] eth1  203.0.113.1/24");
    window.ChooseAdapter(0);
    EXPECT_EQ(window.Text(fleetui::kAdapterChoice), "[√] eth0  198.51.100.1/24");
    window.ChooseAdapter(0);
    EXPECT_EQ(window.Text(fleetui::kAdapterChoice), "[√] eth1  203.0.113.1/24");
}

} // namespace support
