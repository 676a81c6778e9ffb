#include "platform/crypto.h"

// What both backends share: the whole-buffer digest and hexadecimal text.

namespace platform::crypto {

Digest Sha256Of(std::string_view bytes) {
    Sha256 digest;
    digest.Add(bytes);
    return digest.Finish();
}

std::string Sha256Hex(std::string_view bytes) {
    Sha256 digest;
    digest.Add(bytes);
    return digest.HexDigest();
}

std::string HexOf(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const unsigned char c : bytes) {
        text += kDigits[c >> 4];
        text += kDigits[c & 0x0f];
    }
    return text;
}

std::string Sha256::HexDigest() {
    const Digest digest = Finish();
    return HexOf(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

} // namespace platform::crypto
