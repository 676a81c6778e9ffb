#pragma once

// Conversions between the collectors' GBK (code page 936) bytes and UTF-8.
// Bytes that do not convert are kept as U+FFFD / "?" rather than lost whole.

#include <string>
#include <string_view>

namespace platform {

std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

} // namespace platform
