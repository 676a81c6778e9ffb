#pragma once

// A loopback listener that also records the address each datagram was sent TO.
// Linux delivers datagrams for any 127.x.y.z to a socket bound to the wildcard
// address, so one listener sees every probe of a sweep of 127.0.0.0/24 and can
// tell them apart by destination (IP_PKTINFO; under wine through WSARecvMsg,
// on the same Linux sockets).

#ifdef _WIN32
#include "platform/socket_library.h"

// winsock2.h must come first.
#include <winsock2.h>

#include <mswsock.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class DestinationListener {
public:
    struct Received {
        std::string bytes;
        std::string destination; // dotted text
    };

    DestinationListener() {
#ifdef _WIN32
        platform::EnsureSocketLibrary();
        fd_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        u_long nonBlocking = 1;
        ::ioctlsocket(fd_, FIONBIO, &nonBlocking);
        GUID id = WSAID_WSARECVMSG;
        DWORD unused = 0;
        ::WSAIoctl(fd_, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &receiveMessage_,
                   sizeof receiveMessage_, &unused, nullptr, nullptr);
#else
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
#endif
        SetOption(IPPROTO_IP, IP_PKTINFO, 1);
        SetOption(SOL_SOCKET, SO_RCVBUF, 1 << 20);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        AddressLength length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~DestinationListener() {
#ifdef _WIN32
        ::closesocket(fd_);
#else
        ::close(fd_);
#endif
    }
    DestinationListener(const DestinationListener&) = delete;
    DestinationListener& operator=(const DestinationListener&) = delete;

    std::uint16_t Port() const {
        return port_;
    }

    // Collects until `count` datagrams arrived in all, or `timeout` passed.
    std::vector<Received> WaitFor(std::size_t count,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (got_.size() < count && std::chrono::steady_clock::now() < deadline) {
            if (!ReadOne())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return got_;
    }
    // Everything that arrives within a short grace period.
    std::vector<Received> Settle() {
        return WaitFor(SIZE_MAX, std::chrono::milliseconds(50));
    }
    void Forget() {
        got_.clear();
    }

private:
#ifdef _WIN32
    using Handle = SOCKET;
    using AddressLength = int;
#else
    using Handle = int;
    using AddressLength = socklen_t;
#endif

    void SetOption(int level, int name, int value) {
        ::setsockopt(fd_, level, name, reinterpret_cast<const char*>(&value), sizeof value);
    }

    static std::string Dotted(const in_addr& address) {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address, text, sizeof text);
        return text;
    }

#ifdef _WIN32
    bool ReadOne() {
        char data[2048];
        char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
        WSABUF io{sizeof data, data};
        WSAMSG message{};
        message.lpBuffers = &io;
        message.dwBufferCount = 1;
        message.Control = WSABUF{sizeof control, control};
        DWORD n = 0;
        if (receiveMessage_ == nullptr || receiveMessage_(fd_, &message, &n, nullptr, nullptr) != 0)
            return false;
        Received received{std::string(data, n), {}};
        for (auto* c = WSA_CMSG_FIRSTHDR(&message); c != nullptr; c = WSA_CMSG_NXTHDR(&message, c))
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO)
                received.destination =
                    Dotted(reinterpret_cast<const IN_PKTINFO*>(WSA_CMSG_DATA(c))->ipi_addr);
        got_.push_back(std::move(received));
        return true;
    }

    LPFN_WSARECVMSG receiveMessage_ = nullptr;
#else
    bool ReadOne() {
        char data[2048];
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        iovec io{data, sizeof data};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(fd_, &message, 0);
        if (n < 0)
            return false;
        Received received{std::string(data, static_cast<std::size_t>(n)), {}};
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c))
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO)
                received.destination =
                    Dotted(reinterpret_cast<const in_pktinfo*>(CMSG_DATA(c))->ipi_addr);
        got_.push_back(std::move(received));
        return true;
    }
#endif

    Handle fd_{};
    std::uint16_t port_ = 0;
    std::vector<Received> got_;
};
