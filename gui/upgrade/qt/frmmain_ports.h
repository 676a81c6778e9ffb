#pragma once

// The window's side of the core's ports: the view over the list, labels and
// fields, and the workers' progress display. Each adapter only translates
// between the core's strings and the widgets; none of them owns a widget.

#include "core/tool_view.h"
#include "gui/upgrade/shell/progress_model.h"

#include <QPointer>

class QLabel;
class QLineEdit;
class QObject;
class QProgressBar;
class QTextEdit;
class QTreeWidget;

namespace upgradeui::qt {

// lv1, lbl3, lbl6, redt2 and edt1 as the core's view: each call changes the
// widgets at once. Serial and version arrive as the collectors' raw bytes and
// are decoded for display here; nothing is read back from a widget except the
// operator's input (the selected row and the version field as typed).
class WidgetToolView : public core::ToolView, public core::OperatorInput {
public:
    WidgetToolView(QTreeWidget& devices, QLabel& localAddress, QLabel& status, QTextEdit& imagePath,
                   QLineEdit& version)
        : devices_(devices), localAddress_(localAddress), status_(status), imagePath_(imagePath),
          version_(version) {}

    void DevicesCleared() override;
    void DeviceAdded(const core::DeviceEntry& device) override;
    void DeviceSerialChanged(int row, const std::string& serial) override;
    void LocalAddressChanged(const std::string& address) override;
    void StatusChanged(const std::string& text) override;
    void ImageChosen(const std::string& path, const std::string& versionText) override;

    std::optional<int> SelectedRow() const override;
    std::string VersionText() const override;

private:
    QTreeWidget& devices_;
    QLabel& localAddress_;
    QLabel& status_;
    QTextEdit& imagePath_;
    QLineEdit& version_;
};

// Called from the worker threads. Every call becomes one queued call on
// `receiver`'s thread, so the changes land on the UI thread in the order made.
// Calls still queued when the receiver is destroyed are dropped by Qt, which is
// why the receiver must be an object that lives at least as long as the workers.
class QueuedWorkerDisplay : public core::WorkerDisplay {
public:
    QueuedWorkerDisplay(QObject& receiver, QProgressBar& progress, QLabel& status);

    void SetProgressMaximum(int maximum) override;
    void SetProgressPosition(int position) override;
    void AdvanceProgress() override;
    void SetStatusText(const std::string& text) override;

private:
    // UI thread only: shows the model's position.
    void Show(int position);

    QObject& receiver_;
    QPointer<QProgressBar> progress_;
    QPointer<QLabel> status_;
    upgradeui::ProgressModel model_; // UI thread only
};

} // namespace upgradeui::qt
