// The Qt fleet window against its description and its model, with no
// network: the controls as described (place, accessible name, Tab order),
// the last report shown at start, sort and filter through the header and the
// filter box, the selection buttons and count, the name rule, saving.
#include "gui/qt_fleet/fleet_window.h"

#include "fleet_last_report.h"
#include "gui/fleet_common/fleet_report_files.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace fleetwin;
using fleetqt::FleetDialogs;
using fleetqt::FleetWindow;

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
        FleetDialogs dialogs;
        dialogs.notice = [this](const QString& text) { notices << text; };
        dialogs.error = [this](const QString& text) { notices << text; };
        dialogs.saveAs = [this](const QString&) { return saveTo; };
        dialogs.ask = [this](const QString&, const QString& text) {
            notices << text;
            return false;
        };
        window = std::make_unique<FleetWindow>(folder.path(), dialogs);
        table = window->Control<QTableWidget>(kSweepTable);
    }
    QString Cell(int row, Column column) const {
        return table->item(row, static_cast<int>(column))->text();
    }
    QTemporaryDir folder;
    std::string report;
    std::unique_ptr<FleetWindow> window;
    QTableWidget* table = nullptr;
    QStringList notices;
    QString saveTo;
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
    EXPECT_EQ(window->Control<QLabel>(kStatusLine)->text(), "上次的报告：3 台采集器");
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
    EXPECT_EQ(window->Model().CheckedCount(), 2u);
    window->Control<QPushButton>(kSelectNoneButton)->click();
    EXPECT_EQ(count->text(), "已选择 0 / 3 台");
    // Start without an image says so and starts nothing.
    window->Control<QPushButton>(kStartButton)->click();
    EXPECT_EQ(notices.back(), "请先选择升级文件");
    EXPECT_EQ(window->Model().CurrentPhase(), Phase::Idle);
}

TEST_F(Fixture, ImageNameRuleAndUnreadableFileKeepThePreviousImage) {
    window->ChooseImage(folder.path() + "/s1.bin");
    EXPECT_EQ(notices.back(), "版本号必须以S开头");
    window->ChooseImage(folder.path() + "/S9.bin"); // does not exist
    EXPECT_TRUE(notices.back().startsWith("Cannot open file \"" + folder.path() + "/S9.bin\". "));
    EXPECT_EQ(window->Model().Image(), nullptr);
    EXPECT_TRUE(window->Control<QLineEdit>(kImagePath)->text().isEmpty());
    ASSERT_EQ(WriteFileAtomically((folder.path() + "/S1.5.bin").toStdString(), "abc"), "");
    window->ChooseImage(folder.path() + "/S1.5.bin");
    EXPECT_EQ(window->Control<QLineEdit>(kVersionEdit)->text(), "S1.5");
    ASSERT_NE(window->Model().Image(), nullptr);
    EXPECT_EQ(window->Model().Image()->sizeBytes, 3u);
}

TEST_F(Fixture, ReportSavedAsJsonAndCsvWhereChosen) {
    saveTo = folder.path() + "/out.json";
    window->Control<QPushButton>(kSaveJsonButton)->click();
    EXPECT_EQ(ReadWholeFile(saveTo.toStdString()), report);
    saveTo = folder.path() + "/out.csv";
    window->Control<QPushButton>(kSaveCsvButton)->click();
    EXPECT_EQ(ReadWholeFile(saveTo.toStdString()), ReportCsv(report));
    saveTo.clear(); // cancelled: nothing written, nothing said
    const auto before = notices.size();
    window->Control<QPushButton>(kSaveCsvButton)->click();
    EXPECT_EQ(notices.size(), before);
}
