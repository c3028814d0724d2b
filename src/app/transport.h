// The terminal's two connected UDP sockets: the signalling socket towards the
// server's port 9877, and the voice socket towards the address and port that
// the server names in its voice channel command.
//
// The signalling socket is created (and connected) by the phone window's
// refresh after every tick once the engine has accepted the settings
// (Registering or later); its first send notification starts the
// registration. It is closed only by the shell (before a settings or tag
// dialog, at shutdown). A socket that cannot be set up sets socketFault and
// shows "Socket Fault" as the window title; closing the signalling socket
// clears it, so the engine restart after a dialog tries again. A server
// given by name is looked up first through the NameResolver, away from the
// window thread and the engine lock; the socket is set up when the answer
// comes back, and a name without an address is a socket fault too.
// The voice socket is replaced by every voice channel command and closed when
// audio is released; when it cannot be set up the terminal says
// "Socket fault!", logs off and closes its window.
//
// Threads and locks:
// - The socket notifications and the resolver's answer arrive on the window
//   thread; the transport takes the engine lock itself before it handles one.
// - ensureSignallingSocket, openVoiceChannel, closeVoiceSocket,
//   closeSignallingSocket and sendSignalling expect the caller to hold the
//   engine lock (the engine's own calls; the shell's tick handling and
//   dialogs). closeVoiceSocket may come from the timer thread (a lost link).
// - sendVoice runs on the audio thread without the engine lock. The voice
//   lock keeps it from overlapping a close or a replacement of the voice
//   socket; lock order: engine lock, then voice lock.
// - Every call out to TransportEvents is made with the engine lock held.
// The annotations below let the compiler check these rules.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "app/link_socket.h"
#include "common/mutex.h"
#include "media/media_ports.h"
#include "platform/name_resolver.h"
#include "platform/udp_socket.h"
#include "signalling/terminal_state.h"

namespace vorpel {

inline constexpr uint16_t SIGNALLING_PORT = 9877;
// One receive buffer; a longer datagram is dropped, never handed on cut short.
inline constexpr size_t RECEIVE_BUFFER_SIZE = 256;
// sendSignalling and sendVoice cut longer data into datagrams of this size.
inline constexpr size_t SEND_CHUNK_SIZE = 1024;
inline constexpr std::string_view SOCKET_FAULT_TITLE = "Socket Fault";
inline constexpr std::string_view SOCKET_FAULT_MESSAGE = "Socket fault!";

// What the transport calls out to: the engine, the voice receiver, the phone
// window and the settings. Always called with the engine lock held; an
// implementation declares that with REQUIRES on its own lock.
class TransportEvents {
public:
    virtual ~TransportEvents() = default;
    // The signalling engine.
    virtual RegState regState() const = 0;
    virtual void handleDatagram(std::span<const uint8_t> datagram) = 0;
    virtual void startRegistration() = 0;
    virtual void sendLogoff() = 0;
    // The voice receiver's queue.
    virtual void queueVoiceDatagram(std::span<const uint8_t> datagram) = 0;
    // The phone window: whether it exists (false during start-up and
    // shutdown), its title, an error message box, and its Cancel.
    virtual bool phoneWindowExists() const = 0;
    virtual void setWindowTitle(std::string_view title) = 0;
    virtual void showMessage(std::string_view text) = 0;
    virtual void cancelWindow() = 0;
    // The settings record's serverAddress field as stored (64 bytes, zero
    // padded, or shorter); the transport uses it up to the first zero byte
    // and at most 63 bytes.
    virtual std::string serverAddress() const = 0;
};

// Where a protocol trace sees the datagrams go in and out. Signalling frames
// are reported on the thread that handles them, under the engine lock; voice
// packets only counted, the sent ones from the audio thread (voicePacket must
// neither block nor allocate).
class TraceSink {
public:
    virtual void signallingFrame(bool outgoing, std::span<const uint8_t> frame) = 0;
    virtual void voicePacket(bool outgoing) = 0;

protected:
    ~TraceSink() = default;
};

class Transport final : public VoiceSender {
public:
    Transport(UdpSocketFactory& sockets, NameResolver& resolver, TransportEvents& events, Mutex& engineLock);
    ~Transport() override;
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // Reports every datagram to sink from now on (null: none). Set before the
    // sockets are in use; the sink outlives the transport.
    void setTraceSink(TraceSink* sink) { trace_ = sink; }

    // The engine lock this transport was given.
    Mutex& engineLock() const RETURN_CAPABILITY(engineLock_) { return engineLock_; }

