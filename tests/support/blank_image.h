#pragma once

// A firmware image of `bytes` zero bytes, version "S2", for tests that drive
// a session without loading a file.

#include "fleet/session/firmware_image.h"
#include "protocol/collector_rules.h"

#include <memory>
#include <string>

namespace support {

inline std::shared_ptr<fleet::FirmwareImage> BlankImage(std::size_t bytes) {
    auto image = std::make_shared<fleet::FirmwareImage>();
    image->versionWire = image->versionAsReported = "S2";
    image->hex = std::make_shared<const std::string>(2 * bytes, '0');
    image->blockCount = (bytes + protocol::kBlockBytes - 1) / protocol::kBlockBytes;
    return image;
}

} // namespace support
