// The Qt fleet window renders and forwards, with no network: the controls as
// described (place, accessible name, Tab order), and the shared renderer
// scenario through Qt's widgets. What the shell does is its own test's.
#include "gui/fleet/qt/fleet_window.h"

#include "fake_fleet_window.h"
#include "fleet_last_report.h"
#include "fleet_renderer_scenario.h"
#include "gui/fleet/shell/fleet_report_files.h"

#include <QAbstractButton>
#include <QComboBox>
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
        seams.listAdapters = [] {
            return std::vector<platform::NetworkAdapter>{{"eth0", "198.51.100.1", 24},
                                                         {"eth1", "203.0.113.1", 24}};
        };
        window = std::make_unique<fleetui::qt::FleetWindow>(seams, &dialogs);
        table = window->Control<QTableWidget>(kSweepTable);
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

// The shared renderer scenario, through Qt's widgets.
class QtDriver : public support::FleetRendererDriver {
public:
    QtDriver(fleetui::qt::FleetWindow& window, QTableWidget& table)
        : window_(window), table_(table) {}
    int RowCount() override { return table_.rowCount(); }
    std::string Cell(int row, Column column) override {
        return table_.item(row, static_cast<int>(column))->text().toStdString();
    }
    std::string Text(FleetControlId control) override {
        QWidget* widget = window_.Control<QWidget>(control);
        if (auto* label = qobject_cast<QLabel*>(widget))
            return label->text().toStdString();
        if (auto* edit = qobject_cast<QLineEdit*>(widget))
            return edit->text().toStdString();
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            return combo->currentText().toStdString();
        return qobject_cast<QAbstractButton*>(widget)->text().toStdString();
    }
    bool Enabled(FleetControlId control) override {
        return window_.Control<QWidget>(control)->isEnabled();
    }
    void Click(FleetControlId button) override { window_.Control<QPushButton>(button)->click(); }
    void ClickHeader(Column column) override {
        table_.horizontalHeader()->sectionClicked(static_cast<int>(column));
    }
    void SetText(FleetControlId edit, const std::string& utf8) override {
        window_.Control<QLineEdit>(edit)->setText(QString::fromStdString(utf8));
    }
    bool Checked(int row) override { return table_.item(row, 0)->checkState() == Qt::Checked; }
    void SetChecked(int row, bool checked) override {
        table_.item(row, 0)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
    void ChooseAdapter(int index) override { // as the combo's popup does
        auto* combo = window_.Control<QComboBox>(fleetui::kAdapterChoice);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

private:
    fleetui::qt::FleetWindow& window_;
    QTableWidget& table_;
};

TEST_F(Fixture, SharedScenario_RowsSortFilterChecksImageAndSavedReport) {
    QtDriver driver(*window, *table);
    support::RunFleetRendererScenario(driver, window->Shell(), dialogs, folder.path().toStdString(),
                                      report);
}
