// Layout of a voice packet: an RTP fixed header (RFC 3550 5.1) followed by
// G.729 Annex A frames of 10 bytes, optionally padded and encrypted.
//
//    0                   1                   2                   3
//    0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//   |V=2|P|X|  CC   |M|     PT      |       sequence number         |
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//   |                           timestamp                           |
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//   |                             SSRC                              |
//   +=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+
//   |              CSRC list (CC words, never sent by us)           |
//   |   extension: 16-bit profile, 16-bit length X, X words (if X)  |
//   +=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+
//   | frame 0 (10 bytes, byte 0 XOR frame mask) | frame 1 | ...     |
//   |                 padding: p-1 zero bytes, then p (if P)        |
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//
// All header fields are big-endian. The payload type on the wire is 72, not
// the static G.729 type 18. The frame mask is XORed into byte 0 of every
// frame in both directions; its value is fixed for interoperability.
//
// While traffic encryption is in force the payload (frames and padding) is
// encrypted with AES, each 16-byte block on its own; the header stays clear.
#pragma once

#include <cstddef>
#include <cstdint>

#include <span>

#include "codec/g729a.h"
#include "security/traffic_cipher.h"

namespace vorpel {

inline constexpr size_t RTP_HEADER_SIZE = 12;
inline constexpr size_t RTP_SEQUENCE_OFFSET = 2;  // the header is written in order; tests read these
inline constexpr size_t RTP_TIMESTAMP_OFFSET = 4;
inline constexpr size_t RTP_SSRC_OFFSET = 8;
inline constexpr size_t RTP_CSRC_SIZE = 4;
inline constexpr size_t RTP_EXTENSION_LENGTH_OFFSET = 2;  // within the extension header
inline constexpr size_t RTP_EXTENSION_WORD = 4;

inline constexpr uint8_t RTP_VERSION_MASK = 0xC0;
inline constexpr uint8_t RTP_VERSION_2 = 0x80;
inline constexpr uint8_t RTP_PADDING_BIT = 0x20;
inline constexpr uint8_t RTP_EXTENSION_BIT = 0x10;
inline constexpr uint8_t RTP_CSRC_COUNT_MASK = 0x0F;
inline constexpr uint8_t RTP_PAYLOAD_TYPE_MASK = 0x7F;

inline constexpr uint8_t VOICE_PAYLOAD_TYPE = 72;
inline constexpr uint8_t VOICE_FRAME_MASK = 0x5A;

// One block is 10 frames (100 ms); a catching-up block is 20 (200 ms).
inline constexpr size_t BLOCK_FRAMES = 10;
inline constexpr size_t MAX_BLOCK_FRAMES = 20;
// RTP timestamp units per frame (8000 Hz sample clock).
inline constexpr uint32_t FRAME_TIMESTAMP_STEP = G729_FRAME_SAMPLES;

// Largest packet we send: 20 frames padded to whole 16-byte blocks.
inline constexpr size_t MAX_VOICE_PACKET = RTP_HEADER_SIZE + 208;
// Datagrams of this length or more are never queued for playout.
inline constexpr size_t MAX_RECEIVED_VOICE_DATAGRAM = 127;

// Transmit envelope: pads a payload of `payloadLength` bytes at packet offset
// `headerLength` to whole blocks (p-1 zero bytes then p, setting the padding
// bit P when padding is added) and encrypts it in place. Returns the new
// packet length, or 0 (drop the packet) when the buffer is too small or no
// key has been installed yet.
size_t encryptVoicePayload(const TrafficCiphers& ciphers, std::span<uint8_t> packet, size_t headerLength,
                           size_t payloadLength);
// Receive envelope: decrypts the payload after headerLength in place.
// Returns false (drop the datagram; nothing is changed) when the payload is
// not whole blocks or no key has been installed yet. Padding removal is the
// receiver's.
bool decryptVoicePayload(const TrafficCiphers& ciphers, std::span<uint8_t> datagram, size_t headerLength);

}  // namespace vorpel
