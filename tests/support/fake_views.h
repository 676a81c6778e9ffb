#pragma once

// In-memory stand-ins for the window's side of the core: the device list, the
// labels and fields, the modal boxes, the open-file dialog and the socket
// watcher. Each records what the core did to it so a test can assert on it.

#include "core/channels.h"
#include "core/ui_ports.h"
#include "core/upgrade_tool.h"

#include "recording_display.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class FakeDeviceList : public DeviceList {
public:
    void Clear() override {
        rows.clear();
        selected.reset();
    }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    DeviceEntry Row(int index) const override { return rows.at(static_cast<std::size_t>(index)); }
    void SetRowSerial(int index, const std::string& serialGbk) override {
        rows.at(static_cast<std::size_t>(index)).serial = serialGbk;
    }
    void AppendRow(const DeviceEntry& entry) override { rows.push_back(entry); }
    std::optional<int> SelectedRow() const override { return selected; }

    std::vector<DeviceEntry> rows;
    std::optional<int> selected;
};

inline bool operator==(const DeviceEntry& a, const DeviceEntry& b) {
    return a.serial == b.serial && a.ip == b.ip && a.version == b.version;
}

class FakeFields : public FormFields {
public:
    std::string LocalAddressText() const override { return lbl3; }
    void SetLocalAddressText(const std::string& text) override { lbl3 = text; }
    std::string StatusText() const override { return lbl6; }
    void SetStatusText(const std::string& text) override { lbl6 = text; }
    std::string ImagePath() const override { return redt2; }
    void SetImagePath(const std::string& path) override { redt2 = path; }
    std::string VersionText() const override { return edt1; }
    void SetVersionText(const std::string& text) override { edt1 = text; }

    std::string lbl3 = "lbl3"; // the label's text until the window is shown
    std::string lbl6;
    std::string redt2;
    std::string edt1;
};

enum class NoticeKind { Notice, Plain, Error };

class FakeNotices : public Notices {
public:
    void Notice(const std::string& text) override { shown.emplace_back(NoticeKind::Notice, text); }
    void PlainMessage(const std::string& text) override {
        shown.emplace_back(NoticeKind::Plain, text);
    }
    void ErrorBox(const std::string& text) override { shown.emplace_back(NoticeKind::Error, text); }

    std::vector<std::pair<NoticeKind, std::string>> shown;
};

// Each Execute() takes the next scripted answer: a path is what the operator
// chose (it becomes the dialog's file name), nullopt is a cancel. With the
// script used up the dialog is cancelled.
class FakeFileDialog : public OpenFileDialog {
public:
    void SetFileName(const std::string& path) override { fileName = path; }
    std::string FileName() const override { return fileName; }
    bool Execute() override {
        namesShown.push_back(fileName);
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
};

// Watches nothing; counts the calls so a test can see how often channels opened.
class NoSocketEvents : public SocketEvents {
public:
    void Watch(UdpSocket::Handle) override { ++watched; }
    void Unwatch(UdpSocket::Handle) override {}
    int watched = 0;
};

// Every fake a tool needs, as one window stand-in.
struct FakeWindow {
    ToolPortsAndViews Views(Sleeper& sleeper,
                            std::function<std::optional<std::string>()> lookup = nullptr) {
        return {list, fields, notices, dialog, display, events, sleeper, std::move(lookup)};
    }

    FakeDeviceList list;
    FakeFields fields;
    FakeNotices notices;
    FakeFileDialog dialog;
    RecordingDisplay display;
    NoSocketEvents events;
};