    void ensureSignallingSocket() REQUIRES(engineLock_);
    void openVoiceChannel(uint16_t port, uint32_t address) REQUIRES(engineLock_) EXCLUDES(voiceLock_);
    void closeVoiceSocket() REQUIRES(engineLock_) EXCLUDES(voiceLock_);
    void closeSignallingSocket() REQUIRES(engineLock_);
    size_t sendSignalling(std::span<const uint8_t> bytes) REQUIRES(engineLock_);

    // Audio thread, no engine lock.
    size_t sendVoice(std::span<const uint8_t> bytes) override EXCLUDES(voiceLock_);

    // The notification handlers (the socket notifications take the engine
    // lock and call these).
    void signallingReceive() REQUIRES(engineLock_);
    void signallingSendReady() REQUIRES(engineLock_);
    void voiceReceive() REQUIRES(engineLock_);
    void voiceSendReady() REQUIRES(engineLock_);
    // The resolver's answer for the signalling server's name (0: none).
    void signallingResolved(uint32_t address) REQUIRES(engineLock_);

    // State.
    bool socketFault() const REQUIRES(engineLock_) { return socketFault_; }
    bool hasSignallingSocket() const REQUIRES(engineLock_) { return signallingSocket_ != nullptr; }
    bool resolving() const REQUIRES(engineLock_) { return resolving_; }
    bool hasVoiceSocket() const REQUIRES(engineLock_) { return voiceSocket_ != nullptr; }
    bool signallingWritable() const REQUIRES(engineLock_) { return signallingWritable_; }
    bool voiceWritable() const { return voiceWritable_.load(std::memory_order_acquire); }
    bool registrationStarted() const REQUIRES(engineLock_) { return registrationStarted_; }
    bool voiceOpening() const REQUIRES(engineLock_) { return voiceOpening_; }
    uint32_t signallingPeerAddress() const REQUIRES(engineLock_);

private:
    // Socket notifications, on the window thread: take the engine lock and
    // hand on. They live as long as the transport, which outlives the loop.
    class SignallingNotifications final : public UdpSocketEvents {
    public:
        explicit SignallingNotifications(Transport& transport) : transport_(transport) {}
        void onReceive(int error) override;
        void onSend(int error) override;

    private:
        Transport& transport_;
    };
    class ResolverNotifications final : public NameResolverEvents {
    public:
        explicit ResolverNotifications(Transport& transport) : transport_(transport) {}
        void onResolved(uint32_t address) override;

    private:
        Transport& transport_;
    };
    class VoiceNotifications final : public UdpSocketEvents {
    public:
        explicit VoiceNotifications(Transport& transport) : transport_(transport) {}
        void onReceive(int error) override;
        void onSend(int error) override;

    private:
        Transport& transport_;
    };

    // A connected LinkSocket whose notifications go to events, or null.
    std::unique_ptr<LinkSocket> connectSocket(UdpSocketEvents& events, std::string_view host, uint16_t port);
    void connectSignalling(std::string_view host) REQUIRES(engineLock_);
    void signallingFault() REQUIRES(engineLock_);
    // Hands every waiting datagram of socket to deliver, one at a time.
    template <typename Deliver>
    void receiveAll(LinkSocket& socket, Deliver deliver) REQUIRES(engineLock_);
    // Cuts bytes into datagrams of at most SEND_CHUNK_SIZE; the sum accepted.
    static size_t sendInChunks(LinkSocket& socket, std::span<const uint8_t> bytes);

    UdpSocketFactory& sockets_;
    NameResolver& resolver_;
    TransportEvents& events_;
    Mutex& engineLock_;
    Mutex voiceLock_ ACQUIRED_AFTER(engineLock_);
    SignallingNotifications signallingNotifications_{*this};
    VoiceNotifications voiceNotifications_{*this};
    ResolverNotifications resolverNotifications_{*this};

    std::unique_ptr<LinkSocket> signallingSocket_ GUARDED_BY(engineLock_);
    // The voice socket, replaced under both locks: the engine's side uses it
    // under the engine lock, sendVoice through voiceSender_ under the voice
    // lock, so a send never waits for a receive.
    std::unique_ptr<LinkSocket> voiceSocket_ GUARDED_BY(engineLock_);
    LinkSocket* voiceSender_ GUARDED_BY(voiceLock_) = nullptr;
    bool socketFault_ GUARDED_BY(engineLock_) = false;
    bool resolving_ GUARDED_BY(engineLock_) = false;  // a lookup of the server's name is out
    bool signallingWritable_ GUARDED_BY(engineLock_) = false;
    bool registrationStarted_ GUARDED_BY(engineLock_) = false;
    std::atomic<bool> voiceWritable_{false};
    bool voiceOpening_ GUARDED_BY(engineLock_) = false;
    std::array<uint8_t, RECEIVE_BUFFER_SIZE> receiveBuffer_ GUARDED_BY(engineLock_){};
    TraceSink* trace_ = nullptr;
};

}  // namespace vorpel
