#include "voice_packet.h"

#include <cstring>

#include "common/byte_io.h"

namespace vorpel::callserver {
namespace {

constexpr uint8_t RTP_VERSION_2 = 0x80;
constexpr uint8_t RTP_PADDING = 0x20;
constexpr uint8_t RTP_EXTENSION = 0x10;

}  // namespace

bool openVoicePacket(std::span<uint8_t> datagram, VoiceCipher* cipher, VoicePayload& out) {
    const ByteReader in(datagram);
    if (!in.has(0, RTP_HEADER)) return false;
    const uint8_t first = in.u8(0);
    if ((first & 0xC0) != RTP_VERSION_2 || (in.u8(1) & 0x7F) != VOICE_PAYLOAD_TYPE) return false;
    size_t header = RTP_HEADER + 4 * static_cast<size_t>(first & 0x0F);
    if (first & RTP_EXTENSION) {
        if (!in.has(header, 4)) return false;
        header += 4 * (1 + static_cast<size_t>(in.u16be(header + 2)));
    }
    if (header >= datagram.size()) return false;
    std::span<uint8_t> payload = datagram.subspan(header);
    if (cipher) {
        if (payload.size() % CIPHER_BLOCK_SIZE != 0 || !cipher->decrypt(payload)) return false;
    }
    size_t length = payload.size();
    if (first & RTP_PADDING) {
        const size_t padding = payload[length - 1];
        if (padding == 0 || padding > length) return false;
        length -= padding;
    }
    out.frameCount = length / VOICE_FRAME_BYTES;
    if (out.frameCount == 0) return false;
    out.timestamp = in.u32be(4);
    out.ssrc = in.u32be(8);
    out.frames = payload.first(out.frameCount * VOICE_FRAME_BYTES);
    return true;
}

size_t sealVoicePacket(std::span<uint8_t> out, RtpSendCounters& counters, uint32_t timestamp,
                       std::span<const uint8_t> frames, VoiceCipher* cipher) {
    const size_t length = frames.size();
    if (length == 0 || length % VOICE_FRAME_BYTES != 0 ||
        length > VOICE_FRAMES_PER_PACKET * VOICE_FRAME_BYTES || out.size() < VOICE_PACKET_MAX) {
        return 0;
    }
    const size_t remainder = cipher ? length % CIPHER_BLOCK_SIZE : 0;
    const size_t padding = remainder ? CIPHER_BLOCK_SIZE - remainder : 0;
    ByteWriter w(out);
    w.u8(padding ? RTP_VERSION_2 | RTP_PADDING : RTP_VERSION_2)
        .u8(VOICE_PAYLOAD_TYPE)
        .u16be(counters.sequence)
        .u32be(timestamp)
        .u32be(counters.ssrc)
        .bytes(frames);
    if (padding) w.zeros(padding - 1).u8(static_cast<uint8_t>(padding));
    if (cipher && !cipher->encrypt(out.subspan(RTP_HEADER, length + padding))) return 0;
    ++counters.sequence;
    return w.size();
}

}  // namespace vorpel::callserver
