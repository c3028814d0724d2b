// Connected UDP sockets with "data can be received" and "data can be sent"
// notifications, the way the transport uses them: create on any local port,
// connect to a host text (dotted IPv4 address or host name) and port, send
// and receive whole datagrams, ask for the peer's address, close.
//
// Threads:
// - Notifications arrive on the window thread (the event loop's thread).
// - send() may run on any thread (the voice socket sends on the audio
//   thread); the caller keeps it from overlapping close() or destruction.
// - Everything else runs on the thread that serialises the socket's owner
//   (the engine lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace vorpel {

// Receives a socket's notifications. The error code is the platform's (0 when
// none). A target must stay alive as long as the event loop runs: a
// notification that the loop has already picked up may still arrive after a
// close made on another thread, so a target checks its own state first.
class UdpSocketEvents {
public:
    virtual ~UdpSocketEvents() = default;
    // Datagrams (or a pending error) wait; reported again after each
    // receive() while more wait.
    virtual void onReceive(int error) = 0;
    // The socket can send: once after connect, and again after a send that
    // would have blocked, as soon as sending is possible again.
    virtual void onSend(int error) = 0;
};

class UdpSocket {
public:
    // Destruction closes the socket.
    virtual ~UdpSocket() = default;

    // Opens the datagram socket (IPv4, any local address and port) and turns
    // its notifications on. False on failure.
    virtual bool create() = 0;
    // Connects to host (dotted address or a name to resolve) at port. The
    // socket then sends only to, and receives only from, that peer. False
    // when the host cannot be resolved or the connect fails.
    virtual bool connect(std::string_view host, uint16_t port) = 0;
    // Sends one datagram. Returns the bytes accepted; 0 when the send would
    // block (onSend follows once it can send again) or fails.
    virtual size_t send(std::span<const uint8_t> datagram) = 0;
    // Takes one datagram into buffer. Returns its length (0 for an empty
    // datagram), or -1 when nothing waits, on an error, or when the datagram
    // was longer than buffer (it is then discarded whole, never cut short).
    virtual ptrdiff_t receive(std::span<uint8_t> buffer) = 0;
    // The connected peer's IPv4 address, most significant byte = first
    // dotted part; 0 when not connected.
    virtual uint32_t peerAddress() const = 0;
    // Closes the socket; no notification is delivered for it afterwards
    // (see UdpSocketEvents for a close on another thread).
    virtual void close() = 0;
};

class UdpSocketFactory {
public:
    virtual ~UdpSocketFactory() = default;
    // The platform's socket start-up; false when sockets cannot work.
    virtual bool startup() = 0;
    // A new, not yet created socket whose notifications go to events; null
    // when it cannot be allocated.
    virtual std::unique_ptr<UdpSocket> makeSocket(UdpSocketEvents& events) = 0;
};

}  // namespace vorpel
