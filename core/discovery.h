#pragma once

// Discovery: the host's own address, the subnet sweep and the device table
// that the search replies fill. UI thread only.

#include "core/channels.h"
#include "core/device_table.h"
#include "core/session_mode.h"
#include "core/tool_view.h"

#include <string>

namespace core {

// The local address up to and including its third dot ("192.168.1.23" ->
// "192.168.1."); with fewer dots, up to the last one; with none, empty.
std::string SubnetPrefix(const std::string& localAddress);

class Discovery {
public:
    Discovery(ToolView& view, SessionMode& mode) : view_(view), mode_(mode), devices_(view) {}

    // The address shown in lbl3. Until one is found it is the label's
    // initial text, which holds no dot, so a sweep then probes no collector.
    const std::string& LocalAddress() const { return localAddress_; }
    void SetLocalAddress(const std::string& address);

    // Empties the list, sets "SS" and probes hosts 1..254 of the local subnet.
    void Sweep(UdpChannel& searchChannel);

    // One search-reply frame (ESC .. ENQ) from `sender`: adds or updates the
    // row of that address while the mode is "SS".
    void HandleSearchReply(const std::string& frame, const std::string& sender);

    const DeviceTable& Devices() const { return devices_; }

private:
    ToolView& view_;
    SessionMode& mode_;
    DeviceTable devices_;
    std::string localAddress_ = "lbl3";
};

} // namespace core
