#pragma once

// The fleet window in Qt: it renders the controls described in
// gui/fleet_common and what the shell tells it to show, and hands every
// event of the operator and the engine to the shell.

#include "gui/fleet_common/fleet_window_ports.h"
#include "gui/fleet_common/fleet_window_shell.h"

#include <QTimer>
#include <QWidget>

#include <map>
#include <memory>

class QTableWidget;

namespace fleetqt {

class FleetWindow : public QWidget, private fleetwin::FleetView, private fleetwin::FleetDialogs {
    Q_OBJECT

public:
    // `dialogs` answers the boxes and file dialogs; null: Qt's own.
    explicit FleetWindow(fleetwin::FleetShellSeams seams,
                         fleetwin::FleetDialogs* dialogs = nullptr, QWidget* parent = nullptr);
    ~FleetWindow() override;

    template <typename Widget> Widget* Control(fleetwin::FleetControlId id) const {
        return static_cast<Widget*>(controls_.at(id));
    }
    fleetwin::FleetWindowShell& Shell() { return *shell_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* MakeControl(const fleetwin::FleetControl& control);
    void ConnectControls();

    // fleetwin::FleetView
    void ShowRows(const std::vector<const fleetwin::Row*>& rows) override;
    void ShowRow(int index, const fleetwin::Row& row) override;
    void ShowSortColumn(fleetwin::Column column, bool ascending) override;
    void ShowAdapters(const std::vector<std::string>& labels, int chosen) override;
    void SetText(fleetwin::FleetControlId id, const std::string& text) override;
    void SetEnabled(fleetwin::FleetControlId id, bool enabled) override;
    void SetOverallPercent(int percent) override;
    void StartRepaintTimer(std::chrono::milliseconds interval) override;
    void StopRepaintTimer() override;
    void CloseWindow() override;

    // fleetwin::FleetDialogs, with Qt's boxes
    std::string OpenImagePath() override;
    std::string OpenExpectedListPath() override;
    std::string SaveReportPath(bool csv) override;
    bool Ask(const std::string& title, const std::string& question) override;
    void Notice(const std::string& text) override;
    void Error(const std::string& text) override;

    std::map<fleetwin::FleetControlId, QWidget*> controls_;
    QTableWidget* table_ = nullptr;
    QTimer repaint_;
    std::unique_ptr<fleetwin::FleetWindowShell> shell_; // last: it sees a whole window
};

} // namespace fleetqt
