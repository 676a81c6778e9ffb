#include "core/channels.h"

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
    socket.RequestReceiveBuffer(kSocketBufferBytes);
    socket.RequestSendBuffer(kSocketBufferBytes);
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

std::string_view UpgradeDatagramText(std::string_view datagram) {
    return datagram.substr(0, datagram.find('\0'));
}

void ScrubSearchDatagram(std::string& datagram) {
    for (auto& c : datagram) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0x00 || b == 0x0A || b == 0xFB || b == 0xFF)
            c = ' ';
    }
}

void HandleSocketMessage(UdpChannel& upgrade, UdpChannel& search,
                         const UpgradeFrameHandler& onUpgradeFrame,
                         const SearchFrameHandler& onSearchFrame) {
    platform::UdpSocket::Datagram datagram;
    if (upgrade.Socket().Receive(kMaxDatagramBytes, datagram) ==
            platform::UdpSocket::ReadStatus::Ok &&
        !datagram.bytes.empty()) {
        const auto text = UpgradeDatagramText(datagram.bytes);
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
    if (search.Socket().Receive(kMaxDatagramBytes, datagram) !=
            platform::UdpSocket::ReadStatus::Ok ||
        datagram.bytes.empty())
        return;
    ScrubSearchDatagram(datagram.bytes);
    auto& buffer = search.Buffer();
    buffer.Append(datagram.bytes);
    const BoundOnExit bound{buffer};
    const std::string sender = datagram.sender;
    pubpro::ExtractFrames(buffer, [&](const std::string& frame) { onSearchFrame(frame, sender); });
}

} // namespace core
