#include "platform/local_address.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
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

std::optional<std::string> FromInterfaces() {
#ifdef _WIN32
    return std::nullopt; // Windows resolves its own name to its interfaces' addresses
#else
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
#endif
}

} // namespace

std::optional<std::string> LookupLocalIPv4() {
    if (auto address = FromHostName())
        return address;
    return FromInterfaces();
}
