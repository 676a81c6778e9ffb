#include "protocol/firmware_file.h"

#include "platform/read_file.h"
#include "protocol/hex.h"

#include <algorithm>
#include <vector>

namespace protocol {

std::string NamePart(std::string_view path) {
    const auto separator = path.find_last_of("\\:/");
    return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

bool IsFirmwareName(std::string_view path) {
    const std::string name = NamePart(path);
    return !name.empty() && name.front() == 'S';
}

std::string VersionTextFromPath(std::string_view path) {
    const std::string name = NamePart(path);
    return name.substr(0, name.rfind('.'));
}

ImageFileError::ImageFileError(const std::string& path, const std::string& reason,
                               std::uint64_t size)
    : std::runtime_error("Cannot open file \"" + path + "\". " + reason), path_(path),
      reason_(reason), size_(size) {}

std::string ReadImageHex(const std::string& path, std::uint64_t size, const ReadBytes& read,
                         const std::function<std::string()>& failure) {
    std::string hex;
    if (size > hex.max_size() / 2)
        throw std::length_error("File \"" + path + "\" is too large to load");
    const auto bytes = static_cast<std::size_t>(size);
    hex.resize(2 * bytes);
    constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
    std::vector<char> chunk(std::min(kChunkBytes, bytes));
    for (std::size_t at = 0; at < bytes;) {
        const std::size_t got = read(chunk.data(), std::min(chunk.size(), bytes - at));
        if (got == 0) {
            std::string reason = failure ? failure() : std::string();
            if (reason.empty())
                reason = "Only " + std::to_string(at) + " of its " + std::to_string(bytes) +
                         " bytes could be read";
            throw ImageFileError(path, reason, size);
        }
        HexEncodeInto(std::string_view(chunk.data(), got), hex.data() + 2 * at);
        at += got;
    }
    return hex;
}

std::string LoadImageHexText(const std::string& path, std::optional<std::uint64_t> maxBytes) {
    platform::ReadOnlyFile file;
    if (!file.Open(path))
        throw ImageFileError(path, file.Error());
    if (maxBytes && file.Size() > *maxBytes)
        throw ImageTooLarge(path, "It holds more than " + std::to_string(*maxBytes) + " bytes",
                            file.Size());
    return ReadImageHex(
        path, file.Size(), [&](char* into, std::size_t count) { return file.Read(into, count); },
        [&] { return file.Error(); });
}

ImageText LoadImageHex(const std::string& path) {
    return std::make_shared<const std::string>(LoadImageHexText(path));
}

} // namespace protocol
