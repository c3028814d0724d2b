// AES-256 encryption of voice payloads, block by block (each 16-byte block on
// its own), with one context per direction.
//
// Threads: keyTrafficCiphers runs on the thread that handles inbound
// signalling; encryptBlock and decryptBlock run on the audio thread. Keying
// expands the key into a spare context and publishes it with one atomic
// pointer swap, so a block operation never reads a half-written schedule.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "security/key_material.h"

namespace vorpel {

inline constexpr size_t AES_BLOCK_SIZE = 16;

class TrafficCiphers {
public:
    TrafficCiphers();
    TrafficCiphers(const TrafficCiphers&) = delete;
    TrafficCiphers& operator=(const TrafficCiphers&) = delete;

    // Keys both directions with the session key when encryption is in force;
    // otherwise leaves both contexts as they were.
    void keyTrafficCiphers(const KeyMaterial& keys);
    // Keys both directions unconditionally (16, 24 or 32 bytes); false for any
    // other length, leaving the contexts unchanged.
    bool setKey(std::span<const uint8_t> key);
    // True once a key has been installed since construction.
    bool keyed() const;

    void encryptBlock(std::span<uint8_t, AES_BLOCK_SIZE> block) const;
    void decryptBlock(std::span<uint8_t, AES_BLOCK_SIZE> block) const;

private:
    // Two schedules per direction (live and spare) and the atomically
    // published index of the live one; the layout is the implementation's.
};

// Transmit envelope: pads a payload of `payloadLength` bytes at packet offset
// `headerLength` to whole blocks (p-1 zero bytes then p, setting the RTP
// padding bit in packet[0] when padding is added) and encrypts it in place.
// Returns the new packet length, or 0 when the buffer is too small.
size_t encryptVoicePayload(const TrafficCiphers& ciphers, std::span<uint8_t> packet,
                           size_t headerLength, size_t payloadLength);
// Receive envelope: decrypts the payload after headerLength in place.
// Returns false (and changes nothing) when its length is not whole blocks.
bool decryptVoicePayload(const TrafficCiphers& ciphers, std::span<uint8_t> datagram,
                         size_t headerLength);

}  // namespace vorpel
