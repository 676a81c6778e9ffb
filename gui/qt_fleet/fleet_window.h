#pragma once

// The fleet window in Qt: it renders the controls described in
// gui/fleet_common, shows the model's rows, and turns the operator's actions
// and the engine's queued events into calls on the model and the engine.

#include "gui/fleet_common/fleet_engine_thread.h"
#include "gui/fleet_common/fleet_window_description.h"
#include "gui/fleet_common/fleet_window_model.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

class QTableWidget;

namespace fleetqt {

// The dialogs, replaceable so that tests and automation answer them.
struct FleetDialogs {
    std::function<QString()> openImage;                   // "" = cancelled
    std::function<QString(const QString& filter)> saveAs; // "" = cancelled
    std::function<bool(const QString& title, const QString& text)> ask;
    std::function<void(const QString& text)> notice;
    std::function<void(const QString& text)> error;
};

class FleetWindow : public QWidget {
    Q_OBJECT

public:
    // `settingsFolder` holds the remembered adapter and the last report.
    explicit FleetWindow(QString settingsFolder, FleetDialogs dialogs = {},
                         QWidget* parent = nullptr);
    ~FleetWindow() override;

    template <typename Widget> Widget* Control(fleetwin::FleetControlId id) const {
        return static_cast<Widget*>(controls_.at(id));
    }
    const fleetwin::FleetWindowModel& Model() const { return model_; }
    // What the browse button does once the dialog has given a path.
    void ChooseImage(const QString& path);
    // The table's row of an address, or -1.
    int TableRowOf(const QString& address) const;
    QString LastReportPath() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* MakeControl(const fleetwin::FleetControl& control);
    void RefreshAdapters();
    void Search();
    void Browse();
    void Start();
    void Stop();
    void RetryFailed();
    void Save(bool csv);
    void DrainEngine();
    void Repaint();
    void RebuildTable();
    void UpdateRow(int row, const fleetwin::Row& data);
    void UpdateControls();
    void ReopenLastReport();
    void SaveAdapterChoice();
    fleet::AdapterOptions ChosenAdapter() const;

    QString settingsFolder_;
    FleetDialogs dialogs_;
    std::map<fleetwin::FleetControlId, QWidget*> controls_;
    QTableWidget* table_ = nullptr;
    fleetwin::FleetWindowModel model_;
    std::map<std::string, int> rowOf_; // address -> table row
    QString lastReportJson_;
    QTimer repaint_;
    bool filling_ = false; // the table is being filled: its signals are ours
    bool closeAfterRun_ = false;
    int sortColumn_ = static_cast<int>(fleetwin::Column::Address);
    bool ascending_ = true;
    std::unique_ptr<fleetwin::EngineThread> engine_; // last: its thread sees a whole window
};

} // namespace fleetqt
