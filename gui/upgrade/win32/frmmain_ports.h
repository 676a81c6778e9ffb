#pragma once

// The Win32 window's side of the core's ports: the view over the list view
// lv1, the labels and fields, and the workers' progress display. Each adapter
// only translates between the core's strings and the controls.

#include "core/tool_view.h"
#include "gui/upgrade/shell/progress_model.h"

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

#include "gui/win32_support/windows_api.h"

namespace upgradeui::win32 {

// lv1, lbl3, lbl6, redt2 and edt1 as the core's view: each call changes the
// controls at once. Serial and version arrive as the collectors' raw bytes
// and are decoded for display here; nothing is read back from a control
// except the operator's input (the selected row and the version field).
class ControlToolView : public core::ToolView, public core::OperatorInput {
public:
    ControlToolView(HWND devices, HWND localAddress, HWND status, HWND imagePath, HWND version)
        : devices_(devices), localAddress_(localAddress), status_(status), imagePath_(imagePath),
          version_(version) {}

    void DevicesCleared() override;
    void DeviceAdded(const core::DeviceEntry& device) override;
    void DeviceSerialChanged(int row, const std::string& serial) override;
    void LocalAddressChanged(const std::string& address) override; // lbl3 is sized to its text
    void StatusChanged(const std::string& text) override;
    void ImageChosen(const std::string& path, const std::string& versionText) override;

    std::optional<int> SelectedRow() const override;
    std::string VersionText() const override;

    // lbl3 at the width of its text in its font, at its height.
    void SizeLocalAddressToText();

private:
    HWND devices_;
    HWND localAddress_;
    HWND status_;
    HWND imagePath_;
    HWND version_;
};

// Called from the worker threads. Each call is queued here and announced to
// the window with one posted kWorkerUpdateMessage; the window applies one
// queued change per message (ApplyNext), on the UI thread, in the order made.
// No control is touched from a worker's thread.
class PostedWorkerDisplay : public core::WorkerDisplay {
public:
    PostedWorkerDisplay(HWND window, HWND progress, HWND status)
        : window_(window), progress_(progress), status_(status) {}

    void SetProgressMaximum(int maximum) override;
    void SetProgressPosition(int position) override;
    void AdvanceProgress() override;
    void SetStatusText(const std::string& text) override;

    // UI thread: applies the oldest queued change, if any.
    void ApplyNext();

private:
    struct Maximum {
        int value;
    };
    struct Position {
        int value;
    };
    struct Advance {};
    struct Status {
        std::string text;
    };
    using Change = std::variant<Maximum, Position, Advance, Status>;

    void Queue(Change change);
    void ShowPosition(int position);

    HWND window_;
    HWND progress_;
    HWND status_;
    std::mutex mutex_;
    std::deque<Change> queue_;
    upgradeui::ProgressModel model_; // UI thread only: what the bar shows
};

} // namespace upgradeui::win32
