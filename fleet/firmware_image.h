#pragma once

// The firmware image that a fleet run sends: its bytes as the hex text that the
// blocks are cut from, and the version text taken from its file name.

#include <cstddef>
#include <memory>
#include <string>
#include <variant>

namespace fleet {

struct FirmwareImage {
    std::string path;
    std::string fileName;    // name without folder (UTF-8, as the file system gives it)
    std::string versionText; // file name without extension, trimmed (UTF-8, for display)
    std::string versionWire; // the same in GBK: what "LU" carries
    // The version as a search reply shows it once upgraded: the search channel
    // turns the bytes 0x00, 0x0A, 0xFB and 0xFF into blanks, and 0xFB is a
    // common GBK trail byte (他 is CB FB).
    std::string versionAsReported;
    std::size_t sizeBytes = 0;
    std::size_t blockCount = 0;
    std::string hex; // two upper-case hex digits per byte
};

// Sets the version text (trimmed of blanks) and the two forms derived from it.
void SetVersionText(FirmwareImage& image, const std::string& text);

// Loads and checks an image: its name must begin with "S", it must be read
// whole, not be empty and have at most protocol::kMaxBlocks blocks. The text is
// the reason it was refused.
std::variant<std::shared_ptr<const FirmwareImage>, std::string>
LoadFirmwareImage(const std::string& path);

} // namespace fleet
