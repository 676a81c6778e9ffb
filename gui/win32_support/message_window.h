#pragma once

// A top-level window whose messages reach a member function, and the message
// loop that runs it. A class derives from MessageWindow, registers its window
// class with MessageWindow::Register and creates its window with Create; from
// WM_NCCREATE on, every message goes to its HandleMessage, and once the window
// is gone (WM_NCDESTROY) Handle() is null. The window's large and small icons
// follow its resolution (window_icon.h), also when it changes (WM_DPICHANGED).

#include "gui/win32_support/windows_api.h"

#include <string>

namespace win32_support {

class MessageWindow {
public:
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND Handle() const { return window_; }
    bool Destroyed() const { return window_ == nullptr; }

protected:
    MessageWindow() = default;
    // A window still there is cut loose and destroyed, its last messages going
    // to the system's handling: a derived class destroys its own window first.
    virtual ~MessageWindow();

    // The class `name` with this procedure, the program's icon (resource 1) in
    // both sizes, the arrow cursor and the button face. A class already
    // registered (a second window of the process) is fine. Throws
    // std::runtime_error when Windows refuses.
    static void Register(const wchar_t* name);
    // Creates the window of a registered class, its messages going to this
    // object, with its icons at its resolution. Throws std::runtime_error when Windows refuses.
    void Create(DWORD extendedStyle, const wchar_t* className, const std::wstring& caption,
                DWORD style, int width, int height);

    // Every message of the window; what it does not handle goes to
    // DefWindowProcW. After WM_NCDESTROY has been handled here, the window is gone.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    HWND window_ = nullptr;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// The program's message loop for `window`, with the dialog keys (Tab and
// Shift+Tab move along the tab order). Returns the quit message's code once
// the window has posted it.
int RunMessageLoop(const MessageWindow& window);

} // namespace win32_support
