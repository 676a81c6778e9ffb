#pragma once

// Paths to and from the UTF-8 text the core takes. path::string() and a path
// made from char text use the ANSI code page on Windows, which cannot spell
// every name (S升级.bin on a Western system).

#include <filesystem>
#include <string>
#include <string_view>

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
