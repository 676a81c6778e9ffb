#pragma once

// Shared pieces of the Win32 window tests under wine: a window on free
// loopback ports whose own address is 127.0.0.1 (so a sweep stays on
// loopback) with every modal seam faked, a bounded message pump, and readers
// of controls through their own messages.

#include "gui/upgrade/win32/frmmain.h"
#include "platform/udp_socket.h"

#include "fake_views.h"
#include "free_ports.h"

#include <commctrl.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

// The tests name the window's classes, control ids and messages as it does.
using namespace upgradeui::win32;

// The tests' own sockets need Winsock started for the whole run, whatever the
// windows under test start and release.
inline const bool kSocketLibraryStarted = platform::StartSocketLibrary();

// Dispatches this thread's messages until `done` holds or `timeoutMs` passes.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// Dispatches whatever is queued now, for about `milliseconds`.
inline void PumpFor(int milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

struct TestWindow {
    FakeNotices notices;
    FakeFileDialog dialog;
    std::optional<std::string> localAddress = std::string("127.0.0.1");
    core::ToolPorts ports;
    std::unique_ptr<TFrmmain> window;

    explicit TestWindow(core::ToolPorts testPorts = FreeTestPorts()) : ports(testPorts) {
        WindowSeams seams;
        seams.ports = ports;
        seams.notices = &notices;
        seams.fileDialog = &dialog;
        seams.lookupLocalAddress = [this] { return localAddress; };
        window = std::make_unique<TFrmmain>(std::move(seams));
    }

    TFrmmain* operator->() { return window.get(); }
    HWND Handle() const { return window->Handle(); }
    HWND Control(ControlId id) const { return window->Control(id); }

    // Shows the window and waits (bounded) until start-up has run.
    bool ShowAndStart() {
        window->Show(SW_SHOWNORMAL);
        return PumpUntil([this] { return window->Tool().WorkersRunning(); }, 10000);
    }

    // Presses a button as the operator would and lets its handler run.
    void Click(ControlId id) {
        SendMessageW(Control(id), BM_CLICK, 0, 0);
        PumpFor(20);
    }
};

// A control's rectangle in its parent's client area: {left, top, width, height}.
struct Placement {
    int left, top, width, height;
    bool operator==(const Placement&) const = default;
};

inline Placement PlacementInParent(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

inline std::ostream& operator<<(std::ostream& out, const Placement& p) {
    return out << "{" << p.left << ", " << p.top << ", " << p.width << ", " << p.height << "}";
}

inline std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

inline std::wstring ListCell(HWND listView, int row, int column) {
    wchar_t buffer[256] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 256;
    SendMessageW(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    return buffer;
}

inline int ListRowCount(HWND listView) {
    return static_cast<int>(SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0));
}

inline void SelectListRow(HWND listView, int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}
