#include "media/voice_transmitter.h"

#include <algorithm>

#include "common/byte_io.h"

namespace vorpel {
namespace {
// The only gain on the transmit side: 1/8, rounding toward zero.
constexpr int16_t TRANSMIT_GAIN_DIVISOR = 8;
}  // namespace

VoiceTransmitter::VoiceTransmitter(G729Encoder& encoder, const AudioState& audio,
                                   const TrafficCiphers& ciphers, VoiceSender& sender)
    : encoder_(encoder), audio_(audio), ciphers_(ciphers), sender_(sender) {}

void VoiceTransmitter::reset(uint32_t ssrc) { state_ = RtpSendState{0, 0, ssrc}; }

void VoiceTransmitter::transmitBlock(std::span<int16_t> samples, size_t frameCount) {
    const size_t frames = std::min({frameCount, MAX_BLOCK_FRAMES, samples.size() / G729_FRAME_SAMPLES});
    if (frames == 0) return;

    ByteWriter header(std::span<uint8_t>(packet_).first(RTP_HEADER_SIZE));
    header.u8(RTP_VERSION_2)
        .u8(VOICE_PAYLOAD_TYPE)
        .u16be(state_.sequence)
        .u32be(state_.timestamp)
        .u32be(state_.ssrc);
    state_.sequence = static_cast<uint16_t>(state_.sequence + 1);
    state_.timestamp += static_cast<uint32_t>(frames * G729_FRAME_SAMPLES);

    const auto block = samples.first(frames * G729_FRAME_SAMPLES);
    for (int16_t& sample : block) sample = static_cast<int16_t>(sample / TRANSMIT_GAIN_DIVISOR);
    for (size_t i = 0; i < frames; ++i) {
        const auto frame = std::span<uint8_t>(packet_).subspan(RTP_HEADER_SIZE + i * G729_FRAME_BYTES);
        encodeFrame(encoder_, block.subspan(i * G729_FRAME_SAMPLES).first<G729_FRAME_SAMPLES>(),
                    frame.first<G729_FRAME_BYTES>());
        frame[0] ^= VOICE_FRAME_MASK;
    }

    if (audio_.muted()) return;
    size_t length = RTP_HEADER_SIZE + frames * G729_FRAME_BYTES;
    if (audio_.trafficEncryptionInForce()) {
        // 0 while the ciphers have never been keyed: then nothing is sent.
        length = encryptVoicePayload(ciphers_, packet_, RTP_HEADER_SIZE, frames * G729_FRAME_BYTES);
        if (length == 0) return;
    }
    sender_.sendVoice(std::span<const uint8_t>(packet_).first(length));
}

}  // namespace vorpel
