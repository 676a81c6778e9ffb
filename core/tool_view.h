#pragma once

// The ports between the Qt-free core and a window. A window (Qt, Win32)
// implements them; tests fake them once, in tests/support.
//
// The core holds the state: the device rows, the local address, the status
// line, the chosen file and its version text. A window only shows what these
// calls tell it and reports what the operator did. The only things read from
// a window are the operator's input: the selected row, the version field as
// typed, and the open-file dialog's answer.
//
// A window owns one UpgradeTool (core/upgrade_tool.h), built from WindowPorts,
// and forwards its events to the tool inside one error guard: FormShow,
// FormActivate (first activation), FormClose, btnsearchClick, btn1Click,
// btnUPGClick and, for every socket message 1106..1206, HandleSocketMessage.
//
// Texts are UTF-8 except where a comment says "raw bytes": those are the
// collectors' own bytes (GBK), which the window decodes for display.

#include "core/device_entry.h"
#include "core/socket_events.h"
#include "platform/sleeper.h"

#include <functional>
#include <optional>
#include <string>

namespace core {

// What the core tells the window to show. UI thread only; each call is one
// change to apply at once.
class ToolView {
public:
    virtual ~ToolView() = default;
    // lv1: the rows change only through these three calls, in this order of
    // rows; the window never sorts, so row indices are the core's.
    virtual void DevicesCleared() = 0;
    virtual void DeviceAdded(const DeviceEntry& device) = 0; // appended as the last row
    virtual void DeviceSerialChanged(int row, const std::string& serial) = 0; // raw bytes
    // lbl3: the host's own address.
    virtual void LocalAddressChanged(const std::string& address) = 0;
    // lbl6: the status line, as changed on the UI thread (the workers' changes
    // come through WorkerDisplay).
    virtual void StatusChanged(const std::string& text) = 0;
    // redt2 and edt1: a firmware file was accepted; its full path and the
    // version text taken from its name. The version field stays editable.
    virtual void ImageChosen(const std::string& path, const std::string& versionText) = 0;
};

// What the operator has entered, read on the UI thread when a handler needs it.
class OperatorInput {
public:
    virtual ~OperatorInput() = default;
    // The selected row of lv1 (an index into the rows the core added), if any.
    virtual std::optional<int> SelectedRow() const = 0;
    // edt1 as the operator left it.
    virtual std::string VersionText() const = 0;
};

// Modal boxes, UI thread. Each returns when the operator has dismissed it;
// the window goes on handling socket messages meanwhile.
class Notices {
public:
    virtual ~Notices() = default;
    // Caption "提示", exclamation icon, OK.
    virtual void Notice(const std::string& text) = 0;
    // The toolkit's plain message dialog: no icon, OK, the application title.
    virtual void PlainMessage(const std::string& text) = 0;
    // Error box: stop icon, OK, the application title. `text` is already final
    // (see ErrorBoxText in core/error_text.h).
    virtual void ErrorBox(const std::string& text) = 0;
};

// The open-file dialog dlgOpen1 ("程序文件|*.bin"). It remembers its file name
// between uses; the core sets it to the last accepted path before showing it.
class OpenFileDialog {
public:
    virtual ~OpenFileDialog() = default;
    virtual void SetFileName(const std::string& path) = 0;
    virtual std::string FileName() const = 0;
    // Shows the dialog; false when the operator cancels. A typed name need
    // not exist.
    virtual bool Execute() = 0;
};

// What the workers change on the window: ProgressBar1 and lbl6. Called from
// the worker threads; an implementation carries every call over to the UI
// thread, queued, in the order made (Qt: a queued invokeMethod; Win32:
// PostMessage).
class WorkerDisplay {
public:
    virtual ~WorkerDisplay() = default;
    virtual void SetProgressMaximum(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0; // clamped to 0..maximum
    virtual void AdvanceProgress() = 0;                 // position + 1, clamped
    virtual void SetStatusText(const std::string& text) = 0;
};

// Everything a window hands to its UpgradeTool. All must outlive the tool.
struct WindowPorts {
    ToolView& view;
    OperatorInput& input;
    Notices& notices;
    OpenFileDialog& fileDialog;
    WorkerDisplay& workerDisplay;
    SocketEvents& socketEvents;
    platform::Sleeper& sleeper; // every pause of a worker; RealSleeper in the program
    // The host's own IPv4 text (platform/local_address.h in the program; a
    // fixed 127.0.0.1 in window tests outside a namespace).
    std::function<std::optional<std::string>()> lookupLocalAddress;
};

} // namespace core
