#pragma once

// Which programs hold a UDP port of this computer: on Linux from the kernel's
// socket tables under /proc and each process's open sockets, on Windows from
// the system's UDP table with each owner's image name.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct PortHolder {
    std::uint32_t pid = 0;
    std::string name; // the program's name ("python3", "CollectorFleet.exe"); empty: unreadable
};

struct PortHolders {
    std::vector<PortHolder> holders; // by process id, each once
    // Sockets on the port whose owner could not be found (another user's
    // process seen without the rights to look into it).
    int unowned = 0;
    // Why the table could not be read at all, in English; empty when it was.
    std::string error;
};

// Every process with a UDP socket (IPv4 or IPv6) bound to local `port`.
PortHolders UdpPortHolders(std::uint16_t port);

#ifndef _WIN32
// The socket inodes of the lines of one of the kernel's tables
// (/proc/net/udp or /proc/net/udp6) whose local port is `port`. Lines that
// are not such table lines are skipped.
std::vector<unsigned long> UdpSocketInodes(std::string_view table, std::uint16_t port);

// UdpPortHolders under another /proc (a test's copy): `procRoot` holds
// net/udp, net/udp6 and the numbered process folders with fd/ and comm.
PortHolders UdpPortHoldersUnder(const std::string& procRoot, std::uint16_t port);
#endif

} // namespace platform
