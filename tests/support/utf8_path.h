#pragma once

// Paths in the UTF-8 text the core takes. path::string() would give the ANSI
// code page on Windows, which cannot spell every name.

#include "platform/file_names.h"

#include <filesystem>
#include <string>

inline std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
