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
#endif

#include <bitset>

namespace platform {

namespace {

std::string DottedText(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

} // namespace

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
            adapters.push_back(entry);
        }
    }
    return adapters;
}

#else

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
        adapters.push_back(entry);
    }
    freeifaddrs(list);
    return adapters;
}

#endif

} // namespace platform
