#pragma once

// A window's text as the core's UTF-8; the W functions speak UTF-16.

#include "gui/win32/windows_api.h"
#include "platform/wide_text.h"

#include <string>

// The whole text of a window (caption or control contents) as UTF-8.
std::string WindowTextUtf8(HWND window);
void SetWindowTextUtf8(HWND window, const std::string& text);
