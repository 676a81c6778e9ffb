#include "fleet/firmware_image.h"

#include "platform/gbk.h"
#include "platform/read_file.h"
#include "protocol/collector_rules.h"
#include "protocol/datagram_rules.h"
#include "protocol/firmware_file.h"
#include "protocol/messages.h"
#include "pubpro/text_utils.h"

#include <filesystem>

namespace fleet {

void SetVersionText(FirmwareImage& image, const std::string& text) {
    image.versionText = pubpro::Trim(text);
    image.versionWire = platform::Utf8ToGbk(image.versionText);
    image.versionAsReported = image.versionWire;
    protocol::ScrubSearchDatagram(image.versionAsReported);
}

std::variant<std::shared_ptr<const FirmwareImage>, std::string>
LoadFirmwareImage(const std::string& path) {
    auto image = std::make_shared<FirmwareImage>();
    image->path = path;
    image->fileName = protocol::NamePart(path);
    if (!protocol::IsFirmwareName(path))
        return "the image's file name must begin with \"S\" (the version text): " + path;
    SetVersionText(*image, protocol::VersionTextFromPath(path));

    // Opened by its UTF-8 name (UTF-16 on Windows); devices are refused too.
    std::error_code error;
    if (std::filesystem::is_directory(platform::PathFromUtf8(path), error))
        return "cannot read the image " + path + ": it is a folder";
    // An oversized image is refused before it is read into memory.
    constexpr std::uint64_t kMaxBytes = protocol::kMaxBlocks * protocol::kBlockBytes;
    try {
        image->hex = protocol::LoadImageHexText(path, kMaxBytes);
    } catch (const protocol::ImageTooLarge& tooLarge) {
        return "the image " + path + " has " +
               std::to_string(protocol::BlockCount(tooLarge.Size() * 2)) + " blocks of " +
               std::to_string(protocol::kBlockBytes) + " bytes; at most " +
               std::to_string(protocol::kMaxBlocks) + " fit the block numbers";
    } catch (const protocol::ImageFileError& failure) {
        return "cannot read the image " + path + ": " + failure.Reason();
    }
    if (image->hex.empty())
        return "the image " + path + " is empty";
    image->sizeBytes = image->hex.size() / 2;
    image->blockCount = protocol::BlockCount(image->hex.size());
    return std::shared_ptr<const FirmwareImage>(std::move(image));
}

} // namespace fleet
