#include "media/voice_packet_acceptance.h"

#include "common/byte_io.h"
#include "media/rtp_voice_packet.h"

namespace vorpel {

bool acceptVoicePacket(JitterRing& ring, std::span<uint8_t> datagram, const TrafficCiphers* ciphers) {
    const ByteReader reader(datagram);
    const uint8_t first = reader.u8(0);
    if ((first & RTP_VERSION_MASK) < RTP_VERSION_2) return false;
    if ((reader.u8(1) & RTP_PAYLOAD_TYPE_MASK) != VOICE_PAYLOAD_TYPE) return false;

    size_t headerLength = RTP_HEADER_SIZE + RTP_CSRC_SIZE * (first & RTP_CSRC_COUNT_MASK);
    if ((first & RTP_EXTENSION_BIT) != 0) {
        // The extension's own length word must lie inside the datagram.
        if (!reader.has(headerLength, RTP_EXTENSION_WORD)) return false;
        const size_t words = reader.u16be(headerLength + RTP_EXTENSION_LENGTH_OFFSET);
        headerLength += RTP_EXTENSION_WORD * (1 + words);
    }
    if (headerLength >= datagram.size()) return false;

    const std::optional<uint32_t> offset = ring.place(reader.u32be(RTP_TIMESTAMP_OFFSET));
    if (!offset) return false;

    size_t payloadLength = datagram.size() - headerLength;
    if (ciphers != nullptr && !decryptVoicePayload(*ciphers, datagram, headerLength)) {
        return false;  // not whole blocks, or no key installed since start-up
    }
    if ((first & RTP_PADDING_BIT) != 0) {
        const size_t padding = datagram.back();
        if (padding > payloadLength) return false;  // would reach back into the header
        payloadLength -= padding;
    }
    if (payloadLength < G729_FRAME_BYTES) return false;
    const size_t frameBytes = payloadLength - payloadLength % G729_FRAME_BYTES;
    ring.store(*offset, datagram.subspan(headerLength, frameBytes));
    return true;
}

}  // namespace vorpel
