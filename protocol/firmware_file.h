#pragma once

// A firmware file as every program sees it: the name rule, the version text
// its name gives, why a file gave no image, and reading its bytes as hex text.
// The image value and its loader are in protocol/firmware_image.h.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace protocol {

// Hex text of an image, shared immutably: a new choice replaces the pointer,
// never the text, so an upgrade that took it keeps sending what it took.
using ImageText = std::shared_ptr<const std::string>;

// The file name without its folder: everything after the last "\", ":" or "/".
std::string NamePart(std::string_view path);

// Only files whose name begins with the upper-case "S" are firmware images.
bool IsFirmwareName(std::string_view path);

// The name part without its extension (from its last "." on); dots in folder
// names never count. "C:\fw.new\S1.02.bin" -> "S1.02".
std::string VersionTextFromPath(std::string_view path);

// A path whose file name passed the name rule, and what the name gives.
struct FirmwareName {
    std::string path;
    std::string fileName;    // without its folder
    std::string versionText; // the name without its extension, as it stands
};

// The name rule, checked here once: nothing unless the name begins with "S".
std::optional<FirmwareName> NameFirmware(const std::string& path);

// "Cannot open file "<path>". <reason>": the one text that says why a file
// gave no image.
std::string CannotOpenText(const std::string& path, const std::string& reason);

// Why a file gave no image. what() is CannotOpenText, the error box's text,
// with the system's description of the failure as the reason.
class ImageFileError : public std::runtime_error {
public:
    ImageFileError(const std::string& path, const std::string& reason, std::uint64_t size = 0);
    const std::string& Path() const { return path_; }
    const std::string& Reason() const { return reason_; }
    // The file's size when it was opened; 0 when it could not be opened.
    std::uint64_t Size() const { return size_; }

private:
    std::string path_;
    std::string reason_;
    std::uint64_t size_;
};

// The file is larger than the caller's limit; nothing of it was read.
class ImageTooLarge : public ImageFileError {
public:
    using ImageFileError::ImageFileError;
};

// Hands out a file's bytes: up to `count` into `into`, returning how many
// (0 at the end or on a failure).
using ReadBytes = std::function<std::size_t(char* into, std::size_t count)>;

// A file's bytes as hex text, and the SHA-256 of those same bytes.
struct HexAndDigest {
    std::string hex;    // two upper-case hex digits per byte
    std::string sha256; // 64 lower-case hex digits
};

// The hex text of exactly `size` bytes taken through `read`, encoded chunk by
// chunk so the peak stays near the text's own size, each chunk hashed as it is
// encoded. Throws ImageFileError when `read` gives out early (the file shrank,
// or a read failed): the reason is `failure()` if it says anything, else how
// many bytes came.
HexAndDigest ReadImageHex(const std::string& path, std::uint64_t size, const ReadBytes& read,
                          const std::function<std::string()>& failure);

} // namespace protocol
