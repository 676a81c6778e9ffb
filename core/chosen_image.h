#pragma once

// The firmware file the operator chose with the browse button: its path and
// its loaded image (protocol/firmware_image.h): the hex text the workers send,
// and the version and SHA-256 read from the same bytes. The hex text is shared
// immutably, so an upgrade that took it keeps sending exactly what it took.

#include "core/tool_view.h"
#include "protocol/firmware_image.h"

#include <string>

namespace core {

using protocol::ImageText;

class ChosenImage {
public:
    // The browse button: the dialog opens on the last accepted file; a chosen
    // name must begin with "S" (else the plain message and nothing changes);
    // path and version text are shown, then the file is loaded whole by the
    // one loader (image/image_loader.h). When loading fails the path and
    // version stay shown, the previous image is kept, and the error goes to
    // the caller's error box.
    void Browse(OpenFileDialog& dialog, Notices& notices, ToolView& view);

    // The last accepted path (redt2); empty until a file was accepted.
    const std::string& Path() const { return path_; }
    // The last image loaded; empty (no bytes, empty hex text) until one was.
    const protocol::FirmwareImage& Loaded() const { return image_; }
    // Never null; empty text until a file was loaded.
    const ImageText& Hex() const { return image_.hex; }

private:
    std::string path_;
    protocol::FirmwareImage image_;
};

} // namespace core
