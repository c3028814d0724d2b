// Voice datagrams on their way from the voice socket to the audio thread.
//
// A ring of 32 entries of up to 127 bytes. Single producer: the window thread
// (push). Single consumer: the audio thread's playout pass (front/pop) and
// the media reset (discardAll), which the media lock keeps apart. The producer
// writes an entry's bytes and length before it publishes the new write index;
// the consumer reads the entry only after it has seen that index, and
// publishes its read index after it has finished with the entry.
//
// A full ring (31 datagrams waiting) drops the new datagram and keeps the ones
// already queued.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "media/rtp_voice_packet.h"

namespace vorpel {

class ReceiveQueue {
public:
    static constexpr size_t ENTRY_COUNT = 32;

    // Producer. False when the datagram was dropped (empty, longer than 127
    // bytes, or the ring full).
    bool push(std::span<const uint8_t> datagram);

    // Consumer. The oldest datagram, writable in place (decryption), or an
    // empty span when nothing is queued.
    std::span<uint8_t> front();
    void pop();
    // Consumer side (media lock held): forgets everything queued so far.
    void discardAll();

private:
    struct Entry {
        std::array<uint8_t, MAX_RECEIVED_VOICE_DATAGRAM> bytes{};
        size_t length = 0;
    };
    std::array<Entry, ENTRY_COUNT> entries_{};
    std::atomic<uint32_t> write_{0};  // changed by the producer only
    std::atomic<uint32_t> read_{0};   // changed by the consumer only
};

}  // namespace vorpel
