#pragma once

#include "platform/udp_socket.h"

namespace core {

// Where a channel reports that its socket has a datagram waiting. A window
// turns read readiness into a SocketNotifyMessage (1106) on its UI thread and
// then calls UpgradeTool::HandleSocketMessage.
class SocketEvents {
public:
    virtual ~SocketEvents() = default;
    virtual void Watch(platform::UdpSocket::Handle handle) = 0;
    virtual void Unwatch(platform::UdpSocket::Handle handle) = 0;
};

inline constexpr int kSocketNotifyMessage = 1106; // user message base 1024 + 82
inline constexpr int kLastSocketMessage = 1206;   // 1106..1206 go to HandleSocketMessage

} // namespace core
