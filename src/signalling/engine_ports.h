// What the signalling engine needs from the rest of the terminal. The program
// wires these to the transport, the media path, the traffic ciphers and the
// phone window; tests supply recording fakes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "security/key_material.h"

namespace vorpel {

inline constexpr size_t MELODY_NOTE_COUNT = 32;

class EnginePorts {
public:
    virtual ~EnginePorts() = default;
    // Sends one frame on the signalling socket; returns the bytes accepted (0 when none).
    virtual size_t sendSignalling(std::span<const uint8_t> frame) = 0;
    // Restarts both voice directions; the new RTP synchronisation source is engineTicks.
    virtual void resetMedia(uint32_t engineTicks) = 0;
    virtual void startMelody(uint8_t tempo, std::span<const uint8_t, MELODY_NOTE_COUNT> notes) = 0;
    // Closes any voice socket and opens one towards address:port; address 0
    // stands for the signalling server's own address.
    virtual void openVoiceChannel(uint16_t port, uint32_t address) = 0;
    virtual void closeVoiceSocket() = 0;
    // Keys both voice ciphers with the session key (called only when a key
    // pair is held and the session key is ready).
    virtual void keyTrafficCiphers(const KeyMaterial& keys) = 0;
    virtual void raisePhoneWindow() = 0;
    // Whether the signalling socket has learnt the server's address.
    virtual bool serverAddressKnown() const = 0;
};

}  // namespace vorpel
