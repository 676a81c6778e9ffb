#pragma once

// A small IPv4 UDP socket. Every difference between BSD sockets and Winsock
// stays inside udp_socket.cpp; nothing above this layer sees an #ifdef.
//
// Sending is safe from any thread, also while another thread closes the socket:
// a send after Close() (or racing with it) does nothing, and never reaches a
// descriptor number that the system has since handed out again.

#include "platform/socket_library.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class UdpSocket {
public:
    using Handle = std::intptr_t; // SOCKET on Windows, int elsewhere
    static constexpr Handle kInvalid = -1;

    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Creates an IPv4 UDP socket. False on failure.
    bool Create();
    // Binds to any local address and `port`. False on failure.
    bool Bind(std::uint16_t port) { return BindAddress("0.0.0.0", port); }
    // Binds to one local IPv4 address (dotted text) and `port`.
    bool BindAddress(const std::string& dottedAddress, std::uint16_t port);
    // Makes reads return at once when nothing waits.
    bool SetNonBlocking();
    // Asks for a receive buffer of `bytes` (forcing past the system cap where
    // allowed) and returns what the system granted.
    int RequestReceiveBuffer(int bytes);
    // The same for the send buffer. Datagrams to hosts that do not answer
    // address resolution wait in it for seconds, so a sweep needs room.
    int RequestSendBuffer(int bytes);
    void Close();

    bool IsOpen() const;
    Handle NativeHandle() const;
    // Local port after Bind (0 when not bound); useful when binding to port 0.
    std::uint16_t LocalPort() const;

    // One datagram to `dottedAddress`:`port`. The address is converted with the
    // classic dotted-text parser; an unparsable text still sends, to the
    // address that parser yields (255.255.255.255 on failure is refused by the
    // kernel unless broadcast is allowed). Returns whether the system took it.
    bool SendTo(std::string_view bytes, const std::string& dottedAddress, std::uint16_t port);

    struct Datagram {
        std::string bytes;
        std::string sender; // dotted-decimal IPv4 text
        std::uint16_t senderPort = 0;
    };
    enum class ReadStatus { Ok, NothingWaiting, TooLong, Error };
    // Reads one datagram of at most `maxBytes`. A longer datagram is consumed
    // and reported as TooLong, its bytes lost (never silently truncated).
    ReadStatus Receive(std::size_t maxBytes, Datagram& out);

private:
    mutable std::mutex mutex_; // guards handle_ against a close racing a send
    Handle handle_ = kInvalid;
};

// Makes a UDP socket made elsewhere (an Asio socket's native handle) read only
// datagrams: on Windows an ICMP "port unreachable" for an earlier send would
// otherwise fail a later read. Nothing to do on POSIX.
void IgnoreUdpResets(UdpSocket::Handle socket);

// Makes a socket not yet bound (ours, or an Asio socket's native handle) hold
// its port alone. Windows would otherwise let a second program bind the same
// port beside it (one on the any-address, one on an adapter's address), and
// the replies would go to either; with this the second bind fails with
// "address in use". POSIX refuses such a bind anyway: nothing to do there.
void HoldPortExclusively(UdpSocket::Handle socket);

// What a refused bind (EACCES, WSAEACCES) means on this system, as advice for
// the operator. POSIX: a port below 1024 needs a privilege. Windows has no
// such rule: the port lies in a range the system reserved for itself, or
// another program holds it exclusively.
std::string BindAccessDeniedMeaning();

// Receive times as the system stamped them, for a log: on Linux the kernel
// stamps each datagram as it arrives (SO_TIMESTAMP) and LastReceiveTime()
// reads the stamp of the datagram read last from `socket`. Elsewhere there is
// no cheap way, and LastReceiveTime() returns none.
void StampReceivedDatagrams(UdpSocket::Handle socket);
std::optional<std::chrono::system_clock::time_point> LastReceiveTime(UdpSocket::Handle socket);

} // namespace platform
