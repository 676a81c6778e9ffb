#include "protocol/firmware_file.h"

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

} // namespace protocol
