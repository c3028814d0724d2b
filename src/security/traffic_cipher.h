// AES-256 encryption of voice payloads, block by block (each 16-byte block on
// its own), with one context per direction.
//
// Threads: not synchronised. The media path keys it (on the engine's thread)
// and runs every block operation (on the audio thread) under its media lock.
//
// Until a key has been installed since start-up the contexts hold no key:
// keyed() is false, and the media path then drops a packet that should be
// encrypted or decrypted, in both directions. Nothing is ever sent in the
// clear while encryption is in force.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "security/aes.h"
#include "security/key_material.h"

namespace vorpel {

inline constexpr size_t AES_BLOCK_SIZE = AES_BLOCK_BYTES;

class TrafficCiphers {
public:
    // Keys both directions with the session key when encryption is in force
    // (rxCipher, then txCipher); otherwise leaves both contexts as they were.
    void keyTrafficCiphers(const KeyMaterial& keys);
    // Keys both directions unconditionally (16, 24 or 32 bytes); false for any
    // other length, leaving the contexts unchanged.
    bool setKey(std::span<const uint8_t> key);
    // True once a key has been installed since construction.
    bool keyed() const { return keyed_; }

    // encryptBlock uses txCipher, decryptBlock rxCipher.
    void encryptBlock(std::span<uint8_t, AES_BLOCK_SIZE> block) const;
    void decryptBlock(std::span<uint8_t, AES_BLOCK_SIZE> block) const;
    // Consecutive blocks in place; a trailing partial block is left alone.
    void encryptBlocks(std::span<uint8_t> blocks) const;
    void decryptBlocks(std::span<uint8_t> blocks) const;

private:
    AesSchedule txCipher_{};  // outgoing payloads
    AesSchedule rxCipher_{};  // incoming payloads
    bool keyed_ = false;
};

}  // namespace vorpel
