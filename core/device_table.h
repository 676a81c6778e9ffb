#pragma once

// The device list: the collectors that answered the sweep, in the order their
// addresses first answered, one row per address. The core's only store of
// them; every change is shown through the view at once.

#include "core/device_entry.h"
#include "core/tool_view.h"

#include <optional>
#include <string>
#include <vector>

namespace core {

class DeviceTable {
public:
    explicit DeviceTable(ToolView& view) : view_(view) {}

    void Clear();
    void Append(const DeviceEntry& device);
    void SetSerial(int row, const std::string& serial);

    int Count() const { return static_cast<int>(rows_.size()); }
    // The row at `index`, or nothing when there is no such row.
    std::optional<DeviceEntry> Row(std::optional<int> index) const;
    // The first row whose address is `ip`, byte for byte.
    std::optional<int> FindByIp(const std::string& ip) const;

private:
    ToolView& view_;
    std::vector<DeviceEntry> rows_;
};

} // namespace core
