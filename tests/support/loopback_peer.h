#pragma once

#include "platform/udp_socket.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

// A socket on an ephemeral loopback port that plays the collector's address.
class LoopbackPeer {
public:
    LoopbackPeer() {
        socket_.Create();
        socket_.Bind(0);
        socket_.SetNonBlocking();
        socket_.RequestReceiveBuffer(1 << 20);
    }
    std::uint16_t Port() const { return socket_.LocalPort(); }
    platform::UdpSocket& Socket() { return socket_; }
    // Every datagram waiting now (after a short grace for loopback delivery).
    std::vector<std::string> Drain() {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::vector<std::string> got;
        platform::UdpSocket::Datagram datagram;
        while (socket_.Receive(65535, datagram) == platform::UdpSocket::ReadStatus::Ok)
            got.push_back(datagram.bytes);
        return got;
    }

    // Datagrams until `count` arrived or `timeout` passed, for senders on other threads.
    std::vector<std::string> Collect(std::size_t count, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::vector<std::string> got;
        while (got.size() < count && std::chrono::steady_clock::now() < deadline)
            for (auto& datagram : Drain())
                got.push_back(std::move(datagram));
        return got;
    }

private:
    platform::UdpSocket socket_;
};
