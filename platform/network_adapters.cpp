#include "platform/network_adapters.h"

#ifdef _WIN32
// Order matters (Winsock first, the adapter table last); blank lines keep
// the formatter from sorting them.
#include <winsock2.h>

#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>

#include "platform/socket_library.h"
#include "platform/wide_text.h"

#include <memory>
#else
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#endif

#include <algorithm>
#include <bitset>
#include <cctype>

namespace platform {

namespace {

std::string DottedText(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

bool ContainsNoCase(const std::string& text, const std::string& word) {
    const auto lower = [](std::string value) {
        std::transform(value.begin(), value.end(), value.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return value;
    };
    return lower(text).find(lower(word)) != std::string::npos;
}

} // namespace

std::string WindowsVirtualKind(unsigned long ifType, const std::string& friendlyName,
                               const std::string& description) {
    // IfType values of the interface type registry (ipifcons.h).
    constexpr unsigned long kPpp = 23, kPropVirtual = 53, kTunnel = 131;
    if (friendlyName.rfind("vEthernet", 0) == 0 || ContainsNoCase(description, "Hyper-V Virtual"))
        return "vEthernet";
    if (ContainsNoCase(description, "Docker") || ContainsNoCase(friendlyName, "Docker"))
        return "docker";
    if (ContainsNoCase(description, "TAP-") || ContainsNoCase(description, "Wintun"))
        return "tun/tap";
    if (ifType == kPpp || ContainsNoCase(description, "VPN") ||
        ContainsNoCase(description, "WireGuard"))
        return "vpn";
    if (ifType == kTunnel)
        return "tunnel";
    if (ifType == kPropVirtual || ContainsNoCase(description, "Virtual"))
        return "virtual";
    return {};
}

#ifdef _WIN32

std::vector<NetworkAdapter> ListNetworkAdapters() {
    std::vector<NetworkAdapter> adapters;
    // The addresses are turned into text by Winsock, which works only once
    // started; `interfaces` may be the first thing a process does.
    if (!EnsureSocketLibrary())
        return adapters;
    ULONG size = 16 * 1024;
    std::unique_ptr<unsigned char[]> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list can grow between the size query and the call: a few tries.
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer = std::make_unique<unsigned char[]>(size);
        result = GetAdaptersAddresses(
            AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
            nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size);
    }
    if (result != NO_ERROR)
        return adapters;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()); adapter;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp)
            continue;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const auto* socketAddress = unicast->Address.lpSockaddr;
            if (socketAddress == nullptr || socketAddress->sa_family != AF_INET)
                continue;
            NetworkAdapter entry;
            entry.name = adapter->FriendlyName != nullptr ? WideToUtf8(adapter->FriendlyName) : "";
            entry.address =
                DottedText(reinterpret_cast<const sockaddr_in*>(socketAddress)->sin_addr);
            entry.prefixLength = unicast->OnLinkPrefixLength;
            entry.loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
            entry.virtualKind = WindowsVirtualKind(
                adapter->IfType, entry.name,
                adapter->Description != nullptr ? WideToUtf8(adapter->Description) : "");
            adapters.push_back(entry);
        }
    }
    return adapters;
}

#else

namespace {

// What /sys/class/net tells of an interface's kind: a bridge (docker0 and
// Docker's br-… networks are bridges too), a tun or tap device, a
// point-to-point or tunnel type (PPP, WireGuard and other VPNs, GRE, SIT).
std::string LinuxVirtualKind(std::string name) {
    name = name.substr(0, name.find(':')); // an alias ("eth0:1") is its interface
    const std::string base = "/sys/class/net/" + name;
    if (name.rfind("docker", 0) == 0)
        return "docker";
    if (::access((base + "/bridge").c_str(), F_OK) == 0)
        return "bridge";
    if (::access((base + "/tun_flags").c_str(), F_OK) == 0)
        return "tun/tap";
    int type = 0;
    std::ifstream(base + "/type") >> type;
    // ARPHRD_PPP, ARPHRD_NONE (WireGuard, tun), and the tunnel types.
    if (type == 512 || type == 65534)
        return "vpn";
    if (type == 768 || type == 769 || type == 776 || type == 778 || type == 823)
        return "tunnel";
    std::ifstream uevent(base + "/uevent");
    for (std::string line; std::getline(uevent, line);)
        if (line == "DEVTYPE=wireguard")
            return "vpn";
        else if (line == "DEVTYPE=vxlan" || line == "DEVTYPE=geneve")
            return "tunnel";
    return {};
}

} // namespace

std::vector<NetworkAdapter> ListNetworkAdapters() {
    std::vector<NetworkAdapter> adapters;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return adapters;
    for (const ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
        if (item->ifa_addr == nullptr || item->ifa_addr->sa_family != AF_INET)
            continue;
        if ((item->ifa_flags & IFF_UP) == 0)
            continue;
        NetworkAdapter entry;
        entry.name = item->ifa_name;
        entry.address = DottedText(reinterpret_cast<const sockaddr_in*>(item->ifa_addr)->sin_addr);
        if (item->ifa_netmask != nullptr) {
            const auto mask =
                reinterpret_cast<const sockaddr_in*>(item->ifa_netmask)->sin_addr.s_addr;
            entry.prefixLength = static_cast<int>(std::bitset<32>(mask).count());
        }
        entry.loopback = (item->ifa_flags & IFF_LOOPBACK) != 0;
        entry.running = (item->ifa_flags & IFF_RUNNING) != 0;
        if (!entry.loopback)
            entry.virtualKind = LinuxVirtualKind(entry.name);
        adapters.push_back(entry);
    }
    freeifaddrs(list);
    return adapters;
}

#endif

std::optional<std::string> RouteSourceAddress(const std::string& destination) {
#ifdef _WIN32
    if (!EnsureSocketLibrary())
        return std::nullopt;
    using Handle = SOCKET;
    const auto closeHandle = [](Handle handle) { ::closesocket(handle); };
    const Handle invalid = INVALID_SOCKET;
    using Length = int;
#else
    using Handle = int;
    const auto closeHandle = [](Handle handle) { ::close(handle); };
    const Handle invalid = -1;
    using Length = socklen_t;
#endif
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(9); // connect() on UDP only picks the route: nothing is sent
    if (inet_pton(AF_INET, destination.c_str(), &target.sin_addr) != 1)
        return std::nullopt;
    const Handle handle = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (handle == invalid)
        return std::nullopt;
    std::optional<std::string> source;
    sockaddr_in own{};
    Length length = sizeof own;
    if (::connect(handle, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0 &&
        ::getsockname(handle, reinterpret_cast<sockaddr*>(&own), &length) == 0 &&
        own.sin_addr.s_addr != 0)
        source = DottedText(own.sin_addr);
    closeHandle(handle);
    return source;
}

} // namespace platform
