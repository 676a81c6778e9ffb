#include "platform/replace_file.h"

#include "platform/read_file.h"
#include "platform/system_error_text.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdio>
#endif

namespace platform {

namespace {

// Moves `from` onto `to`, replacing it; the system's reason on failure.
std::string MoveOnto(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return SystemErrorText(GetLastError());
#else
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return {};
    return std::strerror(errno);
#endif
}

} // namespace

bool ReplaceFileContents(const std::string& utf8Path, std::string_view bytes, std::string* error) {
    const std::filesystem::path path = PathFromUtf8(utf8Path);
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    std::string reason;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            reason = std::strerror(errno);
        else if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush())
            reason = "the write failed";
    }
    if (reason.empty())
        reason = MoveOnto(temporary, path);
    if (reason.empty())
        return true;
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    if (error)
        *error = reason;
    return false;
}

} // namespace platform
