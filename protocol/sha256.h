#pragma once

// SHA-256 (FIPS 180-4) of a byte string, for the image's fingerprint: the
// fleet's run report and its confirmation question name it. The libraries the
// programs already build on offer no hash, and a cryptographic library for
// one digest of a small file would be a heavy dependency; this is the plain
// algorithm, checked against the published test vectors.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace protocol {

// The digest of bytes given piece by piece, so a file is hashed as it is read.
class Sha256 {
public:
    void Add(std::string_view bytes);
    // 64 lower-case hexadecimal digits of everything added. Call it once, last.
    std::string HexDigest();

private:
    std::array<std::uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<unsigned char, 64> pending_{}; // the start of a block not yet whole
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// The digest of `bytes` at once.
std::string Sha256Hex(std::string_view bytes);

} // namespace protocol
