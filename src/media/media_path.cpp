#include "media/media_path.h"

namespace vorpel {

MediaPath::MediaPath(const AudioState& audio, const KeyMaterial& keys, const TrafficCiphers& ciphers,
                     VoiceSender& sender)
    : transmitter_(encoder_, audio, keys, ciphers, sender),
      receiver_(decoder_, melody_, audio, keys, ciphers) {
    resetEncoder(encoder_);
    resetDecoder(decoder_);
}

void MediaPath::resetMedia(uint32_t engineTicks) {
    const std::lock_guard<std::mutex> lock(mediaLock_);
    receiver_.reset();
    transmitter_.reset(engineTicks);
    resetEncoder(encoder_);
    resetDecoder(decoder_);
}

void MediaPath::startMelody(uint8_t tempo, std::span<const uint8_t, MELODY_NOTES> notes) {
    const std::lock_guard<std::mutex> lock(mediaLock_);
    melody_.startMelody(tempo, notes);
}

void MediaPath::transmitBlock(std::span<int16_t> samples, size_t frameCount) {
    transmitter_.transmitBlock(samples, frameCount);
}

void MediaPath::playoutBlock(std::span<int16_t> out, size_t frameCount) {
    receiver_.playoutBlock(out, frameCount);
}

}  // namespace vorpel
