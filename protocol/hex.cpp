#include "protocol/hex.h"

namespace protocol {

void HexEncodeInto(std::string_view bytes, char* out) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = kDigits[b >> 4];
        *out++ = kDigits[b & 0xF];
    }
}

std::string HexEncode(std::string_view bytes) {
    std::string hex(bytes.size() * 2, '0');
    HexEncodeInto(bytes, hex.data());
    return hex;
}

} // namespace protocol
