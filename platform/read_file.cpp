#include "platform/read_file.h"

#include <algorithm>
#include <vector>

#ifdef _WIN32
#include "platform/system_error_text.h"
#include "platform/wide_text.h"

#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

ReadOnlyFile::~ReadOnlyFile() {
    Close();
}

#ifdef _WIN32

namespace {

// A path of MAX_PATH characters or more, made whole and given the prefix that
// lifts the limit on every Windows, with or without the long-path setting.
std::wstring LongPathForm(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.starts_with(L"\\\\?\\"))
        return path;
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), needed, full.data(), nullptr));
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2); // \\server\share
    return L"\\\\?\\" + full;
}

} // namespace

bool ReadOnlyFile::Open(const std::string& path) {
    Close();
    HANDLE file = CreateFileW(LongPathForm(Utf8ToWide(path)).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = SystemErrorText(GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        error_ = SystemErrorText(ERROR_INVALID_FUNCTION);
        CloseHandle(file);
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

std::size_t ReadOnlyFile::Read(char* into, std::size_t count) {
    DWORD got = 0;
    const DWORD want = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    if (!IsOpen())
        return 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), into, want, &got, nullptr)) {
        error_ = SystemErrorText(GetLastError());
        return 0;
    }
    return got;
}

void ReadOnlyFile::Close() {
    if (IsOpen())
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kClosed;
}

#else

bool ReadOnlyFile::Open(const std::string& path) {
    Close();
    // Non-blocking, so that opening a FIFO without a writer returns at once;
    // anything but a regular file is refused before any read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error_ = std::strerror(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
        ::close(fd);
        return false;
    }
    handle_ = fd;
    size_ = static_cast<std::uint64_t>(info.st_size);
    return true;
}

std::size_t ReadOnlyFile::Read(char* into, std::size_t count) {
    if (!IsOpen())
        return 0;
    for (;;) {
        const ssize_t got = ::read(static_cast<int>(handle_), into, count);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR) {
            error_ = std::strerror(errno);
            return 0;
        }
    }
}

void ReadOnlyFile::Close() {
    if (IsOpen())
        ::close(static_cast<int>(handle_));
    handle_ = kClosed;
}

#endif

std::optional<ReadFailure> ReadWholeFile(const std::string& path,
                                         std::optional<std::uint64_t> maxBytes,
                                         const std::function<void(std::uint64_t size)>& opened,
                                         const std::function<void(std::string_view)>& chunk) {
    ReadOnlyFile file;
    if (!file.Open(path))
        return ReadFailure{ReadFailure::Kind::Open, file.Error()};
    const std::uint64_t size = file.Size();
    if (maxBytes && size > *maxBytes)
        return ReadFailure{ReadFailure::Kind::TooLarge, {}, size};
    opened(size);
    constexpr std::uint64_t kChunkBytes = std::uint64_t{1} << 20;
    std::vector<char> buffer(static_cast<std::size_t>(std::min(kChunkBytes, size)));
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - at));
        const std::size_t got = file.Read(buffer.data(), want);
        if (got == 0) {
            // The file shrank, or a read failed: never a zero-filled rest.
            std::string reason = file.Error();
            if (reason.empty())
                reason = "Only " + std::to_string(at) + " of its " + std::to_string(size) +
                         " bytes could be read";
            return ReadFailure{ReadFailure::Kind::Read, reason, size};
        }
        chunk(std::string_view(buffer.data(), got));
        at += got;
    }
    return std::nullopt;
}

} // namespace platform
