#pragma once

// In-memory stand-ins for the window's side of the core (core/tool_view.h):
// the view, the modal boxes, the open-file dialog, the worker display and the
// socket watcher. Each records what the core did to it so a test can assert
// on it. Unit, ui, integration, e2e and fuzz code all use these.

#include "core/channels.h"
#include "core/tool_view.h"
#include "core/upgrade_tool.h"
#include "pubpro/uPubpro.h"

#include "recording_display.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The window as the core sees it: what the core told it to show (the rows,
// lbl3, lbl6, redt2, edt1) and what the operator entered (the selection and
// the version field, which the test may change like an operator).
class FakeView : public core::ToolView, public core::OperatorInput {
public:
    void DevicesCleared() override {
        rows.clear();
        selected.reset();
        ++rowChanges;
    }
    void DeviceAdded(const core::DeviceEntry& device) override {
        rows.push_back(device);
        ++rowChanges;
    }
    void DeviceSerialChanged(int row, const std::string& serial) override {
        rows.at(static_cast<std::size_t>(row)).serial = serial;
        ++rowChanges;
    }
    void LocalAddressChanged(const std::string& address) override { lbl3 = address; }
    void StatusChanged(const std::string& text) override { lbl6 = text; }
    void ImageChosen(const std::string& path, const std::string& versionText) override {
        redt2 = path;
        edt1 = versionText;
    }
    std::optional<int> SelectedRow() const override { return selected; }
    std::string VersionText() const override { return edt1; }

    std::vector<core::DeviceEntry> rows;
    unsigned long rowChanges = 0;
    std::optional<int> selected;
    std::string lbl3 = "lbl3"; // the label's text until the window is shown
    std::string lbl6;
    std::string redt2;
    std::string edt1;
};

enum class NoticeKind { Notice, Plain, Error };

// Records every box; each may run `whileOpen`, as a box's nested event loop
// lets the receive path run again while it is open.
class FakeNotices : public core::Notices {
public:
    void Notice(const std::string& text) override { Show(NoticeKind::Notice, text); }
    void PlainMessage(const std::string& text) override { Show(NoticeKind::Plain, text); }
    void ErrorBox(const std::string& text) override { Show(NoticeKind::Error, text); }

    std::vector<std::string> NoticeTexts() const { return Texts(NoticeKind::Notice); }
    std::vector<std::string> PlainTexts() const { return Texts(NoticeKind::Plain); }
    std::vector<std::string> ErrorBoxTexts() const { return Texts(NoticeKind::Error); }
    bool Saw(const std::string& text) const {
        for (const auto& box : shown)
            if (box.second == text)
                return true;
        return false;
    }

    std::vector<std::pair<NoticeKind, std::string>> shown;
    std::function<void()> whileOpen;

private:
    std::vector<std::string> Texts(NoticeKind kind) const {
        std::vector<std::string> texts;
        for (const auto& [k, text] : shown)
            if (k == kind)
                texts.push_back(text);
        return texts;
    }
    void Show(NoticeKind kind, const std::string& text) {
        shown.emplace_back(kind, text);
        if (whileOpen)
            whileOpen();
    }
};

// Each Execute() takes the next scripted answer: a path is what the operator
// chose (it becomes the dialog's file name), nullopt is a cancel. With the
// script used up the dialog is cancelled. `onExecute`, when set, answers
// instead of the script.
class FakeFileDialog : public core::OpenFileDialog {
public:
    void SetFileName(const std::string& path) override { fileName = path; }
    std::string FileName() const override { return fileName; }
    bool Execute() override {
        namesShown.push_back(fileName);
        if (onExecute)
            return onExecute(*this);
        if (script.empty())
            return false;
        const auto answer = script.front();
        script.pop_front();
        if (!answer)
            return false;
        fileName = *answer;
        return true;
    }

    std::string fileName;
    std::deque<std::optional<std::string>> script;
    std::vector<std::string> namesShown; // the file name each Execute() opened on
    std::function<bool(FakeFileDialog&)> onExecute;
};

// Watches nothing; counts the calls so a test can see how often channels opened.
class NoSocketEvents : public core::SocketEvents {
public:
    void Watch(platform::UdpSocket::Handle) override { ++watched; }
    void Unwatch(platform::UdpSocket::Handle) override {}
    int watched = 0;
};

// Every fake a tool needs, as one window stand-in.
struct FakeWindow {
    core::WindowPorts Ports(platform::Sleeper& sleeper,
                            std::function<std::optional<std::string>()> lookup = nullptr) {
        return {view, view, notices, dialog, display, events, sleeper, std::move(lookup)};
    }

    FakeView view;
    FakeNotices notices;
    FakeFileDialog dialog;
    RecordingDisplay display;
    NoSocketEvents events;
};

// Lists `devices` in the tool the way a sweep and its replies do: the table
// is emptied (a sweep over a channel that is not open sends nothing), each
// device answers from its address, and the mode is put back.
inline void ListDevices(core::UpgradeTool& tool, const std::vector<core::DeviceEntry>& devices) {
    const core::Mode before = tool.Mode().Get();
    core::UdpChannel closed;
    tool.DeviceDiscovery().Sweep(closed);
    for (const auto& device : devices)
        tool.DeviceDiscovery().HandleSearchReply(
            pubpro::kEsc + device.serial + "#" + device.version + pubpro::kEnq, device.ip);
    tool.Mode().Set(before);
}
