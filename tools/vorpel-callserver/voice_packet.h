// Voice packets as the terminals send and play them: an RTP fixed header
// (RFC 3550, section 5.1) of payload type 72 followed by 10-byte G.729 Annex A
// frames, whose first byte is masked with VOICE_FRAME_MASK. With a session
// key the payload is padded to whole 16-byte blocks (p - 1 zero bytes and a
// final byte p, with the RTP padding bit set) and encrypted block by block
// with AES-256; the header stays in the clear.
//
//    0                   1                   2                   3
//    0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//   |V=2|P|X|  CC   |M|     PT=72   |       sequence number         |
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//   |                           timestamp                           |
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//   |                             SSRC                              |
//   +=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+
//   |            CSRC list (CC words) and extension (X)             |
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//
// The relay never unmasks or decodes a frame: it moves the frame bytes from
// one leg's envelope into the other's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "server_crypto.h"

namespace vorpel::callserver {

inline constexpr uint8_t VOICE_PAYLOAD_TYPE = 72;
inline constexpr uint8_t VOICE_FRAME_MASK = 0x5A;
inline constexpr size_t VOICE_FRAME_BYTES = 10;
inline constexpr uint32_t VOICE_FRAME_SAMPLES = 80;
inline constexpr size_t RTP_HEADER = 12;
// Terminals play only datagrams shorter than 128 bytes: ten frames fit with
// or without encryption (112 or 124 bytes).
inline constexpr size_t VOICE_FRAMES_PER_PACKET = 10;
inline constexpr size_t VOICE_PACKET_MAX = RTP_HEADER + VOICE_FRAMES_PER_PACKET * VOICE_FRAME_BYTES + 16;

struct VoicePayload {
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;
    std::span<const uint8_t> frames;  // frameCount × 10 bytes, mask still applied
    size_t frameCount = 0;
};

// Checks the header, decrypts the payload in place when a cipher is given,
// removes the padding and finds the whole frames; false drops the packet.
bool openVoicePacket(std::span<uint8_t> datagram, VoiceCipher* cipher, VoicePayload& out);

// The RTP numbering of one outgoing leg.
struct RtpSendCounters {
    uint16_t sequence = 0;
    uint32_t ssrc = 0;
};

// Writes one packet of 1 to VOICE_FRAMES_PER_PACKET frames into out (at
// least VOICE_PACKET_MAX bytes), padded and encrypted when a cipher is given.
// Returns its length, 0 when the frames do not fit.
size_t sealVoicePacket(std::span<uint8_t> out, RtpSendCounters& counters, uint32_t timestamp,
                       std::span<const uint8_t> frames, VoiceCipher* cipher);

}  // namespace vorpel::callserver
