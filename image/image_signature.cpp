#include "image/image_signature.h"

#include "platform/crypto.h"
#include "platform/read_file.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

namespace image {

namespace {

// Five lines of at most a few hundred bytes; anything larger is no signature file.
constexpr std::size_t kMaxSignatureFileBytes = 4096;
constexpr std::size_t kKeyIdDigits = 16;
constexpr std::size_t kMaxSignatureBytes = 72; // DER of two 33-byte integers

bool IsLowerHex(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
}

std::string BytesOfHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t at = 0; at + 1 < hex.size(); at += 2) {
        const auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
        bytes += static_cast<char>(digit(hex[at]) * 16 + digit(hex[at + 1]));
    }
    return bytes;
}

std::string Short(const std::string& sha256) {
    return sha256.substr(0, 12) + "…";
}

SignatureCheck Refused(std::string reason) {
    SignatureCheck check;
    check.refusal = std::move(reason);
    return check;
}

} // namespace

std::string SignaturePathOf(const std::string& imagePath) {
    return imagePath + ".sig";
}

std::string SignedLines(const std::string& keyId, const std::string& versionText,
                        const std::string& sha256) {
    return std::string(kSignatureFormat) + "\nkey " + keyId + "\nversion " + versionText +
           "\nsha256 " + sha256 + "\n";
}

std::variant<SignatureFile, std::string> ParseSignatureFile(std::string_view text) {
    std::array<std::string_view, 5> lines;
    std::size_t count = 0;
    while (!text.empty()) {
        if (count == lines.size())
            return "it has more than " + std::to_string(lines.size()) + " lines";
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1); // a file that went through a Windows editor
        lines[count++] = line;
    }
    if (count < lines.size())
        return "it is cut short: " + std::to_string(count) + " of " +
               std::to_string(lines.size()) + " lines";
    if (lines[0] != kSignatureFormat)
        return std::string("its first line is not \"") + kSignatureFormat + "\"";
    // Each further line: its word, one blank, its value.
    const auto value = [&](std::size_t index, std::string_view word) -> std::optional<std::string> {
        const std::string_view line = lines[index];
        if (line.size() <= word.size() + 1 || line.substr(0, word.size()) != word ||
            line[word.size()] != ' ')
            return std::nullopt;
        return std::string(line.substr(word.size() + 1));
    };
    SignatureFile file;
    const auto key = value(1, "key");
    if (!key || key->size() != kKeyIdDigits || !IsLowerHex(*key))
        return "line 2 is not \"key\" and 16 hexadecimal digits";
    const auto version = value(2, "version");
    if (!version)
        return "line 3 is not \"version\" and the image's version text";
    const auto sha256 = value(3, "sha256");
    if (!sha256 || sha256->size() != 64 || !IsLowerHex(*sha256))
        return "line 4 is not \"sha256\" and 64 hexadecimal digits";
    const auto signature = value(4, "signature");
    if (!signature || signature->size() % 2 != 0 || signature->size() > 2 * kMaxSignatureBytes ||
        !IsLowerHex(*signature))
        return "line 5 is not \"signature\" and at most " + std::to_string(kMaxSignatureBytes) +
               " bytes in hexadecimal";
    file.keyId = *key;
    file.versionText = *version;
    file.sha256 = *sha256;
    file.signature = BytesOfHex(*signature);
    return file;
}

std::variant<std::string, std::string> MakeSignatureFile(const protocol::FirmwareImage& image,
                                                         const std::string& privatePem) {
    using platform::crypto::CryptoError;
    if (image.versionText.find_first_of("\r\n") != std::string::npos)
        return std::variant<std::string, std::string>(
            std::in_place_index<1>, "the image's version text holds a line break");
    const auto publicPem = platform::crypto::PublicPemOf(privatePem);
    if (const auto* error = std::get_if<CryptoError>(&publicPem))
        return std::variant<std::string, std::string>(std::in_place_index<1>, error->text);
    std::string error;
    const auto keyId = KeyIdOf(std::get<0>(publicPem), &error);
    if (!keyId)
        return std::variant<std::string, std::string>(std::in_place_index<1>, error);
    const std::string lines = SignedLines(*keyId, image.versionText, image.sha256);
    const auto signature = platform::crypto::Sign(privatePem, lines);
    if (const auto* failure = std::get_if<CryptoError>(&signature))
        return std::variant<std::string, std::string>(std::in_place_index<1>, failure->text);
    return std::variant<std::string, std::string>(
        std::in_place_index<0>,
        lines + "signature " + platform::crypto::HexOf(std::get<0>(signature)) + "\n");
}

SignatureCheck CheckSignature(const protocol::FirmwareImage& image, const TrustStore& trusted,
                              bool requireSignature) {
    const std::string path = SignaturePathOf(image.path);
    std::error_code missing;
    if (!std::filesystem::exists(platform::PathFromUtf8(path), missing)) {
        if (requireSignature)
            return Refused("the image is not signed (no " + path +
                           ") and signatures are required here");
        SignatureCheck check;
        check.accepted = true;
        return check;
    }
    const auto read = ReadSmallFile(path, kMaxSignatureFileBytes);
    if (read.index() == 1)
        return Refused("cannot read the signature file " + path + ": " + std::get<1>(read));
    const auto parsed = ParseSignatureFile(std::get<0>(read));
    if (const auto* error = std::get_if<std::string>(&parsed))
        return Refused("the signature file " + path + " is damaged: " + *error);
    const auto& file = std::get<SignatureFile>(parsed);
    SignatureCheck check;
    check.keyId = file.keyId;
    const TrustedKey* key = trusted.Find(file.keyId);
    if (key == nullptr) {
        check.refusal = "signature by unknown key " + file.keyId;
        return check;
    }
    check.keyName = key->name;
    const auto verdict = platform::crypto::VerifySignature(
        key->pem, SignedLines(file.keyId, file.versionText, file.sha256), file.signature);
    if (const auto* error = std::get_if<platform::crypto::CryptoError>(&verdict)) {
        check.refusal = "cannot verify with key " + key->name + ": " + error->text;
        return check;
    }
    if (!std::get<bool>(verdict)) {
        check.refusal = "the signature file " + path + " does not verify with key " + key->name +
                        " (" + key->id + "): its lines were changed after signing";
        return check;
    }
    const bool sameVersion = file.versionText == image.versionText;
    const bool sameBytes = file.sha256 == image.sha256;
    if (!sameVersion && !sameBytes)
        check.refusal = "the signature is of another image: version " + file.versionText +
                        ", SHA-256 " + Short(file.sha256);
    else if (!sameVersion)
        check.refusal = "the signature is for version " + file.versionText +
                        ", but the image is named as version " + image.versionText +
                        " (a renamed image?)";
    else if (!sameBytes)
        check.refusal = "image does not match its signature: its SHA-256 is " +
                        Short(image.sha256) + ", the signed one " + Short(file.sha256);
    else {
        check.accepted = true;
        check.isSigned = true;
    }
    return check;
}

} // namespace image
