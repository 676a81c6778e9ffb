#pragma once

// The program's two UDP endpoints on Asio: the upgrade port 8000 and the search
// port 23, both bound to the chosen adapter's own address, so that the
// adapter is also the way out; in a run over several adapters, a pair on each
// adapter's address, and each datagram goes out through the adapter whose
// part of the scope holds its destination. Received datagrams are cut into frames per
// sender and handed to the callbacks on the io_context's thread. Every send is
// checked against the sweep scope: nothing is ever sent anywhere else.

#ifndef ASIO_STANDALONE
#define ASIO_STANDALONE
#endif
#include <asio.hpp>

#include "fleet/run/datagram_event.h"
#include "fleet/run/sweep_scope.h"
#include "pubpro/uPubpro.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fleet {

// For the operator, in Chinese: `port` is held by another program, and which
// one to close. Every UDP socket of these programs holds its port alone.
std::string PortInUseText(std::uint16_t port);

class FleetSockets {
public:
    using FrameHandler = std::function<void(const std::string& sender, const std::string& frame)>;

    FleetSockets(asio::io_context& io, SweepScope scope);

    // Binds both ports and starts receiving. The text says what failed; empty
    // on success. A port held by another program is said in Chinese, then in
    // English.
    std::string Open();
    // The port that another program held at the last Open(); 0 if none did.
    std::uint16_t PortInUse() const { return portInUse_; }

    // The hosts these sockets may send to.
    const SweepScope& Scope() const { return scope_; }

    void SendUpgradeFrame(const std::string& address, const std::string& frame);
    void SendProbe(const std::string& address);

    // Upgrade frames arrive checked for nothing: the session tests checksums.
    FrameHandler onUpgradeFrame;
    FrameHandler onSearchFrame;
    // Every datagram sent and received, for a log; set before Open() to have
    // received ones stamped with the system's receive time where it can.
    std::function<void(const DatagramEvent&)> onDatagram;

private:
    struct Channel {
        Channel(asio::io_context& io, std::string ownAddress)
            : socket(io), own(std::move(ownAddress)) {}
        asio::ip::udp::socket socket;
        std::string own; // the adapter address it is bound to
        asio::ip::udp::endpoint sender;
        std::string buffer;
        std::map<std::string, pubpro::RxBuffer> pending; // per sender, bounded by the scope
    };

    asio::error_code TryPortOnEveryAddress(std::uint16_t port);
    std::string Bind(Channel& channel, std::uint16_t port);
    // The lane's channel for sending to (or receiving from) `address`; null outside the scope.
    Channel* ChannelFor(const std::string& address, bool search);
    void Receive(Channel& channel, bool search);
    void Deliver(Channel& channel, bool search, std::string bytes, const std::string& sender);
    void Send(Channel* channel, const std::string& address, std::uint16_t port,
              const std::string& bytes);

    SweepScope scope_;
    asio::io_context& io_;
    // Per adapter address of the scope, in the scope's order.
    std::vector<std::unique_ptr<Channel>> upgrade_, search_;
    std::uint16_t portInUse_ = 0;
};

} // namespace fleet
