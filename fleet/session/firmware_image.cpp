#include "fleet/session/firmware_image.h"

#include "image/image_loader.h"
#include "platform/app_data_folder.h"

#include <algorithm>
#include <cctype>

namespace fleet {

namespace {

// The command line's words for the name rule.
std::string NameRuleRefusal(const std::string& path) {
    return "the image's file name must begin with \"S\" (the version text): " + path;
}

} // namespace

std::variant<std::shared_ptr<const FirmwareImage>, std::string>
LoadFirmwareImage(const protocol::FirmwareName& name) {
    try {
        return std::make_shared<const FirmwareImage>(
            image::LoadImage(name, image::Checks::Sendable));
    } catch (const image::ImageFileError& failure) {
        return std::string(failure.what());
    }
}

std::variant<std::shared_ptr<const FirmwareImage>, std::string>
LoadFirmwareImage(const std::string& path) {
    const auto name = protocol::NameFirmware(path);
    if (!name)
        return NameRuleRefusal(path);
    return LoadFirmwareImage(*name);
}

std::variant<std::shared_ptr<const FirmwareImage>, std::string>
NamedFirmwareImage(const std::string& fileName, const std::string& sha256) {
    const auto name = protocol::NameFirmware(fileName);
    if (!name)
        return NameRuleRefusal(fileName);
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

image::SignatureCheck CheckFirmwareSignature(const FirmwareImage& image,
                                             const SignatureOptions& options) {
    const auto store = image::LoadTrustStore(platform::TrustedKeyFolders(), options.trustedKeys);
    if (const auto* error = std::get_if<std::string>(&store)) {
        image::SignatureCheck refused;
        refused.refusal = *error;
        return refused;
    }
    const auto& trusted = std::get<image::TrustStore>(store);
    return image::CheckSignature(image, trusted,
                                 options.requireSignature || trusted.requireSignature);
}

} // namespace fleet
