#include "image/image_loader.h"

#include "platform/read_file.h"
#include "protocol/collector_rules.h"
#include "protocol/messages.h"

#include <filesystem>
#include <optional>
#include <system_error>

namespace image {

std::string CannotOpenText(const std::string& path, const std::string& reason) {
    return "Cannot open file \"" + path + "\". " + reason;
}

ImageFileError::ImageFileError(const std::string& path, const std::string& reason,
                               std::uint64_t size)
    : std::runtime_error(CannotOpenText(path, reason)), path_(path), reason_(reason), size_(size) {}

FirmwareImage LoadImage(const FirmwareName& name, Checks checks) {
    const bool sendable = checks == Checks::Sendable;
    // A folder is named as one (Windows would only say access is denied); the
    // UTF-8 name is looked up by UTF-16 there. Devices are refused by the reader.
    std::error_code error;
    if (sendable && std::filesystem::is_directory(platform::PathFromUtf8(name.path), error))
        throw ImageFileError(name.path, "It is a folder");
    // Oversized for the block numbers: refused before it is read into memory.
    constexpr std::uint64_t kMaxBytes = protocol::kMaxBlocks * protocol::kBlockBytes;
    std::optional<protocol::ImageBuilder> builder;
    const auto failure = platform::ReadWholeFile(
        name.path, sendable ? std::optional<std::uint64_t>(kMaxBytes) : std::nullopt,
        [&](std::uint64_t size) { builder.emplace(name, size); },
        [&](std::string_view bytes) { builder->Add(bytes); });
    if (failure && failure->kind == platform::ReadFailure::Kind::TooLarge)
        throw ImageFileError(name.path,
                             "It has " + std::to_string(protocol::BlockCount(failure->size * 2)) +
                                 " blocks of " + std::to_string(protocol::kBlockBytes) +
                                 " bytes; at most " + std::to_string(protocol::kMaxBlocks) +
                                 " fit the block numbers",
                             failure->size);
    if (failure)
        throw ImageFileError(name.path, failure->reason, failure->size);
    FirmwareImage image = builder->Finish();
    if (sendable && image.sizeBytes == 0)
        throw ImageFileError(name.path, "It is empty");
    return image;
}

} // namespace image
