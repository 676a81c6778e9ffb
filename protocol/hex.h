#pragma once

// Bytes as hex text: two upper-case digits per byte, nothing between them.

#include <string>
#include <string_view>

namespace protocol {

std::string HexEncode(std::string_view bytes);
// Writes 2 * bytes.size() characters at `out`.
void HexEncodeInto(std::string_view bytes, char* out);

} // namespace protocol
