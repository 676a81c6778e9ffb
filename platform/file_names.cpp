#include "file_names.h"

#ifdef _WIN32
#include "platform/wide_text.h"
#endif

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::FILE* OpenForReading(const std::string& utf8Path) {
#ifdef _WIN32
    // The C runtime's _wfopen shares reading and writing with other programs.
    return ::_wfopen(Utf8ToWide(utf8Path).c_str(), L"rb");
#else
    return std::fopen(utf8Path.c_str(), "rb");
#endif
}
