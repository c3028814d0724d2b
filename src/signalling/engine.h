// The signalling engine: registration state machine, sequenced link, server
// command interpreter, and the terminal's reports and keys.
//
// Threads: the engine has none of its own and holds no lock. Every entry point
// must be called under the engine lock that the shell owns (the tick body on
// the timer thread; datagrams, keys and restarts on the window thread). The
// AudioState (audio mode, mute, encryption in force) is published for the
// audio thread, which reads it without the lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

#include "common/audio_state.h"
#include "common/byte_io.h"
#include "security/key_agreement_port.h"
#include "signalling/engine_ports.h"
#include "signalling/signalling_wire.h"
#include "signalling/terminal_state.h"

namespace vorpel {

class SignallingEngine {
public:
    SignallingEngine(EnginePorts& ports, KeyAgreementPort& keyAgreement);

    TerminalState& state() { return state_; }
    const TerminalState& state() const { return state_; }

    // Lifecycle and registration.
    void initEngine();
    void engineTick();
    void handleDatagram(std::span<const uint8_t> datagram);
    void startRegistration();
    void sendLogoff();

    // Display model and indicators.
    void showText(std::string_view text, unsigned line);  // up to a zero byte, at most 25
    void showMessage(unsigned index, unsigned row);       // MessageTable entry
    std::span<const uint8_t, DISPLAY_LINE_CHARS> lineText(unsigned line) const;
    void setIndicator(unsigned number, uint8_t indicatorState);

    // Link.
    void appendElement(std::span<const uint8_t> element);
    void flushSlot();
    void sendSlot(unsigned sequence);
    void sendAck();
    bool acceptAck(uint8_t sequenceOrAckByte);
    void handleLinkFrame(std::span<const uint8_t> frame);  // the bytes after 0xFF
    void linkUpkeep();
    void resetLink();

    // Server commands.
    // Interprets the element at position of a data frame (frame starts at the
    // type byte) and returns the position after it; a position of at least
    // frame.size() ends the frame (FRAME_END for the codes that end it and for
    // an element that runs past the end of the frame).
    static constexpr size_t FRAME_END = std::numeric_limits<size_t>::max();
    size_t interpretElement(std::span<const uint8_t> frame, size_t position);
    void releaseAudio();
    AudioMode audioMode() const { return audio_.audioMode(); }
    AudioState& audio() { return audio_; }
    const AudioState& audio() const { return audio_; }

    // Reports and keys.
    void queueKey(uint16_t keyCode);
    void hookKey();
    void queueCallStateReport();
    void queueAnnounce();

private:
    // Registration.
    void sendRegistrationRequest();
    void sendConnectRequest();
    void handleRegistrationReply(std::span<const uint8_t> datagram);
    void handleRefusal(std::span<const uint8_t> datagram);
    void handleConnectConfirm();
    void validateSettings();
    void tickRegistering();
    void tickSynchronizing();
    void tickConnected();
    void blankRows(unsigned firstRow, unsigned lastRow);

    // Link: frames start with 0xFF and the terminal id.
    void writeLinkHeader(ByteWriter& out) const;
    void transmit(const ByteWriter& out);
    void noteFrameSent();
    void handleDataFrame(std::span<const uint8_t> frame);

    // Reports: append, then flush when the slot has filled up.
    void queueReply(std::span<const uint8_t> element);
    void startVoice();
    // Tells the audio side whether the key material now puts encryption in force.
    void publishKeyState();

    EnginePorts& ports_;
    KeyAgreementPort& keyAgreement_;
    TerminalState state_;
    AudioState audio_;
    // Every outbound frame is built here; the largest is the registration request.
    std::array<uint8_t, wire::REGISTRATION_REQUEST_FULL> transmitBuffer_{};
};

}  // namespace vorpel
