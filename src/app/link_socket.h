// One of the terminal's two UDP sockets (signalling or voice) together with
// the peer address it has learnt.
//
// Receive and send pass straight through to the platform socket. The peer's
// address is asked for on the first send notification (the platform knows it
// once the socket is connected) and kept from then on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/udp_socket.h"

namespace vorpel {

class LinkSocket {
public:
    explicit LinkSocket(std::unique_ptr<UdpSocket> socket) : socket_(std::move(socket)) {}
    // Closes the platform socket.
    ~LinkSocket();
    LinkSocket(const LinkSocket&) = delete;
    LinkSocket& operator=(const LinkSocket&) = delete;

    UdpSocket& socket() { return *socket_; }
    ptrdiff_t receive(std::span<uint8_t> buffer) { return socket_->receive(buffer); }
    size_t send(std::span<const uint8_t> datagram) { return socket_->send(datagram); }

    // What the send notification does first: learn the peer's address while
    // it is still unknown (0).
    void recordPeerAddress();
    uint32_t peerAddress() const { return peerAddress_; }

private:
    std::unique_ptr<UdpSocket> socket_;
    uint32_t peerAddress_ = 0;
};

}  // namespace vorpel
