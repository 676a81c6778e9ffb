#include "platform/ecdsa_der.h"

#include <algorithm>
#include <cstddef>

namespace platform::crypto {

namespace {

constexpr unsigned char kSequence = 0x30;
constexpr unsigned char kInteger = 0x02;
constexpr std::size_t kHalf = 32;

// Reads one positive INTEGER of at most 32 bytes at `at` into `out`
// (right-aligned); false for anything else.
bool ReadInteger(std::string_view der, std::size_t& at, unsigned char* out) {
    if (der.size() - at < 2 || static_cast<unsigned char>(der[at]) != kInteger)
        return false;
    const std::size_t length = static_cast<unsigned char>(der[at + 1]);
    at += 2;
    if (length == 0 || length > kHalf + 1 || der.size() - at < length)
        return false;
    const auto* value = reinterpret_cast<const unsigned char*>(der.data() + at);
    at += length;
    if (value[0] & 0x80)
        return false; // negative
    std::size_t skip = 0;
    if (value[0] == 0x00 && length > 1) {
        if (!(value[1] & 0x80))
            return false; // not minimal
        skip = 1;
    }
    const std::size_t size = length - skip;
    if (size > kHalf)
        return false;
    std::fill(out, out + kHalf - size, 0);
    std::copy(value + skip, value + length, out + kHalf - size);
    return true;
}

} // namespace

std::optional<RawSignature> RawFromDerSignature(std::string_view der) {
    // A sequence of two integers of at most 33 bytes each fits a short-form length.
    if (der.size() < 2 || static_cast<unsigned char>(der[0]) != kSequence ||
        static_cast<unsigned char>(der[1]) >= 0x80 ||
        static_cast<unsigned char>(der[1]) != der.size() - 2)
        return std::nullopt;
    RawSignature raw{};
    std::size_t at = 2;
    if (!ReadInteger(der, at, raw.data()) || !ReadInteger(der, at, raw.data() + kHalf) ||
        at != der.size())
        return std::nullopt;
    return raw;
}

} // namespace platform::crypto
