#pragma once

// Turns read readiness of the channels' sockets into SocketNotifyMessage
// events (type 1106) posted to the window, one QSocketNotifier per socket.
//
// A notifier is switched off when it fires and stays off until the window has
// taken its event (Resume), so that a datagram waiting in the socket does not
// flood the queue with events while the first one is still on its way.

#include "core/channels.h"

#include <QObject>

#include <map>

class QSocketNotifier;

namespace upgradeui::qt {

class NotifierSocketEvents : public core::SocketEvents {
public:
    // Events go to `target`, which also parents the notifiers.
    explicit NotifierSocketEvents(QObject& target) : target_(target) {}
    ~NotifierSocketEvents() override;
    NotifierSocketEvents(const NotifierSocketEvents&) = delete;
    NotifierSocketEvents& operator=(const NotifierSocketEvents&) = delete;

    void Watch(platform::UdpSocket::Handle handle) override;
    void Unwatch(platform::UdpSocket::Handle handle) override;

    // Switches every watched socket's notifier back on.
    void Resume();

    std::size_t WatchedCount() const { return notifiers_.size(); }

private:
    QObject& target_;
    std::map<platform::UdpSocket::Handle, QSocketNotifier*> notifiers_;
};

} // namespace upgradeui::qt
