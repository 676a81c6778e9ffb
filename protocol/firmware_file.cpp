#include "protocol/firmware_file.h"

#include "protocol/hex.h"
#include "protocol/sha256.h"

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

std::optional<FirmwareName> NameFirmware(const std::string& path) {
    if (!IsFirmwareName(path))
        return std::nullopt;
    return FirmwareName{path, NamePart(path), VersionTextFromPath(path)};
}

std::string CannotOpenText(const std::string& path, const std::string& reason) {
    return "Cannot open file \"" + path + "\". " + reason;
}

ImageFileError::ImageFileError(const std::string& path, const std::string& reason,
                               std::uint64_t size)
    : std::runtime_error(CannotOpenText(path, reason)), path_(path), reason_(reason), size_(size) {}

HexAndDigest ReadImageHex(const std::string& path, std::uint64_t size, const ReadBytes& read,
                          const std::function<std::string()>& failure) {
    std::string hex;
    Sha256 digest;
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
        const std::string_view bytesRead(chunk.data(), got);
        HexEncodeInto(bytesRead, hex.data() + 2 * at);
        digest.Add(bytesRead);
        at += got;
    }
    return {std::move(hex), digest.HexDigest()};
}

} // namespace protocol
