#include "gui/upgrade/win32/frmmain_socket_events.h"

using core::kSocketNotifyMessage;

using platform::UdpSocket;

namespace upgradeui::win32 {

void AsyncSelectSocketEvents::Watch(UdpSocket::Handle handle) {
    if (WSAAsyncSelect(static_cast<SOCKET>(handle), window_, kSocketNotifyMessage, FD_READ) == 0)
        watched_.insert(handle);
}

void AsyncSelectSocketEvents::Unwatch(UdpSocket::Handle handle) {
    if (watched_.erase(handle) != 0)
        WSAAsyncSelect(static_cast<SOCKET>(handle), window_, 0, 0);
}

bool AsyncSelectSocketEvents::AnyWaiting() const {
    for (const UdpSocket::Handle handle : watched_) {
        u_long waiting = 0;
        if (ioctlsocket(static_cast<SOCKET>(handle), FIONREAD, &waiting) == 0 && waiting > 0)
            return true;
    }
    return false;
}

} // namespace upgradeui::win32
