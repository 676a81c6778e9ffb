#pragma once

// A window's text as UTF-8; the W functions speak UTF-16.

#include "gui/win32_support/windows_api.h"

#include <string>

namespace win32_support {

// The whole text of a window (caption or control contents) as UTF-8.
std::string WindowTextUtf8(HWND window);
void SetWindowTextUtf8(HWND window, const std::string& text);

} // namespace win32_support
