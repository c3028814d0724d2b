// AES-256 encryption of voice payloads, block by block (each 16-byte block on
// its own), with one context per direction.
//
// Threads: keyTrafficCiphers runs on the thread that handles inbound
// signalling; encryptBlock and decryptBlock run on the audio thread. Keying
// expands the key into a spare context and publishes it with one atomic
// index swap, so a block operation never reads a half-written schedule.
//
// Until a key has been installed since start-up the contexts hold no key. A
// packet that should be encrypted or decrypted then is dropped, in both
// directions: the envelope functions below refuse it (the media path may also
// ask keyed() first). Nothing is ever sent in the clear while encryption is
// in force.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "security/aes.h"
#include "security/key_material.h"

namespace vorpel {

inline constexpr size_t AES_BLOCK_SIZE = 16;

// One direction's context. Two schedules alternate: the live one and the
// spare one that the next keying writes before it is published by one
// atomic store. A block operation registers as a user of the schedule it
// reads; keying waits until nobody uses the spare before writing it.
class TrafficCipher {
public:
    // 16, 24 or 32 bytes; false for any other length, leaving the context unchanged.
    // Writers are serialised by the caller (TrafficCiphers holds the lock).
    bool key(std::span<const uint8_t> key);

    // Runs work(schedule) on the live schedule, which keying leaves alone meanwhile.
    template <class Work>
    void withSchedule(Work&& work) const {
        uint32_t index = 0;
        for (;;) {
            index = live_.load();
            users_[index].fetch_add(1);
            // Keying may have published the other schedule meanwhile and may be
            // about to rewrite this one: then step back and take the new one.
            if (live_.load() == index) break;
            users_[index].fetch_sub(1);
        }
        work(schedules_[index]);
        users_[index].fetch_sub(1);
    }

private:
    std::array<AesSchedule, 2> schedules_{};
    mutable std::array<std::atomic<uint32_t>, 2> users_{};
    std::atomic<uint32_t> live_{0};
};

class TrafficCiphers {
public:
    TrafficCiphers();
    TrafficCiphers(const TrafficCiphers&) = delete;
    TrafficCiphers& operator=(const TrafficCiphers&) = delete;

    // Keys both directions with the session key when encryption is in force
    // (rxCipher, then txCipher); otherwise leaves both contexts as they were.
    void keyTrafficCiphers(const KeyMaterial& keys);
    // Keys both directions unconditionally (16, 24 or 32 bytes); false for any
    // other length, leaving the contexts unchanged.
    bool setKey(std::span<const uint8_t> key);
    // True once a key has been installed since construction.
    bool keyed() const;

    // encryptBlock uses txCipher, decryptBlock rxCipher.
    void encryptBlock(std::span<uint8_t, AES_BLOCK_SIZE> block) const;
    void decryptBlock(std::span<uint8_t, AES_BLOCK_SIZE> block) const;
    // Consecutive blocks in place, all under the same key even when keying
    // happens meanwhile; a trailing partial block is left alone.
    void encryptBlocks(std::span<uint8_t> blocks) const;
    void decryptBlocks(std::span<uint8_t> blocks) const;

private:
    TrafficCipher txCipher_;  // outgoing payloads
    TrafficCipher rxCipher_;  // incoming payloads
    std::atomic<bool> keyed_{false};
    std::mutex keying_;  // serialises writers; block operations never take it
};

// Transmit envelope: pads a payload of `payloadLength` bytes at packet offset
// `headerLength` to whole blocks (p-1 zero bytes then p, setting the RTP
// padding bit in packet[0] when padding is added) and encrypts it in place.
// Returns the new packet length, or 0 (drop the packet) when the buffer is
// too small or no key has been installed yet.
size_t encryptVoicePayload(const TrafficCiphers& ciphers, std::span<uint8_t> packet, size_t headerLength,
                           size_t payloadLength);
// Receive envelope: decrypts the payload after headerLength in place.
// Returns false (drop the datagram; nothing is changed) when the payload is
// not whole blocks or no key has been installed yet. Padding removal is the
// receiver's.
bool decryptVoicePayload(const TrafficCiphers& ciphers, std::span<uint8_t> datagram, size_t headerLength);

}  // namespace vorpel
