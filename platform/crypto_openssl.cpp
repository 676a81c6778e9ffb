#include "platform/crypto.h"

// The Linux backend: OpenSSL's libcrypto, through its EVP interface.

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <climits>
#include <cstring>
#include <stdexcept>

namespace platform::crypto {

namespace {

struct Freer {
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(BIO* p) const { BIO_free(p); }
};
template <typename T> using Owned = std::unique_ptr<T, Freer>;

// The library's reason for the last failure, or `fallback`.
CryptoError Failure(const std::string& what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return {what};
    char reason[256];
    ERR_error_string_n(code, reason, sizeof reason);
    return {what + " (" + reason + ")"};
}

Owned<BIO> MemoryOf(std::string_view text) {
    if (text.size() > INT_MAX)
        return nullptr;
    return Owned<BIO>(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

std::string TextOf(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

// The key only when it is an EC key on P-256.
std::variant<Owned<EVP_PKEY>, CryptoError> P256Key(Owned<EVP_PKEY> key, const char* kind) {
    if (!key) {
        ERR_clear_error(); // the decoder's words add nothing for the operator
        return CryptoError{std::string("not a PEM ") + kind};
    }
    char group[64] = {};
    if (!EVP_PKEY_is_a(key.get(), "EC") ||
        !EVP_PKEY_get_group_name(key.get(), group, sizeof group, nullptr) ||
        std::strcmp(group, "prime256v1") != 0) {
        ERR_clear_error();
        return CryptoError{std::string("the ") + kind + " is not an ECDSA P-256 key"};
    }
    return key;
}

std::variant<Owned<EVP_PKEY>, CryptoError> ReadPublicKey(std::string_view pem) {
    const auto bio = MemoryOf(pem);
    return P256Key(Owned<EVP_PKEY>(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr)
                                       : nullptr),
                   "public key");
}

} // namespace

struct Sha256::State {
    Owned<EVP_MD_CTX> context{EVP_MD_CTX_new()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!state_->context || EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1)
        throw std::runtime_error(Failure("SHA-256 is not available").text);
}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Add(std::string_view bytes) {
    if (!bytes.empty() && EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) != 1)
        throw std::runtime_error(Failure("SHA-256 failed").text);
}

Digest Sha256::Finish() {
    Digest digest{};
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(state_->context.get(), digest.data(), &size) != 1 ||
        size != digest.size())
        throw std::runtime_error(Failure("SHA-256 failed").text);
    return digest;
}

std::variant<std::string, CryptoError> PublicKeyDer(std::string_view publicPem) {
    auto key = ReadPublicKey(publicPem);
    if (auto* error = std::get_if<CryptoError>(&key))
        return *error;
    unsigned char* der = nullptr;
    const int size = i2d_PUBKEY(std::get<0>(key).get(), &der);
    if (size <= 0)
        return Failure("the public key cannot be encoded");
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(size));
    OPENSSL_free(der);
    return bytes;
}

std::variant<bool, CryptoError> VerifySignature(std::string_view publicPem,
                                                std::string_view message,
                                                std::string_view derSignature) {
    auto key = ReadPublicKey(publicPem);
    if (auto* error = std::get_if<CryptoError>(&key))
        return *error;
    Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr,
                                         std::get<0>(key).get()) != 1)
        return Failure("cannot verify with the public key");
    const int verdict = EVP_DigestVerify(
        context.get(), reinterpret_cast<const unsigned char*>(derSignature.data()),
        derSignature.size(), reinterpret_cast<const unsigned char*>(message.data()),
        message.size());
    ERR_clear_error(); // a malformed signature leaves a decoding error behind
    return verdict == 1;
}

bool CanSign() {
    return true;
}

namespace {

std::variant<Owned<EVP_PKEY>, CryptoError> ReadPrivateKey(std::string_view pem) {
    const auto bio = MemoryOf(pem);
    return P256Key(Owned<EVP_PKEY>(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr,
                                                                 nullptr)
                                       : nullptr),
                   "private key");
}

} // namespace

std::variant<std::string, CryptoError> PublicPemOf(std::string_view privatePem) {
    auto key = ReadPrivateKey(privatePem);
    if (auto* error = std::get_if<CryptoError>(&key))
        return *error;
    Owned<BIO> text(BIO_new(BIO_s_mem()));
    if (!text || PEM_write_bio_PUBKEY(text.get(), std::get<0>(key).get()) != 1)
        return Failure("cannot write the public key");
    return TextOf(text.get());
}

std::variant<std::string, CryptoError> Sign(std::string_view privatePem, std::string_view message) {
    auto key = ReadPrivateKey(privatePem);
    if (auto* error = std::get_if<CryptoError>(&key))
        return *error;
    Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
    std::size_t size = 0;
    if (!context ||
        EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr,
                           std::get<0>(key).get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &size, nullptr, 0) != 1)
        return Failure("cannot sign with the private key");
    std::string signature(size, '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1)
        return Failure("signing failed");
    signature.resize(size);
    return signature;
}

std::variant<KeyPair, CryptoError> GenerateKeyPair() {
    Owned<EVP_PKEY> key(EVP_EC_gen("P-256"));
    Owned<BIO> privateText(BIO_new(BIO_s_mem())), publicText(BIO_new(BIO_s_mem()));
    if (!key || !privateText || !publicText ||
        PEM_write_bio_PrivateKey(privateText.get(), key.get(), nullptr, nullptr, 0, nullptr,
                                 nullptr) != 1 ||
        PEM_write_bio_PUBKEY(publicText.get(), key.get()) != 1)
        return Failure("cannot make a P-256 key pair");
    return KeyPair{TextOf(privateText.get()), TextOf(publicText.get())};
}

} // namespace platform::crypto
