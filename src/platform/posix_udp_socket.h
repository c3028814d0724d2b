// Connected UDP sockets over POSIX: non-blocking IPv4 datagram sockets whose
// readiness is watched by the window thread's event loop.
//
// A receive or send that would block re-arms the matching notification, so a
// reader that stops early is told again while datagrams wait, and a sender
// that hit a full buffer is told once the buffer drains.
#pragma once

#include <memory>

#include "platform/event_loop.h"
#include "platform/udp_socket.h"

namespace vorpel {

class PosixUdpSocket final : public UdpSocket {
public:
    PosixUdpSocket(EventLoop& loop, UdpSocketEvents& events) : loop_(loop), events_(events) {}
    ~PosixUdpSocket() override;
    PosixUdpSocket(const PosixUdpSocket&) = delete;
    PosixUdpSocket& operator=(const PosixUdpSocket&) = delete;

    bool create() override;
    bool connect(std::string_view host, uint16_t port) override;
    size_t send(std::span<const uint8_t> datagram) override;
    ptrdiff_t receive(std::span<uint8_t> buffer) override;
    uint32_t peerAddress() const override;
    void close() override;

    // The local port after create() (0 before); for tests and diagnostics.
    uint16_t localPort() const;

private:
    static void notify(void* events, unsigned readiness);

    EventLoop& loop_;
    UdpSocketEvents& events_;
    int fd_ = -1;
};

class PosixUdpSocketFactory final : public UdpSocketFactory {
public:
    explicit PosixUdpSocketFactory(EventLoop& loop) : loop_(loop) {}
    // Sockets need nothing started on Linux; this checks that the system
    // lets the process open an IPv4 datagram socket at all.
    bool startup() override;
    std::unique_ptr<UdpSocket> makeSocket(UdpSocketEvents& events) override;

private:
    EventLoop& loop_;
};

}  // namespace vorpel
