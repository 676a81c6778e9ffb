#pragma once

// A window's large and small icons (the program's icon, resource 1) at the
// sizes Windows shows them at the window's resolution: the title bar and the
// taskbar then show an image drawn for that size, never a stretched one.

#include "gui/win32_support/windows_api.h"

namespace win32_support {

// The program's icon `size` pixels square, or null when it has none.
HICON LoadProgramIcon(int size);

// Sets the window's large and small icons (WM_SETICON) at `dpi`, destroying
// those set before.
void SetProgramIcons(HWND window, UINT dpi);

// Destroys the icons SetProgramIcons set: when the window goes.
void DestroyProgramIcons(HWND window);

} // namespace win32_support
