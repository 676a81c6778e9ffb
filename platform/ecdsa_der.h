#pragma once

// An ECDSA P-256 signature between its two encodings: DER ECDSA-Sig-Value
// (SEQUENCE of the INTEGERs r and s), as OpenSSL writes and reads it, and the
// raw r||s of 64 bytes that CNG takes. The reader is strict and bounded
// (short-form lengths, minimal positive integers of at most 32 bytes, nothing
// after the sequence); it is small enough to hold to its tests, and works
// the same on every system the programs run on.

#include <array>
#include <optional>
#include <string_view>

namespace platform::crypto {

using RawSignature = std::array<unsigned char, 64>;

// r||s, each big-endian in 32 bytes; nullopt for anything but a well-formed
// DER P-256 signature.
std::optional<RawSignature> RawFromDerSignature(std::string_view der);

} // namespace platform::crypto
