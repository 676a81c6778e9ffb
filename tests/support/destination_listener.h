#pragma once

// A loopback listener that also records the address each datagram was sent TO.
// Linux delivers datagrams for any 127.x.y.z to a socket bound to the wildcard
// address, so one listener sees every probe of a sweep of 127.0.0.0/24 and can
// tell them apart by destination. Linux only (IP_PKTINFO).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        const int on = 1;
        ::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
        const int buffer = 1 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~DestinationListener() { ::close(fd_); }
    DestinationListener(const DestinationListener&) = delete;
    DestinationListener& operator=(const DestinationListener&) = delete;

    std::uint16_t Port() const { return port_; }

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
    std::vector<Received> Settle() { return WaitFor(SIZE_MAX, std::chrono::milliseconds(50)); }
    void Forget() { got_.clear(); }

private:
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
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                const auto* info = reinterpret_cast<const in_pktinfo*>(CMSG_DATA(c));
                char text[INET_ADDRSTRLEN] = {};
                ::inet_ntop(AF_INET, &info->ipi_addr, text, sizeof text);
                received.destination = text;
            }
        }
        got_.push_back(std::move(received));
        return true;
    }

    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::vector<Received> got_;
};
