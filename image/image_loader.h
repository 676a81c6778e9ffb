#pragma once

// The one firmware image loader that collector-fleet and both windows call:
// the file is read whole by platform/ (by its UTF-8 name) and parsed by
// protocol/ from its bytes as they come, so that the hex text and the SHA-256
// are of the same bytes. The name rule holds by type: only a FirmwareName
// (protocol::NameFirmware) is loaded.

#include "protocol/firmware_image.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace image {

using protocol::FirmwareImage;
using protocol::FirmwareName;

// "Cannot open file "<path>". <reason>": the one text that says why a file
// gave no image.
std::string CannotOpenText(const std::string& path, const std::string& reason);

// Why a file gave no image. what() is CannotOpenText, the error box's text.
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

// Which files give an image.
enum class Checks {
    // Any regular file that can be read whole, as the upgrade window has
    // always taken it: the reason of a refusal is the system's.
    AnyFile,
    // Also an image a collector can take: not a folder (named as one), not
    // empty, and no more blocks than the block numbers reach (refused before
    // a byte is read). collector-fleet and the fleet window load so.
    Sendable,
};

// Loads the named file whole. Throws ImageFileError when it gives no image
// (it could not be opened, is no regular file, a read failed or the file
// ended early, or a check of `checks` refused it); lets std::bad_alloc and
// std::length_error (too large to hold as text) through. The file is closed
// on every path.
FirmwareImage LoadImage(const FirmwareName& name, Checks checks = Checks::AnyFile);

} // namespace image
