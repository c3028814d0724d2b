#include "app/transport.h"

#include <algorithm>
#include <new>

#include "settings/dotted_address.h"

namespace vorpel {

Transport::Transport(UdpSocketFactory& sockets, NameResolver& resolver, TransportEvents& events,
                     Mutex& engineLock)
    : sockets_(sockets), resolver_(resolver), events_(events), engineLock_(engineLock) {}

Transport::~Transport() {
    const MutexLock engine(engineLock_);
    if (resolving_) resolver_.cancel();
    {
        const MutexLock voice(voiceLock_);
        voiceSender_ = nullptr;
    }
    voiceSocket_.reset();
    signallingSocket_.reset();
}

uint32_t Transport::signallingPeerAddress() const {
    return signallingSocket_ ? signallingSocket_->peerAddress() : 0;
}

std::unique_ptr<LinkSocket> Transport::connectSocket(UdpSocketEvents& events, std::string_view host,
                                                     uint16_t port) {
    std::unique_ptr<UdpSocket> platformSocket = sockets_.makeSocket(events);
    if (!platformSocket) return nullptr;
    auto socket = std::unique_ptr<LinkSocket>(new (std::nothrow) LinkSocket(std::move(platformSocket)));
    if (!socket) return nullptr;
    if (!socket->socket().create() || !socket->socket().connect(host, port)) return nullptr;
    return socket;
}

void Transport::ensureSignallingSocket() {
    const RegState state = events_.regState();
    if (signallingSocket_ || socketFault_ || resolving_ || state == RegState::Validate ||
        state == RegState::SettingsInvalid)
        return;
    registrationStarted_ = false;
    const std::string field = events_.serverAddress();
    const std::string_view host =
        std::string_view(field).substr(0, std::min(field.find('\0'), SERVER_ADDRESS_USED));
    // A dotted address as such connects at once; anything else is a name to
    // look up, which may take long, so it is asked for and answered later.
    const uint32_t numeric = parseDottedAddress(host);
    if (numeric != 0 && formatDottedAddress(numeric) == host) {
        connectSignalling(host);
        return;
    }
    resolving_ = true;
    if (!resolver_.resolve(host, resolverNotifications_)) signallingResolved(0);
}

void Transport::signallingResolved(uint32_t address) {
    if (!resolving_) return;  // asked for before a close: stale
    resolving_ = false;
    if (address == 0) {
        signallingFault();
        return;
    }
    connectSignalling(formatDottedAddress(address));
}

void Transport::connectSignalling(std::string_view host) {
    signallingSocket_ = connectSocket(signallingNotifications_, host, SIGNALLING_PORT);
    if (!signallingSocket_) signallingFault();
}

void Transport::signallingFault() {
    // No further attempt until the shell closes the socket for an engine
    // restart; frames are dropped meanwhile.
    socketFault_ = true;
    events_.setWindowTitle(SOCKET_FAULT_TITLE);
}

void Transport::signallingSendReady() {
    if (!signallingSocket_) return;
    signallingSocket_->recordPeerAddress();
    signallingWritable_ = true;
    if (!registrationStarted_) {
        registrationStarted_ = true;
        events_.startRegistration();
    }
}

void Transport::voiceSendReady() {
    if (!voiceSocket_) return;
    voiceSocket_->recordPeerAddress();
    voiceWritable_.store(true, std::memory_order_release);
}

template <typename Deliver>
void Transport::receiveAll(LinkSocket& socket, Deliver deliver) {
    // One datagram at a time, each handled to the end before the next is
    // taken. A receive of 0 bytes, a would-block or any error ends the round;
    // the socket's next notification starts another.
    for (;;) {
        const ptrdiff_t got = socket.receive(receiveBuffer_);
        if (got <= 0) return;
        deliver(std::span<const uint8_t>(receiveBuffer_.data(), static_cast<size_t>(got)));
    }
}

void Transport::signallingReceive() {
    if (!signallingSocket_ || events_.regState() == RegState::Validate) return;
    receiveAll(*signallingSocket_, [this](std::span<const uint8_t> datagram) {
        if (trace_ != nullptr) trace_->signallingFrame(false, datagram);
        events_.handleDatagram(datagram);
    });
}

void Transport::voiceReceive() {
    if (!voiceSocket_ || events_.regState() == RegState::Validate) return;
    receiveAll(*voiceSocket_, [this](std::span<const uint8_t> datagram) {
        if (trace_ != nullptr) trace_->voicePacket(false);
        events_.queueVoiceDatagram(datagram);
    });
}

void Transport::openVoiceChannel(uint16_t port, uint32_t address) {
    closeVoiceSocket();
    if (voiceOpening_) return;
    voiceOpening_ = true;
    if (!events_.phoneWindowExists()) {
        // During start-up or shutdown there is nobody to tell about a fault.
        // Clear the flag again: left set, it would refuse every later voice
        // channel for the rest of the program's life.
        voiceOpening_ = false;
        return;
    }
    const uint32_t peer = address != 0 ? address : signallingPeerAddress();
    std::unique_ptr<LinkSocket> socket = connectSocket(voiceNotifications_, formatDottedAddress(peer), port);
    if (socket) {
        const MutexLock lock(voiceLock_);
        voiceWritable_.store(false, std::memory_order_release);
        voiceSender_ = socket.get();
        voiceSocket_ = std::move(socket);
        voiceOpening_ = false;
        return;
    }
    // The application ends: voice opening stays set so that nothing tries again.
    events_.showMessage(SOCKET_FAULT_MESSAGE);
    events_.sendLogoff();
    events_.cancelWindow();
}

void Transport::closeVoiceSocket() {
    std::unique_ptr<LinkSocket> closing;
    {
        const MutexLock lock(voiceLock_);
        voiceSender_ = nullptr;
        closing = std::move(voiceSocket_);
    }
    // Closed outside the voice lock: no sendVoice can reach it any more.
}

void Transport::closeSignallingSocket() {
    std::unique_ptr<LinkSocket> closing = std::move(signallingSocket_);
    if (resolving_) {
        resolver_.cancel();
        resolving_ = false;
    }
    // The engine restarts with settings that may have changed: the next
    // refresh tries again with the current address.
    socketFault_ = false;
}

size_t Transport::sendInChunks(LinkSocket& socket, std::span<const uint8_t> bytes) {
    size_t accepted = 0;
    while (bytes.size() > SEND_CHUNK_SIZE) {
        accepted += socket.send(bytes.first(SEND_CHUNK_SIZE));
        bytes = bytes.subspan(SEND_CHUNK_SIZE);
    }
    return accepted + socket.send(bytes);
}

size_t Transport::sendSignalling(std::span<const uint8_t> bytes) {
    if (!signallingWritable_ || !signallingSocket_) return 0;
    if (trace_ != nullptr) trace_->signallingFrame(true, bytes);
    return sendInChunks(*signallingSocket_, bytes);
}

size_t Transport::sendVoice(std::span<const uint8_t> bytes) {
    const MutexLock lock(voiceLock_);
    if (!voiceWritable_.load(std::memory_order_acquire) || voiceSender_ == nullptr) return 0;
    if (trace_ != nullptr) trace_->voicePacket(true);
    return sendInChunks(*voiceSender_, bytes);
}

void Transport::SignallingNotifications::onReceive(int) {
    const MutexLock lock(transport_.engineLock_);
    transport_.signallingReceive();
}

void Transport::SignallingNotifications::onSend(int) {
    const MutexLock lock(transport_.engineLock_);
    transport_.signallingSendReady();
}

void Transport::ResolverNotifications::onResolved(uint32_t address) {
    const MutexLock lock(transport_.engineLock_);
    transport_.signallingResolved(address);
}

void Transport::VoiceNotifications::onReceive(int) {
    const MutexLock lock(transport_.engineLock_);
    transport_.voiceReceive();
}

void Transport::VoiceNotifications::onSend(int) {
    const MutexLock lock(transport_.engineLock_);
    transport_.voiceSendReady();
}

}  // namespace vorpel
