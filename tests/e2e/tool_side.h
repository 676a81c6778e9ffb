#pragma once

// A minimal stand-in for the tool's side of the wire, for tests that check
// the emulator and the namespaces without the real program. Create it while
// the thread is inside the tool namespace; the socket stays there.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace e2e {

class ToolSide {
public:
    struct Datagram {
        std::string bytes;
        std::string sender;
    };

    explicit ToolSide(std::uint16_t localPort) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int big = 4 << 20; // a whole field answers at once
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(localPort);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    }
    ~ToolSide() { ::close(fd_); }
    ToolSide(const ToolSide&) = delete;
    ToolSide& operator=(const ToolSide&) = delete;

    bool Bound() const { return bound_; }

    bool Send(const std::string& address, std::uint16_t port, const std::string& bytes) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1)
            return false;
        return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                        sizeof to) == static_cast<ssize_t>(bytes.size());
    }

    std::optional<Datagram> Receive(std::chrono::milliseconds timeout) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
            return std::nullopt;
        char buffer[65536];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const auto got =
            ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0)
            return std::nullopt;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        return Datagram{std::string(buffer, static_cast<std::size_t>(got)), text};
    }

private:
    int fd_ = -1;
    bool bound_ = false;
};

} // namespace e2e
