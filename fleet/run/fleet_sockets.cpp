#include "fleet/run/fleet_sockets.h"

#include "fleet/run/doctor_findings.h"
#include "fleet/run/ipv4_address.h"
#include "platform/port_holders.h"
#include "platform/system_error_text.h"
#include "platform/udp_socket.h"
#include "protocol/collector_rules.h"
#include "protocol/datagram_rules.h"
#include "protocol/messages.h"

namespace fleet {

using protocol::kMaxDatagramBytes;
using protocol::kSearchPort;
using protocol::kUpgradePort;

FleetSockets::FleetSockets(asio::io_context& io, SweepScope scope)
    : scope_(std::move(scope)), upgrade_(io), search_(io) {}

std::string PortInUseText(std::uint16_t port) {
    return "本机端口 " + std::to_string(port) +
           " 已被另一个程序占用：请关闭另一个升级程序（采集器程序升级工具、批量升级或 "
           "collector-fleet）后再试";
}

namespace {

// Set between open and bind: see platform::HoldPortExclusively.
void HoldPortExclusively(asio::ip::udp::socket& socket) {
    platform::HoldPortExclusively(static_cast<platform::UdpSocket::Handle>(socket.native_handle()));
}

} // namespace

// The port must be free on every address first: the window binds it on all of
// them, and some systems let a bind to one address go through beside that,
// splitting the replies between two programs. The trial socket closes before
// the real bind, which would otherwise collide with it.
asio::error_code FleetSockets::TryPortOnEveryAddress(std::uint16_t port) {
    asio::error_code error;
    asio::ip::udp::socket trial(upgrade_.socket.get_executor());
    trial.open(asio::ip::udp::v4(), error);
    if (!error)
        HoldPortExclusively(trial);
    if (!error)
        trial.bind({asio::ip::address_v4::any(), port}, error);
    asio::error_code ignored;
    trial.close(ignored);
    return error;
}

std::string FleetSockets::Bind(Channel& channel, std::uint16_t port) {
    asio::error_code error;
    const auto own = asio::ip::make_address_v4(scope_.Own(), error);
    if (!error)
        error = TryPortOnEveryAddress(port);
    if (!error)
        channel.socket.open(asio::ip::udp::v4(), error);
    if (!error)
        HoldPortExclusively(channel.socket);
    if (!error)
        channel.socket.bind({own, port}, error);
    if (error == asio::error::address_in_use) {
        portInUse_ = port;
        return PortInUseText(port) + "\nlocal port " + std::to_string(port) +
               " is already in use: close the other upgrade program (the upgrade window, the "
               "fleet window or another collector-fleet) and try again\n" +
               PortHeldByText(port, platform::UdpPortHolders(port));
    }
    if (error == asio::error::access_denied)
        return "local port " + std::to_string(port) + " of " + scope_.Own() + ": " +
               platform::BindAccessDeniedMeaning();
    if (error == std::errc::address_not_available)
        return scope_.Own() + " is no longer an address of this computer (see: interfaces)";
    if (error)
        return "cannot open local port " + std::to_string(port) + ": " + platform::ErrorText(error);
    platform::IgnoreUdpResets(
        static_cast<platform::UdpSocket::Handle>(channel.socket.native_handle()));
    channel.socket.set_option(asio::socket_base::send_buffer_size(protocol::kSocketBufferBytes),
                              error);
    channel.socket.set_option(asio::socket_base::receive_buffer_size(protocol::kSocketBufferBytes),
                              error);
    channel.buffer.resize(kMaxDatagramBytes + 1);
    return {};
}

std::string FleetSockets::Open() {
    portInUse_ = 0;
    if (auto error = Bind(upgrade_, kUpgradePort); !error.empty())
        return error;
    if (auto error = Bind(search_, kSearchPort); !error.empty())
        return error;
    if (onDatagram)
        for (Channel* channel : {&upgrade_, &search_})
            platform::StampReceivedDatagrams(
                static_cast<platform::UdpSocket::Handle>(channel->socket.native_handle()));
    Receive(upgrade_, false);
    Receive(search_, true);
    return {};
}

void FleetSockets::Receive(Channel& channel, bool search) {
    channel.socket.async_receive_from(
        asio::buffer(channel.buffer), channel.sender,
        [this, &channel, search](const asio::error_code& error, std::size_t size) {
            if (error == asio::error::operation_aborted || !channel.socket.is_open())
                return;
            if (!error && onDatagram) // before the next read, which moves the stamp on
                onDatagram({false, channel.sender.address().to_string(), channel.sender.port(),
                            std::string_view(channel.buffer).substr(0, size),
                            platform::LastReceiveTime(static_cast<platform::UdpSocket::Handle>(
                                channel.socket.native_handle()))});
            // One byte more than the largest datagram tells a too-long one apart: it is lost.
            if (!error && size > 0 && size <= kMaxDatagramBytes)
                Deliver(channel, search, channel.buffer.substr(0, size),
                        channel.sender.address().to_string());
            Receive(channel, search);
        });
}

void FleetSockets::Deliver(Channel& channel, bool search, std::string bytes,
                           const std::string& sender) {
    // Only collectors of the scope have a buffer, so their number is bounded.
    if (!scope_.Contains(sender) || sender == scope_.Own())
        return;
    if (search) {
        protocol::ScrubSearchDatagram(bytes);
    } else {
        bytes.resize(protocol::UpgradeDatagramText(bytes).size());
        if (bytes.empty())
            return;
    }
    pubpro::RxBuffer& pending = channel.pending[sender];
    pending.Append(bytes);
    const FrameHandler& handler = search ? onSearchFrame : onUpgradeFrame;
    pubpro::ExtractFrames(pending, [&](const std::string& frame) {
        if (handler)
            handler(sender, frame);
    });
    pending.Bound();
}

void FleetSockets::Send(Channel& channel, const std::string& address, std::uint16_t port,
                        const std::string& bytes) {
    if (!scope_.Contains(address) || !channel.socket.is_open())
        return;
    asio::error_code error;
    const auto destination = asio::ip::make_address_v4(address, error);
    if (error)
        return;
    // A full send buffer or an unreachable host loses this datagram only; the
    // protocol's own retries cover it.
    channel.socket.send_to(asio::buffer(bytes), {destination, port}, 0, error);
    if (!error && onDatagram)
        onDatagram({true, address, port, bytes, std::nullopt});
}

void FleetSockets::SendUpgradeFrame(const std::string& address, const std::string& frame) {
    Send(upgrade_, address, kUpgradePort, frame);
}

void FleetSockets::SendProbe(const std::string& address) {
    Send(search_, address, kSearchPort, protocol::BuildSearchProbe());
}

} // namespace fleet
