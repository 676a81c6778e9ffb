#pragma once

// Turning a chosen firmware file into the hex text that is sent.

#include <string>
#include <string_view>

// The file name without its folder: everything after the last "\", ":" or "/".
std::string NamePart(std::string_view path);

// Only files whose name begins with the upper-case "S" are firmware images.
bool IsFirmwareName(std::string_view path);

// The name part without its extension (from its last "." on); dots in folder
// names never count. "C:\fw.new\S1.02.bin" -> "S1.02".
std::string VersionTextFromPath(std::string_view path);

// Two upper-case hex digits per byte.
std::string HexEncode(std::string_view bytes);

// Reads the whole file into `imageHex` (cleared first, replaced only once the
// file is open). Throws std::runtime_error with the text
// Cannot open file "<path>". <system description>  when it cannot be opened.
void LoadImageHex(const std::string& path, std::string& imageHex);
