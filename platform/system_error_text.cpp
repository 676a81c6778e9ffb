#include "platform/system_error_text.h"

#ifdef _WIN32
#include "platform/wide_text.h"

#include <windows.h>
#endif

namespace platform {

#ifdef _WIN32

std::string SystemErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", length);
    LocalFree(text);
    // The caller ends the sentence (a Chinese system ends it with U+3002).
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L'.' || message.back() == L' ' ||
                                message.back() == L'\u3002'))
        message.pop_back();
    if (message.empty())
        return "system error " + std::to_string(code);
    return WideToUtf8(message);
}

std::string ErrorText(const std::error_code& error) {
    // Winsock's and the file system's codes come in the system category.
    if (error.category() == std::system_category())
        return SystemErrorText(static_cast<unsigned long>(error.value()));
    return error.message();
}

#else

std::string ErrorText(const std::error_code& error) {
    return error.message();
}

#endif

} // namespace platform
