#pragma once

// UTF-8 <-> UTF-16 for the Windows API, whose wide functions take UTF-16.
// The core holds all text as UTF-8. Invalid UTF-8 becomes U+FFFD.

#include <string>
#include <string_view>

namespace platform {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

} // namespace platform
