#pragma once

// SHA-256 (FIPS 180-4) of a byte string, for the image's fingerprint in the
// run report. The libraries this program already builds on offer no hash, and
// a cryptographic library for one digest of a small file would be a heavy
// dependency; this is the plain algorithm, checked against the published
// test vectors (tests/unit/fleet).

#include <string>
#include <string_view>

namespace fleet {

// 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

} // namespace fleet
