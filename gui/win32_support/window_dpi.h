#pragma once

// The window's resolution, a 96-dpi figure at it, and the frame around a
// client area at it. The per-monitor functions of Windows 10 are used where
// present, the system's resolution elsewhere, so the programs still start on
// older systems.

#include "gui/win32_support/windows_api.h"

namespace win32_support {

inline constexpr UINT kDesignDpi = 96; // 100 % scaling

// Dots per inch of the monitor the window is on (96 at 100 % scaling).
UINT WindowDpi(HWND window);

// `value` (pixels at 96 dpi) at `dpi`, rounded toward zero, so that at 144 dpi
// 607 becomes 910.
int ScaleToDpi(int value, UINT dpi);

// A size of the system's (GetSystemMetrics: SM_CXICON, ...) at `dpi`.
int SystemMetricForDpi(int metric, UINT dpi);

// The outer size of a window whose client area is `width` x `height` at `dpi`.
SIZE OuterSizeForClient(int width, int height, DWORD style, DWORD extendedStyle, UINT dpi);

} // namespace win32_support
