#include "media/voice_packet_acceptance.h"

#include "common/byte_io.h"
#include "media/rtp_voice_packet.h"

namespace vorpel {

VoiceVerdict acceptVoicePacket(JitterRing& ring, std::span<uint8_t> datagram, const TrafficCiphers* ciphers) {
    const ByteReader reader(datagram);
    const uint8_t first = reader.u8(0);
    if ((first & RTP_VERSION_MASK) < RTP_VERSION_2) return VoiceVerdict::Dropped;
    if ((reader.u8(1) & RTP_PAYLOAD_TYPE_MASK) != VOICE_PAYLOAD_TYPE) return VoiceVerdict::Dropped;

    size_t headerLength = RTP_HEADER_SIZE + RTP_CSRC_SIZE * (first & RTP_CSRC_COUNT_MASK);
    if ((first & RTP_EXTENSION_BIT) != 0) {
        // The extension's own length word must lie inside the datagram.
        if (!reader.has(headerLength, RTP_EXTENSION_WORD)) return VoiceVerdict::Dropped;
        const size_t words = reader.u16be(headerLength + RTP_EXTENSION_LENGTH_OFFSET);
        headerLength += RTP_EXTENSION_WORD * (1 + words);
    }
    if (headerLength >= datagram.size()) return VoiceVerdict::Dropped;

    const std::optional<uint32_t> offset = ring.place(reader.u32be(RTP_TIMESTAMP_OFFSET));
    if (!offset) return VoiceVerdict::Dropped;

    size_t payloadLength = datagram.size() - headerLength;
    if (ciphers != nullptr && !decryptVoicePayload(*ciphers, datagram, headerLength)) {
        return VoiceVerdict::Undecryptable;  // not whole blocks, or no key installed since start-up
    }
    if ((first & RTP_PADDING_BIT) != 0) {
        const size_t padding = datagram.back();
        // It would reach back into the header: under encryption, the sign of
        // a payload sealed under another key.
        if (padding > payloadLength)
            return ciphers != nullptr ? VoiceVerdict::Undecryptable : VoiceVerdict::Dropped;
        payloadLength -= padding;
    }
    if (payloadLength < G729_FRAME_BYTES) return VoiceVerdict::Dropped;
    const size_t frameBytes = payloadLength - payloadLength % G729_FRAME_BYTES;
    ring.store(*offset, datagram.subspan(headerLength, frameBytes));
    return VoiceVerdict::Filed;
}

}  // namespace vorpel
