#pragma once

// Shared pieces of the window tests: fakes for everything modal, free loopback
// ports, and a window wired so that it never reaches the real interface.

#include "gui/qt/frmmain.h"
#include "platform/udp_socket.h"

#include <QTest>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class RecordingNotices : public Notices {
public:
    void Notice(const std::string& text) override { notices.push_back(text); }
    void PlainMessage(const std::string& text) override { plainMessages.push_back(text); }
    void ErrorBox(const std::string& text) override { errorBoxes.push_back(text); }

    std::vector<std::string> notices;
    std::vector<std::string> plainMessages;
    std::vector<std::string> errorBoxes;
};

// The file dialog's answer is scripted per test; it never shows anything.
class ScriptedFileDialog : public OpenFileDialog {
public:
    void SetFileName(const std::string& path) override { fileName = path; }
    std::string FileName() const override { return fileName; }
    bool Execute() override {
        ++shown;
        return onExecute ? onExecute(*this) : false;
    }

    std::string fileName;
    int shown = 0;
    std::function<bool(ScriptedFileDialog&)> onExecute;
};

// A UDP port that was free on this host a moment ago.
inline std::uint16_t FreeUdpPort() {
    UdpSocket probe;
    if (!probe.Create() || !probe.Bind(0))
        return 0;
    return probe.LocalPort();
}

inline ToolPorts FreeTestPorts() {
    return ToolPorts{FreeUdpPort(), FreeUdpPort(), FreeUdpPort(), FreeUdpPort()};
}

// A window on free loopback test ports whose own address is 127.0.0.1, so a
// sweep stays on loopback, with every modal seam faked.
struct TestWindow {
    RecordingNotices notices;
    ScriptedFileDialog dialog;
    int lookups = 0;
    std::optional<std::string> localAddress = std::string("127.0.0.1");
    std::unique_ptr<TFrmmain> window;

    explicit TestWindow(ToolPorts ports = FreeTestPorts())
        : window(std::make_unique<TFrmmain>(Seams(ports))) {}

    WindowSeams Seams(ToolPorts ports) {
        WindowSeams seams;
        seams.ports = ports;
        seams.notices = &notices;
        seams.fileDialog = &dialog;
        seams.lookupLocalAddress = [this] {
            ++lookups;
            return localAddress;
        };
        return seams;
    }

    TFrmmain& operator*() { return *window; }
    TFrmmain* operator->() { return window.get(); }

    // Shows the window and waits (bounded) until start-up has run.
    bool ShowAndStart() {
        window->show();
        return QTest::qWaitFor([this] { return window->Tool().WorkersRunning(); }, 2000);
    }

    template <typename Widget = QWidget> Widget* Control(const char* name) {
        return window->findChild<Widget*>(QString::fromLatin1(name));
    }
};
