#pragma once

// The firmware file the operator chose with the browse button: its path and
// the hex text of its image (protocol/firmware_image.h). The text is shared
// immutably, so an upgrade that took it keeps sending exactly what it took.

#include "core/tool_view.h"
#include "protocol/firmware_file.h"

#include <memory>
#include <string>

namespace core {

using protocol::ImageText;

class ChosenImage {
public:
    // The browse button: the dialog opens on the last accepted file; a chosen
    // name must begin with "S" (else the plain message and nothing changes);
    // path and version text are shown, then the file is loaded whole. When
    // loading fails the path and version stay shown, the previous hex text is
    // kept, and the error goes to the caller's error box.
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
