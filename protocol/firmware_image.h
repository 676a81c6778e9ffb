#pragma once

// A firmware image as both programs hold it: what its file name gives, its
// bytes as hex text shared immutably, and their SHA-256, all from one pass
// over the bytes. Copying the value copies the pointer to the hex text, never
// the text.

#include "platform/crypto.h"
#include "protocol/firmware_file.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

// An image parsed from its bytes as they come, chunk by chunk: each chunk is
// encoded into its place in the hex text, sized once, and hashed, so the peak
// stays near the text's own size and the digest is of the very bytes encoded.
// It reads nothing itself: the caller hands it the bytes (image/image_loader.h
// reads them from the file).
class ImageBuilder {
public:
    // Throws std::length_error when `size` bytes are too many to hold as hex
    // text, before anything is allocated.
    ImageBuilder(FirmwareName name, std::uint64_t size);
    // The next bytes, in order; those beyond the size given are ignored.
    void Add(std::string_view bytes);
    // The image, once every byte came (else the hex text's rest is zeros).
    FirmwareImage Finish();

private:
    FirmwareName name_;
    std::string hex_;
    std::size_t received_ = 0;
    platform::crypto::Sha256 digest_;
};

} // namespace protocol
