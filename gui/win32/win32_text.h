#pragma once

// Text at the edge of the Win32 API: the core speaks UTF-8 (and the
// collectors' GBK bytes), the W functions speak UTF-16.

#include <string>
#include <string_view>

#include "gui/win32/windows_api.h"

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// The whole text of a window (caption or control contents) as UTF-8.
std::string WindowTextUtf8(HWND window);
void SetWindowTextUtf8(HWND window, const std::string& text);
