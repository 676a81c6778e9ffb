#include "gui/win32_support/message_window.h"

#include "gui/win32_support/window_dpi.h"
#include "gui/win32_support/window_icon.h"

#include <stdexcept>

namespace win32_support {

MessageWindow::~MessageWindow() {
    if (window_ == nullptr)
        return;
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

void MessageWindow::Register(const wchar_t* name) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = name;
    windowClass.hIcon = LoadProgramIcon(GetSystemMetrics(SM_CXICON));
    windowClass.hIconSm = LoadProgramIcon(GetSystemMetrics(SM_CXSMICON));
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("cannot register a window class");
}

void MessageWindow::Create(DWORD extendedStyle, const wchar_t* className,
                           const std::wstring& caption, DWORD style, int width, int height) {
    if (CreateWindowExW(extendedStyle, className, caption.c_str(), style, CW_USEDEFAULT,
                        CW_USEDEFAULT, width, height, nullptr, nullptr, GetModuleHandleW(nullptr),
                        this) == nullptr)
        throw std::runtime_error("cannot create a window");
    SetProgramIcons(window_, WindowDpi(window_));
}

LRESULT CALLBACK MessageWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<MessageWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    // Icons for the new resolution; the window's own handling lays it out.
    if (message == WM_DPICHANGED)
        SetProgramIcons(window, HIWORD(wParam));
    const LRESULT result = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        DestroyProgramIcons(window);
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
    }
    return result;
}

int RunMessageLoop(const MessageWindow& window) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Dialog keys: Tab and Shift+Tab move along the tab order.
        if (!window.Destroyed() && IsDialogMessageW(window.Handle(), &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

} // namespace win32_support
