#include "gui/win32_support/window_text.h"

#include "platform/wide_text.h"

#include <vector>

namespace win32_support {

std::string WindowTextUtf8(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    return platform::WideToUtf8(std::wstring_view(text.data(), static_cast<std::size_t>(copied)));
}

void SetWindowTextUtf8(HWND window, const std::string& text) {
    SetWindowTextW(window, platform::Utf8ToWide(text).c_str());
}

} // namespace win32_support
