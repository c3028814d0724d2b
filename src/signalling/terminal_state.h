// Everything the signalling engine knows: registration state and timers, the
// identity the server assigned, the display model, the indicators, the key
// material, the settings snapshot, the tick count and the sequenced link.
//
// One record per terminal, owned by the SignallingEngine; a plain record that
// an engine initialisation replaces as a whole. Every read and write happens
// under the engine lock. What the audio side reads without the lock (audio
// mode, mute, encryption in force) the engine publishes in its AudioState.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "security/key_material.h"
#include "settings/settings_record.h"

namespace vorpel {

enum class RegState : uint32_t {
    Validate = 0,
    SettingsInvalid = 1,
    Registering = 2,
    Synchronizing = 3,
    Connected = 4,
};

inline constexpr size_t DISPLAY_LINES = 8;
inline constexpr size_t DISPLAY_LINE_CHARS = 25;
inline constexpr size_t DISPLAY_ROWS = 4;
inline constexpr size_t DISPLAY_ROW_CHARS = 50;
inline constexpr size_t DISPLAY_CHARS = 200;
inline constexpr size_t INDICATOR_COUNT = 64;
inline constexpr size_t SEND_SLOT_COUNT = 8;
inline constexpr size_t SEND_SLOT_BODY = 16;

// One frame of the send window: byte count, then the body (type, sequence
// byte, elements). An empty slot has the count 2.
struct SendSlot {
    uint32_t count = 2;
    std::array<uint8_t, SEND_SLOT_BODY> body{};
    friend bool operator==(const SendSlot&, const SendSlot&) = default;
};

// The sequenced link. A connect confirm starts a new numbering with an empty
// send window; the fields from ackHoldoff on carry over into the new link.
struct LinkState {
    uint8_t ackedSeq = 0;     // oldest sent and unacknowledged
    uint8_t recvSeq = 0;      // next expected from the server
    uint8_t sendSeq = 0;      // slot being filled
    uint8_t reportedSeq = 0;  // recvSeq last sent to the server
    uint16_t linkLost = 0;
    std::array<SendSlot, SEND_SLOT_COUNT> slots{};
    uint16_t ackHoldoff = 0;
    uint16_t syncExpected = 0;
    uint32_t keepaliveTicks = 0;
    uint32_t ackDelayTicks = 0;

    // The acknowledgement byte the terminal sends: ackedSeq in bits 0..2, recvSeq in bits 4..6.
    uint8_t ackByte() const { return static_cast<uint8_t>((ackedSeq & 7) | ((recvSeq & 7) << 4)); }
    friend bool operator==(const LinkState&, const LinkState&) = default;
};

struct TerminalState {
    RegState regState = RegState::Validate;
    uint32_t countdown = 0;
    uint32_t retryCount = 0;
    uint32_t displayVersion = 0;  // carried over by initEngine
    uint16_t terminalId = 0;
    uint16_t registrationCounter = 0;
    std::array<uint8_t, DISPLAY_CHARS> display{};
    std::array<uint8_t, INDICATOR_COUNT> indicators{};
    KeyMaterial keys;
    ConfigSnapshot config;
    uint32_t engineTicks = 0;  // carried over by initEngine: never reset
    LinkState link;
    friend bool operator==(const TerminalState&, const TerminalState&) = default;
};

}  // namespace vorpel
