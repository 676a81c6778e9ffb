// The system's cryptography behind platform/crypto.h, on the system the tests
// run on (OpenSSL on Linux, CNG under wine): the published SHA-256 vectors,
// and a signature that `openssl dgst -sha256 -sign` made.
#include "platform/crypto.h"
#include "platform/ecdsa_der.h"

#include "signing_key.h"

#include <gtest/gtest.h>

namespace {

namespace crypto = platform::crypto;

TEST(Sha256, PublishedTestVectorsWholeOrPieceByPiece) {
    EXPECT_EQ(crypto::Sha256Hex(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(crypto::Sha256Hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::string twoBlocksDigest =
        "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
    EXPECT_EQ(crypto::Sha256Hex(twoBlocks), twoBlocksDigest);
    EXPECT_EQ(crypto::Sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    for (const std::size_t piece : {1u, 7u, 55u}) {
        crypto::Sha256 digest;
        for (std::size_t at = 0; at < twoBlocks.size(); at += piece)
            digest.Add(std::string_view(twoBlocks).substr(at, piece));
        EXPECT_EQ(digest.HexDigest(), twoBlocksDigest) << piece;
    }
}

// A signature of "abc" by support::kSigningPublicPem's key, made with
//   printf abc | openssl dgst -sha256 -sign k.pem -out sig.der
constexpr const char* kPublicPem = support::kSigningPublicPem;
const std::string kSignatureHex = "30450220149c0f070174049b56f8f4339524eb2a168393db9233301bd160014a"
                                  "8bd8392f022100fcf2659b4b0ec25c9b884d680045d2f8a07639559939283b"
                                  "9cd9bbde7c37fd14";

std::string Bytes(const std::string& hex) {
    std::string bytes;
    for (std::size_t at = 0; at + 1 < hex.size(); at += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
    return bytes;
}

// true/false for a verdict, "error" for a key the system refused.
std::string Verdict(std::string_view pem, std::string_view message, std::string_view signature) {
    const auto verdict = crypto::VerifySignature(pem, message, signature);
    if (const auto* good = std::get_if<bool>(&verdict))
        return *good ? "true" : "false";
    return "error";
}

TEST(Signature, OpensslSignatureVerifiesAndNothingElseDoes) {
    const std::string signature = Bytes(kSignatureHex);
    EXPECT_EQ(Verdict(kPublicPem, "abc", signature), "true");
    EXPECT_EQ(Verdict(kPublicPem, "abd", signature), "false");
    std::string flipped = signature;
    flipped[10] ^= 1;
    EXPECT_EQ(Verdict(kPublicPem, "abc", flipped), "false");
    EXPECT_EQ(Verdict(kPublicPem, "abc", signature.substr(0, 20)), "false");
    EXPECT_EQ(Verdict("-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n", "abc",
                      signature),
              "error");
    const auto der = crypto::PublicKeyDer(kPublicPem);
    ASSERT_EQ(der.index(), 0u);
    EXPECT_EQ(crypto::Sha256Hex(std::get<0>(der)).substr(0, 16), support::kSigningKeyId);
    if (!crypto::CanSign())
        return;
    const auto pair = crypto::GenerateKeyPair();
    ASSERT_EQ(pair.index(), 0u);
    const auto made = crypto::Sign(std::get<0>(pair).privatePem, "abc");
    ASSERT_EQ(made.index(), 0u);
    EXPECT_EQ(Verdict(std::get<0>(pair).publicPem, "abc", std::get<0>(made)), "true");
    EXPECT_EQ(Verdict(kPublicPem, "abc", std::get<0>(made)), "false");
}

// The DER reader that hands CNG its r||s: the openssl signature above, and
// every malformation refused.
TEST(Signature, DerReaderTakesOnlyWellFormedP256Signatures) {
    const std::string good = Bytes(kSignatureHex);
    const auto raw = crypto::RawFromDerSignature(good);
    ASSERT_TRUE(raw);
    EXPECT_EQ(crypto::HexOf(std::string_view(reinterpret_cast<const char*>(raw->data()), 64)),
              kSignatureHex.substr(8, 64) + kSignatureHex.substr(78, 64));
    const auto shortR = crypto::RawFromDerSignature(Bytes("3006020101020102"));
    ASSERT_TRUE(shortR);
    EXPECT_EQ((*shortR)[31], 1);
    EXPECT_EQ((*shortR)[0], 0);
    for (const char* bad : {"", "30", "3106020101020102", "3007020101020102", "3006020101020102ff",
                            "30060201010201ff", "3006020081020101", "300702020001020101",
                            "30050201010201", "3006020101020201"})
        EXPECT_FALSE(crypto::RawFromDerSignature(Bytes(bad))) << bad;
    // An INTEGER of 33 bytes that is not a padded 32-byte one.
    EXPECT_FALSE(crypto::RawFromDerSignature(Bytes("3026022101" + std::string(64, '1') + "020101")));
}

} // namespace
