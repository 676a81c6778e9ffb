#include "core/channels.h"

#include "protocol/collector_rules.h"
#include "protocol/datagram_rules.h"

namespace core {

bool OpenChannel(UdpChannel& channel, SocketEvents& events) {
    if (!platform::StartSocketLibrary())
        return false;
    channel.libraryStarted_ = true;
    auto& socket = channel.socket_;
    if (!socket.Create())
        return false;
    if (!socket.Bind(channel.localPort_) || !socket.SetNonBlocking()) {
        CloseChannel(channel, events);
        return false;
    }
    socket.RequestReceiveBuffer(protocol::kSocketBufferBytes);
    socket.RequestSendBuffer(protocol::kSocketBufferBytes);
    events.Watch(socket.NativeHandle());
    return true;
}

void CloseChannel(UdpChannel& channel, SocketEvents& events) {
    if (channel.socket_.IsOpen()) {
        events.Unwatch(channel.socket_.NativeHandle());
        channel.socket_.Close();
    }
    if (channel.libraryStarted_) {
        platform::ReleaseSocketLibrary();
        channel.libraryStarted_ = false;
    }
}

namespace {

// Keeps a buffer bounded also when a handler throws out of the extraction.
struct BoundOnExit {
    pubpro::RxBuffer& buffer;
    ~BoundOnExit() { buffer.Bound(); }
};

} // namespace

void HandleSocketMessage(UdpChannel& upgrade, UdpChannel& search,
                         const UpgradeFrameHandler& onUpgradeFrame,
                         const SearchFrameHandler& onSearchFrame) {
    platform::UdpSocket::Datagram datagram;
    if (upgrade.Socket().Receive(protocol::kMaxDatagramBytes, datagram) ==
            platform::UdpSocket::ReadStatus::Ok &&
        !datagram.bytes.empty()) {
        const auto text = protocol::UpgradeDatagramText(datagram.bytes);
        if (text.empty())
            return;
        auto& buffer = upgrade.Buffer();
        buffer.Append(text);
        const BoundOnExit bound{buffer};
        pubpro::ExtractFrames(buffer, [&](const std::string& frame) {
            if (pubpro::FrameChecksumOk(frame))
                onUpgradeFrame(frame);
        });
        return;
    }
    if (search.Socket().Receive(protocol::kMaxDatagramBytes, datagram) !=
            platform::UdpSocket::ReadStatus::Ok ||
        datagram.bytes.empty())
        return;
    protocol::ScrubSearchDatagram(datagram.bytes);
    auto& buffer = search.Buffer();
    buffer.Append(datagram.bytes);
    const BoundOnExit bound{buffer};
    const std::string sender = datagram.sender;
    pubpro::ExtractFrames(buffer, [&](const std::string& frame) { onSearchFrame(frame, sender); });
}

} // namespace core
