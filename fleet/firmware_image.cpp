#include "fleet/firmware_image.h"

#include "platform/read_file.h"
#include "protocol/collector_rules.h"
#include "protocol/messages.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace fleet {

std::variant<std::shared_ptr<const FirmwareImage>, std::string>
LoadFirmwareImage(const protocol::FirmwareName& name) {
    const auto refused = [&](const std::string& reason) {
        return protocol::CannotOpenText(name.path, reason);
    };
    // A folder is named as one (Windows would only say access is denied); the
    // UTF-8 name is looked up by UTF-16 there. Devices are refused by the loader.
    std::error_code error;
    if (std::filesystem::is_directory(platform::PathFromUtf8(name.path), error))
        return refused("It is a folder");
    // An oversized image is refused before it is read into memory.
    constexpr std::uint64_t kMaxBytes = protocol::kMaxBlocks * protocol::kBlockBytes;
    try {
        auto image = std::make_shared<const FirmwareImage>(protocol::LoadImage(name, kMaxBytes));
        if (image->sizeBytes == 0)
            return refused("It is empty");
        return image;
    } catch (const protocol::ImageTooLarge& tooLarge) {
        return refused("It has " + std::to_string(protocol::BlockCount(tooLarge.Size() * 2)) +
                       " blocks of " + std::to_string(protocol::kBlockBytes) + " bytes; at most " +
                       std::to_string(protocol::kMaxBlocks) + " fit the block numbers");
    } catch (const protocol::ImageFileError& failure) {
        return std::string(failure.what());
    }
}

std::variant<std::shared_ptr<const FirmwareImage>, std::string>
LoadFirmwareImage(const std::string& path) {
    const auto name = protocol::NameFirmware(path);
    if (!name)
        return "the image's file name must begin with \"S\" (the version text): " + path;
    return LoadFirmwareImage(*name);
}

std::variant<std::shared_ptr<const FirmwareImage>, std::string>
NamedFirmwareImage(const std::string& fileName, const std::string& sha256) {
    const auto name = protocol::NameFirmware(fileName);
    if (!name)
        return "the image's file name must begin with \"S\" (the version text): " + fileName;
    FirmwareImage image;
    image.path = name->path;
    image.fileName = name->fileName;
    image.sha256 = sha256;
    return std::make_shared<const FirmwareImage>(image.WithVersionText(name->versionText));
}

std::optional<std::string> Sha256FromText(const std::string& text) {
    if (text.size() != 64 || !std::all_of(text.begin(), text.end(),
                                          [](unsigned char c) { return std::isxdigit(c) != 0; }))
        return std::nullopt;
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string CheckImageDigest(const FirmwareImage& image, const std::string& expected) {
    if (image.sha256 == expected)
        return {};
    return "the image " + image.path + " has SHA-256 " + image.sha256 + ", not the expected " +
           expected + "; nothing was sent";
}

} // namespace fleet
