#include "fleet/cli/image_commands.h"

#include "fleet/run/fleet_report.h"
#include "platform/app_data_folder.h"
#include "platform/crypto.h"
#include "platform/read_file.h"
#include "platform/replace_file.h"

#include <filesystem>
#include <iostream>
#include <system_error>

namespace fleet {

namespace {

constexpr std::size_t kMaxKeyFileBytes = 16 * 1024;

int Failed(const std::string& message) {
    std::cerr << "collector-fleet: " << message << "\n";
    return kExitUsage;
}

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(platform::PathFromUtf8(path), error);
}

} // namespace

std::string SignatureWords(const image::SignatureCheck& check) {
    if (!check.isSigned)
        return "unsigned";
    return "signed by key " + check.keyName + " (" + check.keyId + ")";
}

int RunImageKeygen(const std::string& name) {
    const std::string publicPath = name + ".pem", privatePath = name + ".private.pem";
    for (const auto& path : {publicPath, privatePath})
        if (Exists(path))
            return Failed(path + " exists already; choose another name");
    const auto pair = platform::crypto::GenerateKeyPair();
    if (const auto* error = std::get_if<platform::crypto::CryptoError>(&pair))
        return Failed(error->text);
    const auto& keys = std::get<platform::crypto::KeyPair>(pair);
    std::string error;
    if (!platform::ReplaceFileContents(privatePath, keys.privatePem, &error,
                                       platform::FileAccess::OwnerOnly))
        return Failed("cannot write " + privatePath + ": " + error);
    if (!platform::ReplaceFileContents(publicPath, keys.publicPem, &error))
        return Failed("cannot write " + publicPath + ": " + error);
    std::cout << "Private key (keep it secret, sign with it): " << privatePath << "\n"
              << "Public key (copy it into the trusted keys of each site): " << publicPath
              << "\nKey id: " << image::KeyIdOf(keys.publicPem).value_or("?") << "\n";
    return 0;
}

int RunImageSign(const std::string& keyPath, const std::string& imagePath) {
    const auto key = image::ReadSmallFile(keyPath, kMaxKeyFileBytes);
    if (key.index() == 1)
        return Failed("cannot read the private key " + keyPath + ": " + std::get<1>(key));
    const auto loaded = LoadFirmwareImage(imagePath);
    if (const auto* error = std::get_if<std::string>(&loaded))
        return Failed(*error);
    const auto& firmware = *std::get<std::shared_ptr<const FirmwareImage>>(loaded);
    const auto made = image::MakeSignatureFile(firmware, std::get<0>(key));
    if (made.index() == 1)
        return Failed("cannot sign with " + keyPath + ": " + std::get<1>(made));
    const std::string path = image::SignaturePathOf(firmware.path);
    std::string error;
    if (!platform::ReplaceFileContents(path, std::get<0>(made), &error))
        return Failed("cannot write " + path + ": " + error);
    std::cout << "Signed " << firmware.fileName << " (version " << firmware.versionText
              << ", SHA-256 " << firmware.sha256 << "): " << path << "\n";
    return 0;
}

int RunImageVerify(const SignatureOptions& options, const std::string& imagePath) {
    const auto loaded = LoadFirmwareImage(imagePath);
    if (const auto* error = std::get_if<std::string>(&loaded))
        return Failed(*error);
    const auto& firmware = *std::get<std::shared_ptr<const FirmwareImage>>(loaded);
    // A key or policy that cannot be read is a set-up error, not a verdict.
    const auto store = image::LoadTrustStore(platform::TrustedKeyFolders(), options.trustedKeys);
    if (const auto* error = std::get_if<std::string>(&store))
        return Failed(*error);
    // Verifying asks whether it is signed by a trusted key: unsigned is no.
    const auto check = image::CheckSignature(firmware, std::get<image::TrustStore>(store), true);
    if (!check.accepted) {
        std::cout << firmware.fileName << ": refused: " << check.refusal << "\n";
        return kExitSomeNotUpgraded;
    }
    std::cout << firmware.fileName << ": " << SignatureWords(check) << ", version "
              << firmware.versionText << ", SHA-256 " << firmware.sha256 << "\n";
    return 0;
}

} // namespace fleet
