#pragma once

// A firmware file's name as every program sees it: the name rule and the
// version text the name gives. The image value parsed from the file's bytes
// is in protocol/firmware_image.h; reading the file is the caller's
// (image/image_loader.h).

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace protocol {

// Hex text of an image, shared immutably: a new choice replaces the pointer,
// never the text, so an upgrade that took it keeps sending what it took.
using ImageText = std::shared_ptr<const std::string>;

// The file name without its folder: everything after the last "\", ":" or "/".
std::string NamePart(std::string_view path);

// Only files whose name begins with the upper-case "S" are firmware images.
bool IsFirmwareName(std::string_view path);

// What both windows tell the operator who chose a file against the name rule.
inline constexpr const char* kNameRuleNotice = "版本号必须以S开头";

// The name part without its extension (from its last "." on); dots in folder
// names never count. "C:\fw.new\S1.02.bin" -> "S1.02".
std::string VersionTextFromPath(std::string_view path);

// A path whose file name passed the name rule, and what the name gives.
struct FirmwareName {
    std::string path;
    std::string fileName;    // without its folder
    std::string versionText; // the name without its extension, as it stands
};

// The name rule, checked here once: nothing unless the name begins with "S".
std::optional<FirmwareName> NameFirmware(const std::string& path);

} // namespace protocol
