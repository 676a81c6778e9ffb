#include "platform/replace_file.h"

#include "platform/read_file.h"
#include "platform/system_error_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

#ifdef _WIN32

// Writes the whole temporary file and flushes it to the disk; the system's
// reason on failure.
std::string WriteDurably(const std::filesystem::path& path, std::string_view bytes, FileAccess) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return SystemErrorText(GetLastError());
    std::string reason;
    while (!bytes.empty() && reason.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr))
            reason = SystemErrorText(GetLastError());
        bytes.remove_prefix(written);
    }
    if (reason.empty() && !FlushFileBuffers(file))
        reason = SystemErrorText(GetLastError());
    CloseHandle(file);
    return reason;
}

// Moves `from` onto `to`, replacing it; written through, so the new name is
// on the disk when this returns.
std::string MoveOnto(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return SystemErrorText(GetLastError());
}

#else

std::string WriteDurably(const std::filesystem::path& path, std::string_view bytes,
                         FileAccess access) {
    const bool ownerOnly = access == FileAccess::OwnerOnly;
    const int file =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, ownerOnly ? 0600 : 0666);
    if (file < 0)
        return std::strerror(errno);
    std::string reason;
    // A temporary file left behind keeps its mode through O_CREAT: set it.
    if (ownerOnly && ::fchmod(file, 0600) != 0)
        reason = std::strerror(errno);
    while (!bytes.empty() && reason.empty()) {
        const ssize_t written = ::write(file, bytes.data(), bytes.size());
        if (written < 0 && errno != EINTR)
            reason = std::strerror(errno);
        else if (written > 0)
            bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    if (reason.empty() && ::fsync(file) != 0)
        reason = std::strerror(errno);
    if (::close(file) != 0 && reason.empty())
        reason = std::strerror(errno);
    return reason;
}

// Renames `from` onto `to`, then flushes their folder, so that the new name,
// not only the new bytes, survives a power cut.
std::string MoveOnto(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0)
        return std::strerror(errno);
    const std::filesystem::path parent = to.has_parent_path() ? to.parent_path() : ".";
    const int folder = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return {}; // the file is in place; a folder we may not open is not flushed
    // A file system that cannot flush a folder says EINVAL; nothing more is possible there.
    std::string reason;
    if (::fsync(folder) != 0 && errno != EINVAL && errno != ENOTSUP)
        reason = std::string("the folder could not be flushed: ") + std::strerror(errno);
    ::close(folder);
    return reason;
}

#endif

} // namespace

bool ReplaceFileContents(const std::string& utf8Path, std::string_view bytes, std::string* error,
                         FileAccess access) {
    const std::filesystem::path path = PathFromUtf8(utf8Path);
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    std::string reason = WriteDurably(temporary, bytes, access);
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
