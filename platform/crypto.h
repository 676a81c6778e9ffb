#pragma once

// The system's own cryptography behind one small interface: SHA-256, and
// ECDSA over P-256 with SHA-256 for signed firmware images. OpenSSL's
// libcrypto backs it on Linux, CNG (bcrypt.dll, with crypt32.dll for the PEM
// and DER wrapping of keys) on Windows. Nothing cryptographic is computed
// here.
//
// Keys are PEM text: a public key as "PUBLIC KEY" (SubjectPublicKeyInfo), a
// private key as OpenSSL writes it ("PRIVATE KEY" or "EC PRIVATE KEY").
// Signatures are DER ECDSA-Sig-Value, as `openssl dgst -sha256 -sign` writes
// them.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace platform::crypto {

using Digest = std::array<unsigned char, 32>;

// The SHA-256 of bytes given piece by piece, so that a file is hashed as it
// is read.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;

    void Add(std::string_view bytes);
    // The digest of everything added. Call it once, last.
    Digest Finish();
    // The same as 64 lower-case hexadecimal digits.
    std::string HexDigest();

private:
    struct State;
    std::unique_ptr<State> state_;
};

Digest Sha256Of(std::string_view bytes);
std::string Sha256Hex(std::string_view bytes);
// Lower-case hexadecimal digits of `bytes`.
std::string HexOf(std::string_view bytes);

// A failure of the system's cryptography or a key that is no P-256 key:
// what() says which.
struct CryptoError {
    std::string text;
};

// The DER SubjectPublicKeyInfo of a P-256 public key given in PEM.
std::variant<std::string, CryptoError> PublicKeyDer(std::string_view publicPem);

// Whether `derSignature` is a signature of `message` by the P-256 key
// `publicPem`. A signature that does not verify (or is no DER signature at
// all) is false; a key that cannot be used is an error.
std::variant<bool, CryptoError> VerifySignature(std::string_view publicPem,
                                                std::string_view message,
                                                std::string_view derSignature);

// Whether this system can sign and make keys: Linux can; on Windows only
// verifying is offered (an organisation signs on Linux or with openssl).
bool CanSign();

// The DER signature of `message` by the P-256 private key `privatePem`.
std::variant<std::string, CryptoError> Sign(std::string_view privatePem, std::string_view message);

// The public key, in PEM, of the P-256 private key `privatePem`.
std::variant<std::string, CryptoError> PublicPemOf(std::string_view privatePem);

struct KeyPair {
    std::string privatePem; // PKCS#8 "PRIVATE KEY"
    std::string publicPem;  // "PUBLIC KEY"
};
// A new P-256 key pair.
std::variant<KeyPair, CryptoError> GenerateKeyPair();

} // namespace platform::crypto
