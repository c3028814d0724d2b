#include "media/rtp_voice_packet.h"

namespace vorpel {

size_t encryptVoicePayload(const TrafficCiphers& ciphers, std::span<uint8_t> packet, size_t headerLength,
                           size_t payloadLength) {
    if (!ciphers.keyed() || headerLength == 0 || headerLength > packet.size() ||
        payloadLength > packet.size() - headerLength) {
        return 0;
    }
    const size_t remainder = payloadLength % AES_BLOCK_SIZE;
    const size_t padLength = remainder == 0 ? 0 : AES_BLOCK_SIZE - remainder;
    if (padLength > packet.size() - headerLength - payloadLength) return 0;
    const auto payload = packet.subspan(headerLength, payloadLength + padLength);
    if (padLength != 0) {
        for (size_t i = payloadLength; i + 1 < payload.size(); ++i) payload[i] = 0;
        payload.back() = static_cast<uint8_t>(padLength);
        packet[0] |= RTP_PADDING_BIT;
    }
    ciphers.encryptBlocks(payload);
    return headerLength + payload.size();
}

bool decryptVoicePayload(const TrafficCiphers& ciphers, std::span<uint8_t> datagram, size_t headerLength) {
    if (!ciphers.keyed() || headerLength > datagram.size()) return false;
    const auto payload = datagram.subspan(headerLength);
    if (payload.size() % AES_BLOCK_SIZE != 0) return false;
    ciphers.decryptBlocks(payload);
    return true;
}

}  // namespace vorpel
