#pragma once

// Read readiness of the channels' sockets as window messages: WSAAsyncSelect
// with FD_READ sends SocketNotifyMessage (1106) to the window for each socket.

#include "core/socket_events.h"

#include <set>

#include "gui/win32_support/windows_api.h"

namespace upgradeui::win32 {

class AsyncSelectSocketEvents : public core::SocketEvents {
public:
    void SetWindow(HWND window) { window_ = window; }

    void Watch(platform::UdpSocket::Handle handle) override;
    void Unwatch(platform::UdpSocket::Handle handle) override;

    // Whether a datagram still waits on any watched socket. Winsock posts the
    // next FD_READ only after a read of that same socket, and one notification
    // may read the other socket's datagram, so the window asks again here.
    bool AnyWaiting() const;

private:
    HWND window_ = nullptr;
    std::set<platform::UdpSocket::Handle> watched_;
};

} // namespace upgradeui::win32
