#pragma once

// The firmware image that a fleet run sends (protocol/firmware_image.h),
// loaded by the one loader (image/image_loader.h), as the fleet's refusals.

#include "image/image_signature.h"
#include "protocol/firmware_image.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace fleet {

using FirmwareImage = protocol::FirmwareImage;

// Loads a file whose name passed the rule through the one loader, with the
// checks of an image a collector can take (image::Checks::Sendable). The text
// is why it was refused: "Cannot open file "<path>". <reason>".
std::variant<std::shared_ptr<const FirmwareImage>, std::string>
LoadFirmwareImage(const protocol::FirmwareName& name);

// The same from a path whose name is checked first: it must begin with "S".
std::variant<std::shared_ptr<const FirmwareImage>, std::string>
LoadFirmwareImage(const std::string& path);

// An image known by its file name and SHA-256 alone, for a plan: nothing is
// read (the file may be elsewhere), so it has no bytes and no blocks. The
// text is why the name was refused.
std::variant<std::shared_ptr<const FirmwareImage>, std::string>
NamedFirmwareImage(const std::string& fileName, const std::string& sha256);

// A SHA-256 the operator gave: 64 hex digits in either case, returned in
// lower case; nullopt for anything else.
std::optional<std::string> Sha256FromText(const std::string& text);

// Empty when `image`'s SHA-256 is `expected` (lower case); otherwise why
// the image is refused, naming both digests.
std::string CheckImageDigest(const FirmwareImage& image, const std::string& expected);

// Where the trusted keys come from and whether a signature is required,
// beyond what the site's folder (platform::TrustedKeyFolders) says.
struct SignatureOptions {
    std::vector<std::string> trustedKeys; // key files the operator named
    bool requireSignature = false;        // also when the site's policy does not say so
};

// The image's signature checked against the site's trusted keys and policy
// and `options`: accepted unsigned, accepted signed by a named key, or
// refused with the reason (a trusted key or policy that cannot be read
// refuses too). Called when an image is loaded and again at the start.
image::SignatureCheck CheckFirmwareSignature(const FirmwareImage& image,
                                             const SignatureOptions& options);

} // namespace fleet
