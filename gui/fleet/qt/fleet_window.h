#pragma once

// The fleet window in Qt: it renders the controls described in
// gui/fleet/shell and what the shell tells it to show, and hands every
// event of the operator and the engine to the shell.

#include "gui/fleet/shell/fleet_window_ports.h"
#include "gui/fleet/shell/fleet_window_shell.h"

#include <QTimer>
#include <QWidget>

#include <map>
#include <memory>

class QTableWidget;

namespace fleetui::qt {

class FleetWindow : public QWidget, private fleetui::FleetView, private fleetui::FleetDialogs {
    Q_OBJECT

public:
    // `dialogs` answers the boxes and file dialogs; null: Qt's own.
    explicit FleetWindow(fleetui::FleetShellSeams seams, fleetui::FleetDialogs* dialogs = nullptr,
                         QWidget* parent = nullptr);
    ~FleetWindow() override;

    template <typename Widget> Widget* Control(fleetui::FleetControlId id) const {
        return static_cast<Widget*>(controls_.at(id));
    }
    fleetui::FleetWindowShell& Shell() { return *shell_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* MakeControl(const fleetui::FleetControl& control);
    void ConnectControls();

    // fleetui::FleetView
    void ShowRows(const std::vector<const fleetui::Row*>& rows) override;
    void ShowRow(int index, const fleetui::Row& row) override;
    void ShowSortColumn(fleetui::Column column, bool ascending) override;
    void ShowAdapters(const std::vector<std::string>& labels, int chosen) override;
    void SetText(fleetui::FleetControlId id, const std::string& text) override;
    void SetEnabled(fleetui::FleetControlId id, bool enabled) override;
    void SetOverallPercent(int percent) override;
    void StartRepaintTimer(std::chrono::milliseconds interval) override;
    void StopRepaintTimer() override;
    void CloseWindow() override;

    // fleetui::FleetDialogs, with Qt's boxes
    std::string OpenImagePath() override;
    std::string OpenExpectedListPath() override;
    std::string SaveReportPath(bool csv) override;
    bool Ask(const std::string& title, const std::string& question) override;
    void Notice(const std::string& text) override;
    void Error(const std::string& text) override;

    std::map<fleetui::FleetControlId, QWidget*> controls_;
    QTableWidget* table_ = nullptr;
    QTimer repaint_;
    std::unique_ptr<fleetui::FleetWindowShell> shell_; // last: it sees a whole window
};

} // namespace fleetui::qt
