#pragma once

// The width of a window's icon (WM_GETICON ICON_BIG or ICON_SMALL), 0 when none
// is set: the window tests check that each window's icons follow its resolution.

#include "gui/win32_support/windows_api.h"

inline int WindowIconWidth(HWND window, WPARAM which) {
    const auto icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, which, 0));
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info))
        return 0;
    BITMAP colour{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof colour, &colour);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return colour.bmWidth;
}
