#include "gui/upgrade/qt/frmmain_socket_events.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>

using core::kSocketNotifyMessage;

using platform::UdpSocket;

namespace upgradeui::qt {

NotifierSocketEvents::~NotifierSocketEvents() {
    for (auto& [handle, notifier] : notifiers_) {
        notifier->setEnabled(false);
        delete notifier;
    }
}

void NotifierSocketEvents::Watch(UdpSocket::Handle handle) {
    Unwatch(handle);
    auto* notifier =
        new QSocketNotifier(static_cast<qintptr>(handle), QSocketNotifier::Read, &target_);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this, notifier] {
        notifier->setEnabled(false);
        QCoreApplication::postEvent(&target_,
                                    new QEvent(static_cast<QEvent::Type>(kSocketNotifyMessage)));
    });
    notifiers_[handle] = notifier;
}

void NotifierSocketEvents::Unwatch(UdpSocket::Handle handle) {
    auto found = notifiers_.find(handle);
    if (found == notifiers_.end())
        return;
    QSocketNotifier* notifier = found->second;
    notifiers_.erase(found);
    // The socket is about to be closed: stop watching now, but let Qt delete
    // the notifier later in case this runs from inside one of its own signals.
    notifier->setEnabled(false);
    notifier->disconnect();
    notifier->deleteLater();
}

void NotifierSocketEvents::Resume() {
    for (auto& [handle, notifier] : notifiers_)
        notifier->setEnabled(true);
}

} // namespace upgradeui::qt
