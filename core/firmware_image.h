#pragma once

// The firmware image: the chosen file's path, the version text its name
// gives, and its hex text (two upper-case digits per byte). The hex text is
// shared immutably: a new choice replaces the pointer, never the text, so an
// upgrade that took the image keeps sending exactly what it took.

#include "core/tool_view.h"

#include <memory>
#include <string>
#include <string_view>

namespace core {

using ImageText = std::shared_ptr<const std::string>;

// The file name without its folder: everything after the last "\", ":" or "/".
std::string NamePart(std::string_view path);

// Only files whose name begins with the upper-case "S" are firmware images.
bool IsFirmwareName(std::string_view path);

// The name part without its extension (from its last "." on); dots in folder
// names never count. "C:\fw.new\S1.02.bin" -> "S1.02".
std::string VersionTextFromPath(std::string_view path);

// Two upper-case hex digits per byte.
std::string HexEncode(std::string_view bytes);

// The whole file as hex text. Throws std::runtime_error with the text
//   Cannot open file "<path>". <system description>
// when it is not a regular file that can be opened; lets std::bad_alloc and
// std::length_error through. The file is closed on every path.
ImageText LoadImageHex(const std::string& path);

class FirmwareImage {
public:
    // The browse button: the dialog opens on the last accepted file; a chosen
    // name must begin with "S" (else the plain message and nothing changes);
    // path and version text are shown, then the file is loaded. When loading
    // fails the path and version stay shown, the previous hex text is kept,
    // and the error goes to the caller's error box.
    void Browse(OpenFileDialog& dialog, Notices& notices, ToolView& view);

    // The last accepted path (redt2); empty until a file was accepted.
    const std::string& Path() const { return path_; }
    // Never null; empty text until a file was loaded.
    const ImageText& Hex() const { return hex_; }

private:
    std::string path_;
    ImageText hex_ = std::make_shared<const std::string>();
};

} // namespace core
