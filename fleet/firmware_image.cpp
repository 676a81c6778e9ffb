#include "fleet/firmware_image.h"

#include "fleet/field_table.h"
#include "platform/gbk.h"
#include "platform/read_file.h"
#include "protocol/messages.h"
#include "pubpro/text_utils.h"

#include <cstdint>
#include <filesystem>

namespace fleet {

namespace {

std::string HexText(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex(bytes.size() * 2, '0');
    char* out = hex.data();
    for (const unsigned char b : bytes) {
        *out++ = kDigits[b >> 4];
        *out++ = kDigits[b & 0xF];
    }
    return hex;
}

// The last component of a path. Windows takes both slashes and a drive
// prefix ("C:S1.bin"); elsewhere only '/' separates.
std::string FileNameOf(const std::string& path) {
#ifdef _WIN32
    constexpr const char* kSeparators = "/\\:";
#else
    constexpr const char* kSeparators = "/";
#endif
    const auto separator = path.find_last_of(kSeparators);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

} // namespace

void SetVersionText(FirmwareImage& image, const std::string& text) {
    image.versionText = Trim(text);
    image.versionWire = Utf8ToGbk(image.versionText);
    image.versionAsReported = ScrubSearchDatagram(image.versionWire);
}

std::variant<std::shared_ptr<const FirmwareImage>, std::string>
LoadFirmwareImage(const std::string& path) {
    auto image = std::make_shared<FirmwareImage>();
    image->path = path;
    image->fileName = FileNameOf(path);
    if (image->fileName.empty() || image->fileName.front() != 'S')
        return "the image's file name must begin with \"S\" (the version text): " + path;
    SetVersionText(*image, image->fileName.substr(0, image->fileName.rfind('.')));

    // Opened by its UTF-8 name (UTF-16 on Windows); devices are refused too.
    std::error_code error;
    if (std::filesystem::is_directory(PathFromUtf8(path), error))
        return "cannot read the image " + path + ": it is a folder";
    ReadOnlyFile file;
    if (!file.Open(path))
        return "cannot read the image " + path + ": " + file.Error();
    // Refuse an oversized image before reading it into memory.
    const std::uint64_t size = file.Size();
    if (size > kMaxBlocks * protocol::kBlockBytes)
        return "the image " + path + " has " + std::to_string(protocol::BlockCount(size * 2)) +
               " blocks of 300 bytes; at most 65535 fit the block numbers";
    if (size == 0)
        return "the image " + path + " is empty";
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const std::size_t read = file.Read(bytes.data() + got, bytes.size() - got);
        if (read == 0)
            return "cannot read the image " + path + ": read error";
        got += read;
    }
    image->sizeBytes = bytes.size();
    image->blockCount = protocol::BlockCount(bytes.size() * 2);
    image->hex = HexText(bytes);
    return std::shared_ptr<const FirmwareImage>(std::move(image));
}

} // namespace fleet
