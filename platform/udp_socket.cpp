#include "platform/udp_socket.h"

#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#endif
#endif

namespace platform {

#ifdef _WIN32
namespace {
using SockLen = int;
int CloseHandle(SOCKET s) {
    return closesocket(s);
}
bool WouldBlock() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}
constexpr int kSendFlags = 0;
constexpr DWORD kUdpConnectionReset = _WSAIOW(IOC_VENDOR, 12); // SIO_UDP_CONNRESET
} // namespace
#else
namespace {
using SockLen = socklen_t;
int CloseHandle(int s) {
    return ::close(s);
}
bool WouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}
constexpr int kSendFlags = MSG_NOSIGNAL;
} // namespace
#endif

UdpSocket::~UdpSocket() {
    Close();
}

#ifdef _WIN32
void IgnoreUdpResets(UdpSocket::Handle socket) {
    // Windows turns an ICMP "port unreachable" for an earlier send into a
    // failed read on a UDP socket; a sweep draws many of them. Switch that off
    // so that reads see only datagrams, as on POSIX.
    BOOL reportResets = FALSE;
    DWORD unused = 0;
    ::WSAIoctl(static_cast<SOCKET>(socket), kUdpConnectionReset, &reportResets, sizeof reportResets,
               nullptr, 0, &unused, nullptr, nullptr);
}

void HoldPortExclusively(UdpSocket::Handle socket) {
    const BOOL on = TRUE;
    ::setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&on), sizeof on);
}

std::string BindAccessDeniedMeaning() {
    return "Windows refuses it: the port lies in a range that the system keeps for itself "
           "(see: netsh interface ipv4 show excludedportrange protocol=udp), or another "
           "program holds it exclusively";
}

void StampReceivedDatagrams(UdpSocket::Handle) {}

std::optional<std::chrono::system_clock::time_point> LastReceiveTime(UdpSocket::Handle) {
    return std::nullopt;
}
#else
void IgnoreUdpResets(UdpSocket::Handle) {}

void HoldPortExclusively(UdpSocket::Handle) {}

#ifdef __linux__
void StampReceivedDatagrams(UdpSocket::Handle socket) {
    const int on = 1;
    ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_TIMESTAMP, &on, sizeof on);
}

std::optional<std::chrono::system_clock::time_point> LastReceiveTime(UdpSocket::Handle socket) {
    timeval stamp{};
    if (::ioctl(static_cast<int>(socket), SIOCGSTAMP, &stamp) != 0)
        return std::nullopt;
    return std::chrono::system_clock::time_point{} + std::chrono::seconds(stamp.tv_sec) +
           std::chrono::microseconds(stamp.tv_usec);
}
#else
void StampReceivedDatagrams(UdpSocket::Handle) {}

std::optional<std::chrono::system_clock::time_point> LastReceiveTime(UdpSocket::Handle) {
    return std::nullopt;
}
#endif

std::string BindAccessDeniedMeaning() {
    return "a port below 1024 needs a privilege: run as root, or give the program the one "
           "capability once (sudo setcap cap_net_bind_service=+ep <program file>); the Debian "
           "package does this on installation";
}
#endif

bool UdpSocket::Create() {
    std::lock_guard lock(mutex_);
    if (handle_ != kInvalid)
        return true;
    if (!EnsureSocketLibrary())
        return false;
    const auto s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
#ifdef _WIN32
    if (s == INVALID_SOCKET)
        return false;
    IgnoreUdpResets(static_cast<Handle>(s));
#else
    if (s < 0)
        return false;
    ::fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
    handle_ = static_cast<Handle>(s);
    return true;
}

