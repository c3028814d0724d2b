#include "platform/posix_udp_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>

namespace vorpel {
namespace {

// Longest host text accepted: a DNS name has at most 253 characters.
constexpr size_t HOST_TEXT_CAPACITY = 256;

}  // namespace

PosixUdpSocket::~PosixUdpSocket() { close(); }

void PosixUdpSocket::notify(void* events, unsigned readiness) {
    auto* target = static_cast<UdpSocketEvents*>(events);
    if (readiness == FD_READABLE)
        target->onReceive(0);
    else
        target->onSend(0);
}

bool PosixUdpSocket::create() {
    if (fd_ >= 0) return false;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        !loop_.watchFd(fd, &PosixUdpSocket::notify, &events_)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool PosixUdpSocket::connect(std::string_view host, uint16_t port) {
    if (fd_ < 0 || host.empty() || host.size() >= HOST_TEXT_CAPACITY) return false;
    if (host.find('\0') != std::string_view::npos) return false;
    std::array<char, HOST_TEXT_CAPACITY> name{};
    std::memcpy(name.data(), host.data(), host.size());

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.data(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    sockaddr_in peer{};
    std::memcpy(&peer, found->ai_addr, sizeof peer);
    ::freeaddrinfo(found);
    peer.sin_port = htons(port);

    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0 && errno != EINPROGRESS &&
        errno != EAGAIN)
        return false;
    // A connected UDP socket can send at once: say so, as the first send
    // notification.
    loop_.armWritable(fd_);
    return true;
}

size_t PosixUdpSocket::send(std::span<const uint8_t> datagram) {
    if (fd_ < 0) return 0;
    const ssize_t sent = ::send(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<size_t>(sent);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) loop_.armWritable(fd_);
    return 0;
}

ptrdiff_t PosixUdpSocket::receive(std::span<uint8_t> buffer) {
    if (fd_ < 0) return -1;
    // MSG_TRUNC makes recv return the datagram's real length, so an
    // over-long datagram is recognised (and dropped) rather than cut short.
    const ssize_t got = ::recv(fd_, buffer.data(), buffer.size(), MSG_TRUNC);
    loop_.armReadable(fd_);
    if (got < 0 || static_cast<size_t>(got) > buffer.size()) return -1;
    return got;
}

uint32_t PosixUdpSocket::peerAddress() const {
    if (fd_ < 0) return 0;
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &size) != 0 || peer.sin_family != AF_INET)
        return 0;
    return ntohl(peer.sin_addr.s_addr);
}

uint16_t PosixUdpSocket::localPort() const {
    if (fd_ < 0) return 0;
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
    return ntohs(local.sin_port);
}

void PosixUdpSocket::close() {
    if (fd_ < 0) return;
    loop_.unwatchFd(fd_);
    ::close(fd_);
    fd_ = -1;
}

bool PosixUdpSocketFactory::startup() {
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    ::close(probe);
    return true;
}

std::unique_ptr<UdpSocket> PosixUdpSocketFactory::makeSocket(UdpSocketEvents& events) {
    return std::unique_ptr<UdpSocket>(new (std::nothrow) PosixUdpSocket(loop_, events));
}

}  // namespace vorpel
