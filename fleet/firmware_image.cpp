#include "fleet/firmware_image.h"

#include "fleet/field_table.h"
#include "platform/gbk.h"
#include "protocol/messages.h"
#include "pubpro/text_utils.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

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

} // namespace

std::variant<std::shared_ptr<const FirmwareImage>, std::string>
LoadFirmwareImage(const std::string& path) {
    auto image = std::make_shared<FirmwareImage>();
    image->path = path;
    image->fileName = std::filesystem::path(path).filename().string();
    if (image->fileName.empty() || image->fileName.front() != 'S')
        return "the image's file name must begin with \"S\" (the version text): " + path;
    image->versionText = Trim(image->fileName.substr(0, image->fileName.rfind('.')));
    image->versionWire = Utf8ToGbk(image->versionText);
    image->versionAsReported = ScrubSearchDatagram(image->versionWire);

    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return "cannot read the image " + path + ": it is a folder";
    // Refuse an oversized image before reading it into memory.
    const auto size = std::filesystem::file_size(path, error);
    if (!error && size > kMaxBlocks * protocol::kBlockBytes)
        return "the image " + path + " has " + std::to_string(protocol::BlockCount(size * 2)) +
               " blocks of 300 bytes; at most 65535 fit the block numbers";
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return "cannot read the image " + path + ": " + std::strerror(errno);
    file.seekg(0, std::ios::end);
    const std::streamoff length = file.tellg();
    file.seekg(0, std::ios::beg);
    std::string bytes(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length < 0 || !file.read(bytes.data(), length))
        return "cannot read the image " + path + ": read error";
    if (bytes.empty())
        return "the image " + path + " is empty";
    image->sizeBytes = bytes.size();
    image->blockCount = protocol::BlockCount(bytes.size() * 2);
    image->hex = HexText(bytes);
    return std::shared_ptr<const FirmwareImage>(std::move(image));
}

} // namespace fleet
