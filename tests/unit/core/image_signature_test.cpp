// A firmware image's signature file checked against the trusted keys and the
// site's policy: each way an image is refused, with its own reason, and a good
// signature accepted and named. The signature files were made once (signing
// is offered on Linux only), so the same table runs under wine through CNG.
#include "image/image_loader.h"
#include "image/image_signature.h"
#include "platform/read_file.h"

#include "signing_key.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>

namespace {

namespace fs = std::filesystem;

// The bytes 0..255 twice, and the same backwards: S1.02's and S1.01's images.
std::string ImageBytes(bool newer) {
    std::string bytes(512, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(newer ? i % 256 : 255 - i % 256);
    return bytes;
}

const std::string kHead = "collector-image-signature 1\nkey " + std::string(support::kSigningKeyId);
const std::string kSigned102 =
    kHead + "\nversion S1.02\nsha256 110009dcee21620b166f3abfecb5eff7a873be729d1c2d53822e7acc5f34eb9b\n"
            "signature 3044022079f97ed73add1a9cfaa156231cb49f94d8108cbdf028025f59ab386fa80bc67502"
            "20298a072e4d83739d70959472e6843cf50bdfdb4ea455572d1de89fd7e6376a21\n";
const std::string kSigned101 =
    kHead + "\nversion S1.01\nsha256 410f8672586b1c7d5b9053bdeb1091f1624cfec56c9a8b0662bd0f4df386ff4f\n"
            "signature 30460221008ec1cbb2ae3fb321105c1d962e52100296a861d71256309e78b17fb19426f1f602"
            "2100bbc6447d888704f95dac8ef291b27bdc2b7e021b27dfd990c3ef092a096f018a\n";

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

TEST(ImageSignature, EachRefusalHasItsOwnReasonAndAGoodSignatureIsNamed) {
    struct Case {
        const char* what;
        std::string imageBytes;
        std::optional<std::string> signature; // none: no .sig
        bool keyTrusted;
        const char* policy; // the policy file's text; null: none
        bool accepted;
        const char* reason; // a part of the refusal, or the key's name when accepted
    };
    std::string flipped = ImageBytes(true);
    flipped[100] ^= 0x01;
    const Case cases[] = {
        {"good", ImageBytes(true), kSigned102, true, nullptr, true, "release-2026"},
        {"good, policy", ImageBytes(true), kSigned102, true, "require_signature = yes\n", true,
         "release-2026"},
        {"flipped byte", flipped, kSigned102, true, nullptr, false,
         "image does not match its signature"},
        {"untrusted key", ImageBytes(true), kSigned102, false, nullptr, false,
         "signature by unknown key 43e94c726227cfb1"},
        {"another image's", ImageBytes(true), kSigned101, true, nullptr, false,
         "the signature is of another image: version S1.01"},
        {"renamed image", ImageBytes(false), kSigned101, true, nullptr, false,
         "the signature is for version S1.01, but the image is named as version S1.02"},
        {"lines edited", ImageBytes(false), Replaced(kSigned101, "S1.01", "S1.02"), true, nullptr,
         false, "does not verify with key release-2026"},
        {"truncated", ImageBytes(true), kSigned102.substr(0, 60), true, nullptr, false,
         "is damaged: it is cut short: 3 of 5 lines"},
        {"garbled", ImageBytes(true), Replaced(kSigned102, "sha256 1", "sha256 X"), true, nullptr,
         false, "is damaged: line 4 is not \"sha256\""},
        {"odd signature", ImageBytes(true), Replaced(kSigned102, "signature 30", "signature 3"),
         true, nullptr, false, "is damaged: line 5"},
        {"not a signature", ImageBytes(true), std::string(5000, 'x'), true, nullptr, false,
         "larger than 4096 bytes"},
        {"unsigned, policy", ImageBytes(true), std::nullopt, true, "# site rule\nrequire_signature = yes",
         false, "the image is not signed"},
        {"unsigned", ImageBytes(true), std::nullopt, true, "require_signature = no\n", true, ""},
    };
    const fs::path root = fs::temp_directory_path() / "image_signature_test";
    for (const auto& c : cases) {
        fs::remove_all(root);
        fs::create_directories(root / "trusted-keys");
        if (c.keyTrusted)
            Write(root / "trusted-keys" / "release-2026.pem", support::kSigningPublicPem);
        if (c.policy)
            Write(root / "trusted-keys" / "policy", c.policy);
        const fs::path imagePath = root / "S1.02.bin";
        Write(imagePath, c.imageBytes);
        if (c.signature)
            Write(root / "S1.02.bin.sig", *c.signature);
        const auto store = image::LoadTrustStore({(root / "trusted-keys").string()}, {});
        ASSERT_EQ(store.index(), 0u) << c.what << ": " << std::get<1>(store);
        const auto& trusted = std::get<image::TrustStore>(store);
        const auto loaded = image::LoadImage(*protocol::NameFirmware(imagePath.string()));
        const auto check = image::CheckSignature(loaded, trusted, trusted.requireSignature);
        EXPECT_EQ(check.accepted, c.accepted) << c.what << ": " << check.refusal;
        const std::string said = c.accepted ? check.keyName : check.refusal;
        EXPECT_NE(said.find(c.reason), std::string::npos) << c.what << ": " << said;
        EXPECT_EQ(check.isSigned, c.accepted && c.signature.has_value()) << c.what;
    }
    // A policy or a key file that says something else is an error naming the file.
    Write(root / "trusted-keys" / "policy", "require_signature = maybe\n");
    const auto badPolicy = image::LoadTrustStore({(root / "trusted-keys").string()}, {});
    ASSERT_EQ(badPolicy.index(), 1u);
    EXPECT_NE(std::get<1>(badPolicy).find("policy"), std::string::npos) << std::get<1>(badPolicy);
    const auto badKey = image::LoadTrustStore({}, {(root / "S1.02.bin").string()});
    ASSERT_EQ(badKey.index(), 1u);
    EXPECT_NE(std::get<1>(badKey).find("not usable"), std::string::npos) << std::get<1>(badKey);
    fs::remove_all(root);
}

} // namespace
