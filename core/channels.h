#pragma once

// The two UDP endpoints: the upgrade channel (framed, checksummed messages) and
// the search channel (probe and replies), each with its receive buffer.

#include "core/socket_events.h"
#include "platform/udp_socket.h"
#include "pubpro/uPubpro.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace core {

class UdpChannel {
public:
    void SetPorts(std::uint16_t localPort, std::uint16_t destinationPort) {
        localPort_ = localPort;
        destinationPort_ = destinationPort;
    }
    std::uint16_t LocalPort() const { return localPort_; }
    std::uint16_t DestinationPort() const { return destinationPort_; }

    // One message to `dottedAddress` at the channel's destination port. Safe
    // from any thread; does nothing on a channel that is not open.
    void Send(std::string_view bytes, const std::string& dottedAddress) {
        socket_.SendTo(bytes, dottedAddress, destinationPort_);
    }

    platform::UdpSocket& Socket() { return socket_; }
    pubpro::RxBuffer& Buffer() { return buffer_; }

private:
    friend bool OpenChannel(UdpChannel&, SocketEvents&);
    friend void CloseChannel(UdpChannel&, SocketEvents&);
    platform::UdpSocket socket_;
    pubpro::RxBuffer buffer_;
    std::uint16_t localPort_ = 0;
    std::uint16_t destinationPort_ = 0;
    bool libraryStarted_ = false;
};

// Start the sockets library, create, bind to the channel's local port, watch
// for readiness. False at the first step that fails.
bool OpenChannel(UdpChannel& channel, SocketEvents& events);
void CloseChannel(UdpChannel& channel, SocketEvents& events);

inline bool OpenUpgradeChannel(UdpChannel& channel, SocketEvents& events) {
    return OpenChannel(channel, events);
}
inline bool OpenSearchChannel(UdpChannel& channel, SocketEvents& events) {
    return OpenChannel(channel, events);
}
inline void CloseUpgradeChannel(UdpChannel& channel, SocketEvents& events) {
    CloseChannel(channel, events);
}
inline void CloseSearchChannel(UdpChannel& channel, SocketEvents& events) {
    CloseChannel(channel, events);
}

using UpgradeFrameHandler = std::function<void(const std::string& frame)>;
using SearchFrameHandler = std::function<void(const std::string& frame, const std::string& sender)>;

// One socket notification: reads at most one datagram, from the upgrade
// channel if one waits there, else from the search channel. Upgrade text is cut
// at its first zero byte and its frames must pass the checksum; search text has
// 00/0A/FB/FF turned into spaces and every frame goes out with this datagram's
// sender. Exceptions from the handlers propagate; frames still in the buffer
// then wait for the next datagram.
void HandleSocketMessage(UdpChannel& upgrade, UdpChannel& search,
                         const UpgradeFrameHandler& onUpgradeFrame,
                         const SearchFrameHandler& onSearchFrame);

} // namespace core