bool UdpSocket::BindAddress(const std::string& dottedAddress, std::uint16_t port) {
    std::lock_guard lock(mutex_);
    if (handle_ == kInvalid)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, dottedAddress.c_str(), &address.sin_addr) != 1)
        return false;
    address.sin_port = htons(port);
    HoldPortExclusively(handle_);
    return ::bind(handle_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool UdpSocket::SetNonBlocking() {
    std::lock_guard lock(mutex_);
    if (handle_ == kInvalid)
        return false;
#ifdef _WIN32
    u_long on = 1;
    return ioctlsocket(handle_, FIONBIO, &on) == 0;
#else
    const int flags = ::fcntl(handle_, F_GETFL, 0);
    return flags >= 0 && ::fcntl(handle_, F_SETFL, flags | O_NONBLOCK) == 0;
#endif
}

namespace {

// Asks for `bytes` of the buffer `option` names; where the system caps it
// (net.core.rmem_max / wmem_max), a privileged process may force past the cap.
int RequestBuffer(UdpSocket::Handle handle, int option, int forceOption, int bytes) {
    const auto* value = reinterpret_cast<const char*>(&bytes);
    ::setsockopt(handle, SOL_SOCKET, option, value, sizeof bytes);
    int granted = 0;
    SockLen length = sizeof granted;
    ::getsockopt(handle, SOL_SOCKET, option, reinterpret_cast<char*>(&granted), &length);
    if (granted < bytes && forceOption != 0) {
        ::setsockopt(handle, SOL_SOCKET, forceOption, value, sizeof bytes);
        length = sizeof granted;
        ::getsockopt(handle, SOL_SOCKET, option, reinterpret_cast<char*>(&granted), &length);
    }
    return granted;
}

#ifdef SO_RCVBUFFORCE
constexpr int kForceReceive = SO_RCVBUFFORCE;
constexpr int kForceSend = SO_SNDBUFFORCE;
#else
constexpr int kForceReceive = 0;
constexpr int kForceSend = 0;
#endif

} // namespace

int UdpSocket::RequestReceiveBuffer(int bytes) {
    std::lock_guard lock(mutex_);
    return handle_ == kInvalid ? 0 : RequestBuffer(handle_, SO_RCVBUF, kForceReceive, bytes);
}

int UdpSocket::RequestSendBuffer(int bytes) {
    std::lock_guard lock(mutex_);
    return handle_ == kInvalid ? 0 : RequestBuffer(handle_, SO_SNDBUF, kForceSend, bytes);
}

void UdpSocket::Close() {
    std::lock_guard lock(mutex_);
    if (handle_ == kInvalid)
        return;
    CloseHandle(handle_);
    handle_ = kInvalid;
}

bool UdpSocket::IsOpen() const {
    std::lock_guard lock(mutex_);
    return handle_ != kInvalid;
}

UdpSocket::Handle UdpSocket::NativeHandle() const {
    std::lock_guard lock(mutex_);
    return handle_;
}

std::uint16_t UdpSocket::LocalPort() const {
    std::lock_guard lock(mutex_);
    if (handle_ == kInvalid)
        return 0;
    sockaddr_in address{};
    SockLen length = sizeof address;
    if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

bool UdpSocket::SendTo(std::string_view bytes, const std::string& dottedAddress,
                       std::uint16_t port) {
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = ::inet_addr(dottedAddress.c_str());
    destination.sin_port = htons(port);
    std::lock_guard lock(mutex_);
    if (handle_ == kInvalid)
        return false;
    const auto sent = ::sendto(handle_, bytes.data(), static_cast<int>(bytes.size()), kSendFlags,
                               reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    return sent >= 0 && static_cast<std::size_t>(sent) == bytes.size();
}

UdpSocket::ReadStatus UdpSocket::Receive(std::size_t maxBytes, Datagram& out) {
    std::lock_guard lock(mutex_);
    if (handle_ == kInvalid)
        return ReadStatus::Error;
    // One byte of headroom tells a datagram of exactly maxBytes from a longer one.
    std::vector<char> area(maxBytes + 1);
    sockaddr_in from{};
    SockLen fromLength = sizeof from;
#ifdef _WIN32
    const int got = ::recvfrom(handle_, area.data(), static_cast<int>(area.size()), 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got < 0) {
        if (WouldBlock())
            return ReadStatus::NothingWaiting;
        return WSAGetLastError() == WSAEMSGSIZE ? ReadStatus::TooLong : ReadStatus::Error;
    }
#else
    // MSG_TRUNC makes the kernel report the datagram's real length.
    const auto got = ::recvfrom(handle_, area.data(), area.size(), MSG_TRUNC,
                                reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got < 0)
        return WouldBlock() ? ReadStatus::NothingWaiting : ReadStatus::Error;
#endif
    if (static_cast<std::size_t>(got) > maxBytes)
        return ReadStatus::TooLong;
    out.bytes.assign(area.data(), static_cast<std::size_t>(got));
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    out.sender = text;
    out.senderPort = ntohs(from.sin_port);
    return ReadStatus::Ok;
}

} // namespace platform
