#include "platform/local_address.h"

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

#include <algorithm>

namespace platform {

namespace {

// Loopback (127/8) and link-local (169.254/16) addresses give no subnet
// with collectors on it.
bool Sweepable(const std::string& address) {
    return !address.starts_with("127.") && !address.starts_with("169.254.");
}

bool HeldByRunningAdapter(const std::string& address, const std::vector<NetworkAdapter>& adapters) {
    return std::any_of(adapters.begin(), adapters.end(), [&](const NetworkAdapter& adapter) {
        return adapter.running && !adapter.loopback && adapter.address == address;
    });
}

} // namespace

bool CanReachCollectors(const NetworkAdapter& adapter) {
    return adapter.running && !adapter.loopback && Sweepable(adapter.address);
}

namespace {

std::vector<std::string> HostNameAddresses() {
    std::vector<std::string> addresses;
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return addresses;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &list) != 0)
        return addresses;
    for (auto* entry = list; entry != nullptr; entry = entry->ai_next) {
        const auto& address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address, text, sizeof text);
        addresses.emplace_back(text);
    }
    ::freeaddrinfo(list);
    return addresses;
}

} // namespace

std::optional<std::string> ChooseLocalIPv4(const std::vector<std::string>& hostNameAddresses,
                                           const std::vector<NetworkAdapter>& adapters) {
    for (const auto& address : hostNameAddresses)
        if (Sweepable(address) && (adapters.empty() || HeldByRunningAdapter(address, adapters)))
            return address;
    for (const auto& adapter : adapters)
        if (CanReachCollectors(adapter))
            return adapter.address;
    return std::nullopt;
}

std::optional<std::string> LookupLocalIPv4() {
    // On Windows the name lookup fails until the sockets library is started.
    if (!EnsureSocketLibrary())
        return std::nullopt;
    return ChooseLocalIPv4(HostNameAddresses(), ListNetworkAdapters());
}

bool LocalIPv4Held(const std::string& address) {
    return HeldByRunningAdapter(address, ListNetworkAdapters());
}

} // namespace platform
