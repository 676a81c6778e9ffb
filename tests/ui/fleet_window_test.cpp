// The Qt fleet window renders and forwards, with no network: the controls as
// described (place, accessible name, Tab order), the shell's rows, sort
// indicator, texts and enabled states drawn, and the header, the filter box,
// the check column and the buttons handed to the shell. What the shell does
// with them is its own test's.
#include "gui/fleet/qt/fleet_window.h"

#include "fake_fleet_window.h"
#include "fleet_last_report.h"
#include "gui/fleet/shell/fleet_report_files.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace fleetui;

namespace {

// A settings folder holding a last report of three collectors.
struct Fixture : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        report = support::LastReportOfThree(
            {fleet::ResultKind::Failed, fleet::ResultKind::Upgraded,
             fleet::ResultKind::Interrupted},
            [](fleet::CollectorResult& result) { result.versionBefore = "S1"; });
        ASSERT_EQ(WriteFileAtomically((folder.path() + "/last-report.json").toStdString(), report),
                  "");
        FleetShellSeams seams;
        seams.settingsFolder = folder.path().toStdString();
        seams.listAdapters = [] { return std::vector<platform::NetworkAdapter>{}; };
        window = std::make_unique<fleetui::qt::FleetWindow>(seams, &dialogs);
        table = window->Control<QTableWidget>(kSweepTable);
    }
    QString Cell(int row, Column column) const {
        return table->item(row, static_cast<int>(column))->text();
    }
    QTemporaryDir folder;
    std::string report;
    support::FakeFleetDialogs dialogs;
    std::unique_ptr<fleetui::qt::FleetWindow> window;
    QTableWidget* table = nullptr;
};

} // namespace

TEST_F(Fixture, ControlsAsDescribed_PlaceAccessibleNameAndTabOrder) {
    for (const auto& control : FleetControls()) {
        QWidget* widget = window->Control<QWidget>(control.id);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->objectName().toStdString(), control.name);
        EXPECT_EQ(widget->geometry(), QRect(control.bounds.left, control.bounds.top,
                                            control.bounds.width, control.bounds.height))
            << control.name;
        EXPECT_EQ(widget->accessibleName().toStdString(), control.accessibleName) << control.name;
        if (control.tabOrder >= 0) {
            EXPECT_FALSE(control.accessibleName.empty()) << control.name;
        }
    }
    // Tab from the first control visits every tabbable control once, in order.
    std::vector<const FleetControl*> tabbed;
    for (const auto& control : FleetControls())
        if (control.tabOrder >= 0)
            tabbed.push_back(&control);
    std::sort(tabbed.begin(), tabbed.end(),
              [](auto* a, auto* b) { return a->tabOrder < b->tabOrder; });
    QWidget* widget = window->Control<QWidget>(tabbed.front()->id);
    for (std::size_t i = 1; i < tabbed.size(); ++i) {
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus || widget->parentWidget() != window.get())
            widget = widget->nextInFocusChain();
        EXPECT_EQ(widget->objectName().toStdString(), tabbed[i]->name);
    }
}

TEST_F(Fixture, LastReportShown_SortedByHeaderAndFiltered) {
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(Cell(0, Column::Address), "198.51.100.3"); // numeric address order
    EXPECT_EQ(Cell(2, Column::Outcome), "失败");
    EXPECT_EQ(window->Control<QLabel>(kStatusLine)->text().toStdString(),
              window->Shell().Model().StatusLine());
    EXPECT_FALSE(window->Control<QPushButton>(kStopButton)->isEnabled());
    table->horizontalHeader()->sectionClicked(static_cast<int>(Column::Serial));
    EXPECT_EQ(Cell(0, Column::Serial), "A");
    table->horizontalHeader()->sectionClicked(
        static_cast<int>(Column::Serial)); // again: descending
    EXPECT_EQ(Cell(0, Column::Serial), "C");
    window->Control<QLineEdit>(kFilterEdit)->setText("100.2");
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(Cell(0, Column::Address), "198.51.100.20");
}

TEST_F(Fixture, SelectionButtonsTheCheckColumnAndTheCount) {
    auto* count = window->Control<QLabel>(kSelectionCount);
    window->Control<QPushButton>(kSelectAllButton)->click();
    EXPECT_EQ(count->text(), "已选择 3 / 3 台");
    EXPECT_EQ(table->item(1, 0)->checkState(), Qt::Checked);
    table->item(1, 0)->setCheckState(Qt::Unchecked); // by hand
    EXPECT_EQ(count->text(), "已选择 2 / 3 台");
    EXPECT_EQ(window->Shell().Model().CheckedCount(), 2u);
    window->Control<QPushButton>(kSelectNoneButton)->click();
    EXPECT_EQ(count->text(), "已选择 0 / 3 台");
    // Start without an image says so and starts nothing.
    window->Control<QPushButton>(kStartButton)->click();
    EXPECT_EQ(dialogs.notices.back(), "请先选择升级文件");
    // A chosen image fills the path and the version field.
    ASSERT_EQ(WriteFileAtomically((folder.path() + "/S1.5.bin").toStdString(), "abc"), "");
    window->Shell().ChooseImage((folder.path() + "/S1.5.bin").toStdString());
    EXPECT_EQ(window->Control<QLineEdit>(kVersionEdit)->text(), "S1.5");
    EXPECT_EQ(window->Control<QLineEdit>(kImagePath)->text(), folder.path() + "/S1.5.bin");
}

TEST_F(Fixture, ReportSavedAsJsonAndCsvWhereChosen) {
    dialogs.savePath = (folder.path() + "/out.json").toStdString();
    window->Control<QPushButton>(kSaveJsonButton)->click();
    EXPECT_EQ(ReadWholeFile(dialogs.savePath), report);
    dialogs.savePath = (folder.path() + "/out.csv").toStdString();
    window->Control<QPushButton>(kSaveCsvButton)->click();
    EXPECT_EQ(ReadWholeFile(dialogs.savePath), fleet::ReportCsv(*fleet::ReadReport(report)));
}
