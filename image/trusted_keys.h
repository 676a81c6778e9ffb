#pragma once

// The public keys a site trusts to sign firmware images, and its policy. They
// live in a folder (platform::TrustedKeyFolders: /etc/collector-upgrade/
// trusted-keys/ on Linux): each NAME.pem there is a P-256 public key named
// NAME, and a file `policy` can say `require_signature = yes`. The operator
// can add key files by name (--trusted-key); several keys are trusted at once,
// so that a key can be rotated.

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace image {

struct TrustedKey {
    std::string name; // the file name without its extension
    std::string id;   // KeyIdOf its public key
    std::string pem;
};

struct TrustStore {
    std::vector<TrustedKey> keys;
    bool requireSignature = false; // a policy file said so

    const TrustedKey* Find(const std::string& keyId) const;
};

// The id that a signature file names its key by: the first 16 hexadecimal
// digits of the SHA-256 of the public key's DER SubjectPublicKeyInfo; nullopt
// when `publicPem` is no P-256 public key (`error` says why).
std::optional<std::string> KeyIdOf(const std::string& publicPem, std::string* error = nullptr);

// The keys and policy of `folders` (a missing folder holds nothing) and the
// key files `extraKeys`. The text says which file is wrong and how: a key
// file that holds no P-256 public key, a policy line that is not
// `require_signature = yes|no`, a file that cannot be read.
std::variant<TrustStore, std::string> LoadTrustStore(const std::vector<std::string>& folders,
                                                     const std::vector<std::string>& extraKeys);

// Reads the small text file `path` whole (at most `maxBytes`); the text says why not.
std::variant<std::string, std::string> ReadSmallFile(const std::string& path,
                                                     std::size_t maxBytes);

} // namespace image
