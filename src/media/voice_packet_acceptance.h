// Acceptance of one received voice datagram into the jitter ring.
//
// Order of the checks (a failing check drops the datagram silently):
//  1. version 2 or 3 and payload type 72 (the marker bit is ignored);
//  2. header length from the CSRC count and the extension header; the
//     header must end before the datagram does;
//  3. placement by timestamp, which may resynchronise the ring, so a packet
//     dropped by the payload checks below may still have moved it;
//  4. while encryption is in force, a payload of whole 16-byte blocks,
//     decrypted in place (dropped while the ciphers have never been keyed);
//  5. padding removal (RFC 3550 5.1, bit P), the count read after decryption;
//  6. at least one whole frame; a remainder below 10 bytes is ignored.
//
// Threads: the audio thread's playout pass, under the media lock.
#pragma once

#include <cstdint>
#include <span>

#include "media/jitter_ring.h"
#include "security/traffic_cipher.h"

namespace vorpel {

// Filed: frames went into the ring. Undecryptable: the payload was no whole
// number of cipher blocks, no key was installed, or the padding count read
// after decryption is impossible. Dropped: any other check failed.
enum class VoiceVerdict { Filed, Dropped, Undecryptable };

// ciphers is given while encryption is in force (null otherwise); the
// datagram is then decrypted in place.
VoiceVerdict acceptVoicePacket(JitterRing& ring, std::span<uint8_t> datagram, const TrafficCiphers* ciphers);

}  // namespace vorpel
