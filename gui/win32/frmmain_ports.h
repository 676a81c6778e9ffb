#pragma once

// The Win32 window's side of the core's ports: the device list over the list
// view lv1, the labels and fields, and the workers' progress display. Each
// adapter only translates between the core's strings and the controls.

#include "core/ui_ports.h"

#include <deque>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "gui/win32/windows_api.h"

// Rows of lv1. Serial and version arrive as the collectors' GBK bytes: the
// cells show them decoded, and the bytes themselves are kept beside the list
// so that Row() gives back exactly what was stored.
class ListViewDeviceList : public DeviceList {
public:
    explicit ListViewDeviceList(HWND listView) : listView_(listView) {}

    void Clear() override;
    int RowCount() const override;
    DeviceEntry Row(int index) const override;
    void SetRowSerial(int index, const std::string& serialGbk) override;
    void AppendRow(const DeviceEntry& entry) override;
    std::optional<int> SelectedRow() const override;

private:
    HWND listView_;
    std::vector<DeviceEntry> rows_;
};

// lbl3, lbl6, redt2 and edt1. Texts are UTF-8 on the core's side.
class ControlFormFields : public FormFields {
public:
    ControlFormFields(HWND localAddress, HWND status, HWND imagePath, HWND version)
        : localAddress_(localAddress), status_(status), imagePath_(imagePath), version_(version) {}

    std::string LocalAddressText() const override;
    void SetLocalAddressText(const std::string& text) override; // lbl3 is sized to its text
    std::string StatusText() const override;
    void SetStatusText(const std::string& text) override;
    std::string ImagePath() const override;
    void SetImagePath(const std::string& path) override;
    std::string VersionText() const override;
    void SetVersionText(const std::string& text) override;

private:
    HWND localAddress_;
    HWND status_;
    HWND imagePath_;
    HWND version_;
};

// Called from the worker threads. Each call is queued here and announced to
// the window with one posted kWorkerUpdateMessage; the window applies one
// queued change per message (ApplyNext), on the UI thread, in the order made.
// No control is touched from a worker's thread.
class PostedWorkerDisplay : public WorkerDisplay {
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
    // UI thread only: what the bar shows.
    int maximum_ = 0;
    int position_ = 0;
};
