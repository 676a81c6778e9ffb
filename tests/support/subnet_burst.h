#pragma once

// The replies of a whole /24 arriving back to back at a core's search channel
// while its UI thread is stalled, then read: how many reach the device list.
// Shared by the integration test and the burst figure (tools/benchmarks).

#include "fake_views.h"
#include "ui_thread_pump.h"
#include "virtual_sleeper.h"

#ifdef __linux__
#include <linux/sock_diag.h>
#include <sys/socket.h>
#endif

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <thread>

struct SubnetBurstResult {
    bool sent = false;           // every collector socket bound and sent
    int receiveBufferBytes = -1; // what the kernel granted the search socket (-1: unknown)
    int queuedBytes = -1;        // kernel memory the waiting replies took (-1: unknown)
    std::size_t listed = 0;      // distinct addresses in the device list
};

#ifdef __linux__
// What the kernel granted a socket for receiving, and the memory that the
// datagrams waiting on it take; -1 when it does not say.
inline int GrantedReceiveBuffer(const platform::UdpSocket& socket) {
    int value = -1;
    socklen_t length = sizeof value;
    ::getsockopt(static_cast<int>(socket.NativeHandle()), SOL_SOCKET, SO_RCVBUF, &value, &length);
    return value;
}

inline int QueuedReceiveMemory(const platform::UdpSocket& socket) {
    std::uint32_t memory[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof memory;
    if (::getsockopt(static_cast<int>(socket.NativeHandle()), SOL_SOCKET, SO_MEMINFO, memory,
                     &length) != 0)
        return -1;
    return static_cast<int>(memory[SK_MEMINFO_RMEM_ALLOC]);
}
#endif

// `hosts` collectors at 127.0.1.1 .. 127.0.1.<hosts> (all loopback), each
// sending one 600-byte reply with nobody reading for 100 ms.
inline SubnetBurstResult RunSubnetBurst(int hosts) {
    FakeWindow window;
    VirtualSleeper sleeper;
    core::UpgradeTool tool(
        window.Ports(sleeper, [] { return std::optional<std::string>("127.0.0.1"); }),
        core::ToolPorts{0, 9, 0, 9});
    tool.FormShow();
    tool.FormActivate();
    tool.Mode().Set(core::Mode::SS);
    const auto port = tool.SearchChannel().Socket().LocalPort();

    SubnetBurstResult result;
#ifdef __linux__
    result.receiveBufferBytes = GrantedReceiveBuffer(tool.SearchChannel().Socket());
#endif
    result.sent = true;
    for (int host = 1; host <= hosts; ++host) {
        platform::UdpSocket collector;
        const std::string address = "127.0.1." + std::to_string(host);
        std::string reply = "\x1B"
                            "SN" +
                            std::to_string(host) + "#S1.0";
        reply += std::string(600 - reply.size() - 1, 'v') + "\x05";
        result.sent = result.sent && collector.Create() && collector.BindAddress(address, 0) &&
                      collector.SendTo(reply, "127.0.0.1", port);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the UI thread is stalled
#ifdef __linux__
    result.queuedBytes = QueuedReceiveMemory(tool.SearchChannel().Socket());
#endif

    PumpUntil(
        tool, [&] { return tool.DeviceDiscovery().Devices().Count() >= hosts; },
        std::chrono::seconds(3));
    std::set<std::string> addresses;
    for (const auto& row : window.view.rows)
        addresses.insert(row.ip);
    result.listed = addresses.size();
    return result;
}
