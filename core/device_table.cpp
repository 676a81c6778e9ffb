#include "core/device_table.h"

namespace core {

void DeviceTable::Clear() {
    rows_.clear();
    view_.DevicesCleared();
}

void DeviceTable::Append(const DeviceEntry& device) {
    rows_.push_back(device);
    view_.DeviceAdded(device);
}

void DeviceTable::SetSerial(int row, const std::string& serial) {
    if (row < 0 || row >= Count())
        return;
    rows_[static_cast<std::size_t>(row)].serial = serial;
    view_.DeviceSerialChanged(row, serial);
}

std::optional<DeviceEntry> DeviceTable::Row(std::optional<int> index) const {
    if (!index || *index < 0 || *index >= Count())
        return std::nullopt;
    return rows_[static_cast<std::size_t>(*index)];
}

std::optional<int> DeviceTable::FindByIp(const std::string& ip) const {
    for (int row = 0; row < Count(); ++row)
        if (rows_[static_cast<std::size_t>(row)].ip == ip)
            return row;
    return std::nullopt;
}

} // namespace core
