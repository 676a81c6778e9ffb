#pragma once

// Free local UDP ports for a tool under test, so that window tests never need
// the real ports 8000 and 23.

#include "core/upgrade_tool.h"
#include "platform/udp_socket.h"

#include <cstdint>

// A UDP port that was free on this host a moment ago.
inline std::uint16_t FreeUdpPort() {
    platform::UdpSocket probe;
    if (!probe.Create() || !probe.Bind(0))
        return 0;
    return probe.LocalPort();
}

inline core::ToolPorts FreeTestPorts() {
    return core::ToolPorts{FreeUdpPort(), FreeUdpPort(), FreeUdpPort(), FreeUdpPort()};
}
