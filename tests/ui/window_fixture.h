#pragma once

// Shared pieces of the window tests: fakes for everything modal, free loopback
// ports, and a window wired so that it never reaches the real interface.

#include "gui/upgrade/qt/frmmain.h"
#include "platform/udp_socket.h"

#include "fake_views.h"
#include "free_ports.h"

#include <QTest>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using upgradeui::qt::TFrmmain;

// A window on free loopback test ports whose own address is 127.0.0.1, so a
// sweep stays on loopback, with every modal seam faked.
struct TestWindow {
    FakeNotices notices;
    FakeFileDialog dialog;
    int lookups = 0;
    std::optional<std::string> localAddress = std::string("127.0.0.1");
    std::unique_ptr<TFrmmain> window;

    explicit TestWindow(core::ToolPorts ports = FreeTestPorts())
        : window(std::make_unique<TFrmmain>(Seams(ports))) {}

    upgradeui::WindowSeams Seams(core::ToolPorts ports) {
        upgradeui::WindowSeams seams;
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
