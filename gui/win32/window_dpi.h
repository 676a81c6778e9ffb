#pragma once

// The window's resolution and the frame around a client area at it. Both use
// the per-monitor functions of Windows 10 where present and fall back to the
// system's resolution elsewhere, so the program still starts on older systems.

#include "gui/win32/windows_api.h"

// Dots per inch of the monitor the window is on (96 at 100 % scaling).
UINT WindowDpi(HWND window);

// The outer size of a window whose client area is `width` x `height` at `dpi`.
SIZE OuterSizeForClient(int width, int height, DWORD style, DWORD extendedStyle, UINT dpi);
