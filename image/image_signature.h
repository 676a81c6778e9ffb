#pragma once

// The signature of a firmware image: a plain-text file IMAGE.sig beside the
// image, of five lines:
//
//   collector-image-signature 1
//   key 3f2a9c01d4e5b6a7            the signing key's id (trusted_keys.h)
//   version S1.02                   the version text as the image's name gives it
//   sha256 <64 hex digits>          of the image's bytes
//   signature <hex>                 DER ECDSA P-256/SHA-256 over the four lines above
//
// So a renamed image (another version), another image's signature and a
// changed byte each fail, each with its own reason. The check reads the
// file, finds the key among the trusted ones and verifies, before anything
// is sent.

#include "image/trusted_keys.h"
#include "protocol/firmware_image.h"

#include <optional>
#include <string>
#include <variant>

namespace image {

inline constexpr const char* kSignatureFormat = "collector-image-signature 1";

// IMAGE.sig
std::string SignaturePathOf(const std::string& imagePath);

// The lines a key signs, each ending in a line feed.
std::string SignedLines(const std::string& keyId, const std::string& versionText,
                        const std::string& sha256);

struct SignatureFile {
    std::string keyId, versionText, sha256;
    std::string signature; // DER
};

// A signature file's text, read strictly; the text says what is wrong with it.
std::variant<SignatureFile, std::string> ParseSignatureFile(std::string_view text);

// The signature file's text for `image`, signed with the P-256 private key
// `privatePem`; the text says why it could not be made.
std::variant<std::string, std::string> MakeSignatureFile(const protocol::FirmwareImage& image,
                                                         const std::string& privatePem);

// What the check of an image found.
struct SignatureCheck {
    bool accepted = false;
    bool isSigned = false; // a signature file was there and verified
    std::string keyId, keyName;
    std::string refusal; // why it was not accepted
};

// Checks the image's signature file against the trusted keys. Without one
// the image is accepted unsigned unless `requireSignature`; with one, it is
// accepted only when it is by a trusted key, verifies, and names the image's
// version text and SHA-256.
SignatureCheck CheckSignature(const protocol::FirmwareImage& image, const TrustStore& trusted,
                              bool requireSignature);

} // namespace image
