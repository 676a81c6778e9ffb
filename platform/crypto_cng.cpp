#include "platform/crypto.h"

// The Windows backend: CNG (bcrypt.dll) hashes and verifies; crypt32.dll
// takes a PEM public key apart (base64, then the DER SubjectPublicKeyInfo).
// Signing and making keys are left to Linux or to openssl: CNG cannot read an
// OpenSSL private key without a decoder of its own.

#include "platform/ecdsa_der.h"

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace platform::crypto {

namespace {

constexpr NTSTATUS kSuccess = 0;
constexpr NTSTATUS kInvalidSignature = static_cast<NTSTATUS>(0xC000A000L);

std::string StatusText(const char* what, NTSTATUS status) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
    return std::string(what) + " (status " + code + ")";
}

// An algorithm provider opened once for the program's life.
BCRYPT_ALG_HANDLE Provider(const wchar_t* algorithm) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    const NTSTATUS status = BCryptOpenAlgorithmProvider(&handle, algorithm, nullptr, 0);
    if (status != kSuccess)
        throw std::runtime_error(StatusText("the system offers no such algorithm", status));
    return handle;
}

BCRYPT_ALG_HANDLE Sha256Provider() {
    static const BCRYPT_ALG_HANDLE provider = Provider(BCRYPT_SHA256_ALGORITHM);
    return provider;
}

// The DER of the "PUBLIC KEY" block of `pem`; empty when there is none.
std::vector<BYTE> DerOfPem(std::string_view pem) {
    constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
    constexpr std::string_view kEnd = "-----END PUBLIC KEY-----";
    const auto begin = pem.find(kBegin);
    const auto end = pem.find(kEnd);
    if (pem.size() > 1 << 20 || begin == std::string_view::npos || end == std::string_view::npos ||
        end < begin)
        return {};
    const std::string_view base64 = pem.substr(begin + kBegin.size(), end - begin - kBegin.size());
    DWORD size = 0;
    if (!CryptStringToBinaryA(base64.data(), static_cast<DWORD>(base64.size()),
                              CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr))
        return {};
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(base64.data(), static_cast<DWORD>(base64.size()),
                              CRYPT_STRING_BASE64, der.data(), &size, nullptr, nullptr))
        return {};
    der.resize(size);
    return der;
}

struct PublicKey {
    std::vector<BYTE> der;   // SubjectPublicKeyInfo
    std::vector<BYTE> point; // 0x04, X, Y
};

// The P-256 public key of a PEM text, checked: an EC key whose curve is P-256.
std::variant<PublicKey, CryptoError> ReadPublicKey(std::string_view pem) {
    PublicKey key;
    key.der = DerOfPem(pem);
    if (key.der.empty())
        return CryptoError{"not a PEM public key"};
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD infoSize = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key.der.data(),
                             static_cast<DWORD>(key.der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr,
                             &info, &infoSize))
        return CryptoError{"not a PEM public key"};
    // The named curve P-256 (1.2.840.10045.3.1.7) as a DER object identifier.
    static constexpr BYTE kP256[] = {0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07};
    const auto& parameters = info->Algorithm.Parameters;
    const bool p256 = info->Algorithm.pszObjId != nullptr &&
                      std::string(info->Algorithm.pszObjId) == szOID_ECC_PUBLIC_KEY &&
                      parameters.cbData == sizeof kP256 &&
                      std::equal(kP256, kP256 + sizeof kP256, parameters.pbData) &&
                      info->PublicKey.cbData == 65 && info->PublicKey.pbData[0] == 0x04;
    if (p256)
        key.point.assign(info->PublicKey.pbData, info->PublicKey.pbData + 65);
    LocalFree(info);
    if (!p256)
        return CryptoError{"the public key is not an ECDSA P-256 key"};
    return key;
}

} // namespace

struct Sha256::State {
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State() {
        if (hash)
            BCryptDestroyHash(hash);
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    const NTSTATUS status =
        BCryptCreateHash(Sha256Provider(), &state_->hash, nullptr, 0, nullptr, 0, 0);
    if (status != kSuccess)
        throw std::runtime_error(StatusText("SHA-256 is not available", status));
}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Add(std::string_view bytes) {
    while (!bytes.empty()) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), 1u << 30));
        const NTSTATUS status = BCryptHashData(
            state_->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), piece, 0);
        if (status != kSuccess)
            throw std::runtime_error(StatusText("SHA-256 failed", status));
        bytes.remove_prefix(piece);
    }
}

Digest Sha256::Finish() {
    Digest digest{};
    const NTSTATUS status =
        BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
    if (status != kSuccess)
        throw std::runtime_error(StatusText("SHA-256 failed", status));
    return digest;
}

std::variant<std::string, CryptoError> PublicKeyDer(std::string_view publicPem) {
    auto key = ReadPublicKey(publicPem);
    if (auto* error = std::get_if<CryptoError>(&key))
        return *error;
    const auto& der = std::get<PublicKey>(key).der;
    return std::string(der.begin(), der.end());
}

std::variant<bool, CryptoError> VerifySignature(std::string_view publicPem,
                                                std::string_view message,
                                                std::string_view derSignature) {
    auto read = ReadPublicKey(publicPem);
    if (auto* error = std::get_if<CryptoError>(&read))
        return *error;
    const auto& point = std::get<PublicKey>(read).point;
    const auto raw = RawFromDerSignature(derSignature);
    if (!raw)
        return false;
    static const BCRYPT_ALG_HANDLE ecdsa = Provider(BCRYPT_ECDSA_P256_ALGORITHM);
    // BCRYPT_ECCKEY_BLOB, then X and Y.
    std::vector<BYTE> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64);
    BCRYPT_ECCKEY_BLOB head{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &head, sizeof head);
    std::copy(point.begin() + 1, point.end(), blob.begin() + sizeof head);
    BCRYPT_KEY_HANDLE key = nullptr;
    NTSTATUS status = BCryptImportKeyPair(ecdsa, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob.data(),
                                          static_cast<ULONG>(blob.size()), 0);
    if (status != kSuccess)
        return CryptoError{StatusText("the system cannot use the public key", status)};
    Digest digest = Sha256Of(message);
    RawSignature signature = *raw;
    status = BCryptVerifySignature(key, nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                   signature.data(), static_cast<ULONG>(signature.size()), 0);
    BCryptDestroyKey(key);
    if (status == kSuccess)
        return true;
    if (status == kInvalidSignature)
        return false;
    return CryptoError{StatusText("the system could not verify the signature", status)};
}

bool CanSign() {
    return false;
}

std::variant<std::string, CryptoError> Sign(std::string_view, std::string_view) {
    return CryptoError{"signing is done on Linux (collector-fleet image sign) or with openssl"};
}

std::variant<std::string, CryptoError> PublicPemOf(std::string_view) {
    return CryptoError{"private keys are read on Linux (collector-fleet image sign) or by openssl"};
}

std::variant<KeyPair, CryptoError> GenerateKeyPair() {
    return CryptoError{"keys are made on Linux (collector-fleet image keygen) or with openssl"};
}

} // namespace platform::crypto
