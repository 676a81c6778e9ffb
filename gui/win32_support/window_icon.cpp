#include "gui/win32_support/window_icon.h"

#include "gui/win32_support/window_dpi.h"

namespace win32_support {

namespace {

constexpr int kIconResource = 1;

// Sets one of the window's icons and destroys the one it replaces, which
// SetProgramIcons loaded (the class's icons are not returned).
void ReplaceIcon(HWND window, WPARAM which, HICON icon) {
    const auto old = reinterpret_cast<HICON>(
        SendMessageW(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon)));
    if (old != nullptr && old != icon)
        DestroyIcon(old);
}

} // namespace

HICON LoadProgramIcon(int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource),
                                         IMAGE_ICON, size, size, 0));
}

void SetProgramIcons(HWND window, UINT dpi) {
    ReplaceIcon(window, ICON_BIG, LoadProgramIcon(SystemMetricForDpi(SM_CXICON, dpi)));
    ReplaceIcon(window, ICON_SMALL, LoadProgramIcon(SystemMetricForDpi(SM_CXSMICON, dpi)));
}

void DestroyProgramIcons(HWND window) {
    ReplaceIcon(window, ICON_BIG, nullptr);
    ReplaceIcon(window, ICON_SMALL, nullptr);
}

} // namespace win32_support
