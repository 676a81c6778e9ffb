#pragma once

#include <string>

namespace core {

// One collector of the device list. Serial and version are the collector's
// raw bytes (GBK as it sends them); a window decodes them only for display.
struct DeviceEntry {
    std::string serial;
    std::string ip; // dotted-decimal IPv4 text
    std::string version;

    bool operator==(const DeviceEntry&) const = default;
};

} // namespace core
