#pragma once

// Reading a whole file by its (UTF-8) name: read-only, with no sharing
// restriction, closed by its owner on every path. Only regular files open: a
// folder, a FIFO or a device is refused at once instead of blocking the
// caller in the open or in a read.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Opens `path`. False on failure; Error() then describes why, in the
    // system's words.
    bool Open(const std::string& path);
    bool IsOpen() const { return handle_ != kClosed; }
    // The size the file had when it was opened.
    std::uint64_t Size() const { return size_; }
    // Reads up to `count` bytes at the current position; returns how many
    // were read (0 at the end or on a failure; Error() then tells a failure).
    std::size_t Read(char* into, std::size_t count);
    void Close();

    const std::string& Error() const { return error_; }

private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed; // a descriptor, or a HANDLE on Windows
    std::uint64_t size_ = 0;
    std::string error_;
};

// Why a file could not be read whole.
struct ReadFailure {
    enum class Kind {
        Open,     // it could not be opened, or is no regular file: `reason` in the system's words
        TooLarge, // it holds more than the caller's limit; nothing of it was read
        Read,     // a read failed (the system's words) or the file ended early ("Only ...")
    };
    Kind kind;
    std::string reason;
    std::uint64_t size = 0; // the file's size when it was opened; 0 when it was not
};

// Reads the regular file `path` whole: `opened(size)` once it is open and holds
// at most `maxBytes`, then `chunk` with its bytes in order, at most 1 MiB at a
// time, until exactly `size` bytes came. Nothing when every byte came;
// otherwise why not. The file is closed on every path, and an exception from
// either callback passes through.
std::optional<ReadFailure> ReadWholeFile(const std::string& path,
                                         std::optional<std::uint64_t> maxBytes,
                                         const std::function<void(std::uint64_t size)>& opened,
                                         const std::function<void(std::string_view)>& chunk);

// A std::filesystem path from a UTF-8 name. A path made from a plain string
// takes it in the system's ANSI code page on Windows, which garbles any name
// outside it; the standard library opens this one by its UTF-16 name there.
std::filesystem::path PathFromUtf8(std::string_view utf8);

} // namespace platform
