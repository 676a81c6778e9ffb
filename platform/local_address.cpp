#include "platform/local_address.h"

#include "platform/socket_library.h"

#ifdef _WIN32
// winsock2.h must come first.
#include <winsock2.h>

#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <vector>
#else
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>
#endif

namespace {

bool IsLoopback(const in_addr& address) {
    return (ntohl(address.s_addr) >> 24) == 127;
}

std::string ToText(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::optional<std::string> FromHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &list) != 0)
        return std::nullopt;
    std::optional<std::string> result;
    for (auto* entry = list; entry != nullptr; entry = entry->ai_next) {
        const auto& address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
        if (!IsLoopback(address)) {
            result = ToText(address);
            break;
        }
    }
    ::freeaddrinfo(list);
    return result;
}

#ifdef _WIN32

// The first IPv4 unicast address of an adapter that is up and not loopback.
std::optional<std::string> FromInterfaces() {
    constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                             GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_FRIENDLY_NAME;
    // The table's size is known only after a first call; an adapter may
    // appear in between, hence the few tries.
    ULONG size = 16 * 1024;
    std::vector<unsigned char> table;
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
        table.resize(size);
        rc = ::GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                    reinterpret_cast<IP_ADAPTER_ADDRESSES*>(table.data()), &size);
    }
    if (rc != NO_ERROR)
        return std::nullopt;
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(table.data());
         adapter != nullptr; adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK)
            continue;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const auto* socketAddress = unicast->Address.lpSockaddr;
            if (socketAddress == nullptr || socketAddress->sa_family != AF_INET)
                continue;
            const auto& address = reinterpret_cast<const sockaddr_in*>(socketAddress)->sin_addr;
            if (!IsLoopback(address))
                return ToText(address);
        }
    }
    return std::nullopt;
}

#else

// The first IPv4 address of an interface that is up and not loopback.
std::optional<std::string> FromInterfaces() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return std::nullopt;
    std::optional<std::string> result;
    for (auto* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        const auto& address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
        if (!IsLoopback(address)) {
            result = ToText(address);
            break;
        }
    }
    ::freeifaddrs(list);
    return result;
}

#endif

} // namespace

std::optional<std::string> LookupLocalIPv4() {
    // On Windows the name lookup fails until the sockets library is started.
    if (!EnsureSocketLibrary())
        return std::nullopt;
    if (auto address = FromHostName())
        return address;
    return FromInterfaces();
}
