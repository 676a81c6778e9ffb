#pragma once

// An "关于" entry at the end of a window's system menu and the box it opens:
// the program's product name, version and copyright line, as its version
// resource gives them. The window's client area stays as it is.

#include "gui/win32_support/windows_api.h"

#include <string>

namespace win32_support {

// The entry's system command: below 0xF000 and with its low four bits clear,
// as Windows wants of a program's own system commands.
inline constexpr UINT kAboutCommand = 0x0A10;

// Adds a separator and the entry to `window`'s system menu.
void AddAboutEntry(HWND window);

// For WM_SYSCOMMAND: shows the box when `command` is the entry's and says
// true; false for every other command, which goes to the system's handling.
bool HandleAboutCommand(HWND window, WPARAM command);

// The box's text, one line each: product name, "版本 " and the version, and
// the copyright line where the resource has one.
std::wstring AboutText();

} // namespace win32_support
