#pragma once

// The small interfaces through which the Qt-free core reaches the window. The
// window implements them with its controls; tests fake them. Texts are UTF-8
// unless a comment says GBK (the collectors' bytes).

#include <optional>
#include <string>

// One row of the device list. Serial and version are the collector's GBK bytes.
struct DeviceEntry {
    std::string serial;
    std::string ip;
    std::string version;
};

// The device list lv1.
class DeviceList {
public:
    virtual ~DeviceList() = default;
    virtual void Clear() = 0;
    virtual int RowCount() const = 0;
    virtual DeviceEntry Row(int index) const = 0;
    virtual void SetRowSerial(int index, const std::string& serialGbk) = 0;
    virtual void AppendRow(const DeviceEntry& entry) = 0;
    // Index of the selected row, if any.
    virtual std::optional<int> SelectedRow() const = 0;
};

// The labels and fields the handlers read and write, on the UI thread.
class FormFields {
public:
    virtual ~FormFields() = default;
    virtual std::string LocalAddressText() const = 0; // lbl3
    virtual void SetLocalAddressText(const std::string& text) = 0;
    virtual std::string StatusText() const = 0; // lbl6
    virtual void SetStatusText(const std::string& text) = 0;
    virtual std::string ImagePath() const = 0; // redt2
    virtual void SetImagePath(const std::string& path) = 0;
    virtual std::string VersionText() const = 0; // edt1
    virtual void SetVersionText(const std::string& text) = 0;
};

// Modal boxes. Each returns when the operator has dismissed it.
class Notices {
public:
    virtual ~Notices() = default;
    // Caption "提示", exclamation icon, OK.
    virtual void Notice(const std::string& text) = 0;
    // The toolkit's plain message dialog: no icon, OK, the application title.
    virtual void PlainMessage(const std::string& text) = 0;
    // Error box: stop icon, OK, the application title. `text` is already final.
    virtual void ErrorBox(const std::string& text) = 0;
};

// The open-file dialog dlgOpen1. It remembers its file name between uses.
class OpenFileDialog {
public:
    virtual ~OpenFileDialog() = default;
    virtual void SetFileName(const std::string& path) = 0;
    virtual std::string FileName() const = 0;
    // Shows the dialog; false when the operator cancels.
    virtual bool Execute() = 0;
};

// What the workers change on the window. Implementations carry every call over
// to the UI thread, queued, in the order made.
class WorkerDisplay {
public:
    virtual ~WorkerDisplay() = default;
    virtual void SetProgressMaximum(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0; // clamped to 0..maximum
    virtual void AdvanceProgress() = 0;                 // position + 1, clamped
    virtual void SetStatusText(const std::string& text) = 0;
};
