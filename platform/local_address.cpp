#include "platform/local_address.h"

#include "platform/network_adapters.h"
#include "platform/socket_library.h"

#ifdef _WIN32
#include <winsock2.h>
// After winsock2.h.
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

bool IsLoopback(const in_addr& address) {
    return (ntohl(address.s_addr) >> 24) == 127;
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
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &address, text, sizeof text);
            result = text;
            break;
        }
    }
    ::freeaddrinfo(list);
    return result;
}

// The first IPv4 address of an adapter that is up and not loopback.
std::optional<std::string> FromAdapters() {
    for (const auto& adapter : ListNetworkAdapters())
        if (!adapter.loopback && !adapter.address.starts_with("127."))
            return adapter.address;
    return std::nullopt;
}

} // namespace

std::optional<std::string> LookupLocalIPv4() {
    // On Windows the name lookup fails until the sockets library is started.
    if (!EnsureSocketLibrary())
        return std::nullopt;
    if (auto address = FromHostName())
        return address;
    return FromAdapters();
}

} // namespace platform
