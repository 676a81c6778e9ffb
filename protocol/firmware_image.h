#pragma once

// A firmware image as both programs hold it: what its file name gives, its
// bytes as hex text shared immutably, and their SHA-256, all from one reading
// of the file. Copying the value copies the pointer to the hex text, never
// the text.

#include "protocol/firmware_file.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace protocol {

struct FirmwareImage {
    std::string path;
    std::string fileName;    // name without folder (UTF-8, as the file system gives it)
    std::string versionText; // trimmed of blanks (UTF-8, for display)
    std::string versionWire; // the same in GBK: what "LU" carries
    // The version as a search reply shows it once upgraded: the search channel
    // turns the bytes 0x00, 0x0A, 0xFB and 0xFF into blanks, and 0xFB is a
    // common GBK trail byte (他 is CB FB).
    std::string versionAsReported;
    std::size_t sizeBytes = 0;
    std::size_t blockCount = 0;
    ImageText hex = std::make_shared<const std::string>(); // never null
    std::string sha256; // of the file's bytes, 64 lower-case hex digits

    // The same image under another version text (trimmed), sharing the hex text.
    FirmwareImage WithVersionText(const std::string& text) const;
};

// Reads the named file whole, once: the hex text and the digest come from the
// same chunks. Throws ImageFileError when it is not a regular file that can be
// opened and read whole, ImageTooLarge when it holds more than `maxBytes`;
// lets std::bad_alloc and std::length_error through. The file is closed on
// every path.
FirmwareImage LoadImage(const FirmwareName& name,
                        std::optional<std::uint64_t> maxBytes = std::nullopt);

} // namespace protocol
