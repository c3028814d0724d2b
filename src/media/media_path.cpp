#include "media/media_path.h"

namespace vorpel {
namespace {

void add(CodecWarnings& total, const CodecWarnings& more) {
    total.lspLow += more.lspLow;
    total.lspHigh += more.lspHigh;
}

}  // namespace

MediaPath::MediaPath(const AudioState& audio, VoiceSender& sender)
    : audio_(audio),
      sender_(sender),
      transmitter_(encoder_, audio, ciphers_, *this),
      receiver_(decoder_, melody_, audio, ciphers_, counters_) {
    const MutexLock lock(mediaLock_);
    resetEncoder(encoder_);
    resetDecoder(decoder_);
}

void MediaPath::resetMedia(uint32_t engineTicks) {
    const MutexLock lock(mediaLock_);
    receiver_.reset();
    transmitter_.reset(engineTicks);
    add(pastWarnings_, encoder_.warnings);
    add(pastWarnings_, decoder_.warnings);
    resetEncoder(encoder_);
    resetDecoder(decoder_);
}

void MediaPath::startMelody(uint8_t tempo, std::span<const uint8_t, MELODY_NOTES> notes) {
    const MutexLock lock(mediaLock_);
    melody_.startMelody(tempo, notes);
}

bool MediaPath::keyTrafficCiphers(std::span<const uint8_t> key) {
    const MutexLock lock(mediaLock_);
    return ciphers_.setKey(key);
}

CodecWarnings MediaPath::codecWarnings() {
    const MutexLock lock(mediaLock_);
    CodecWarnings total = pastWarnings_;
    add(total, encoder_.warnings);
    add(total, decoder_.warnings);
    return total;
}

void MediaPath::transmitBlock(std::span<int16_t> samples, size_t frameCount) {
    followCallStart();
    transmitter_.transmitBlock(samples, frameCount);
}

void MediaPath::playoutBlock(std::span<int16_t> out, size_t frameCount) {
    followCallStart();
    receiver_.playoutBlock(out, frameCount);
}

void MediaPath::followCallStart() {
    const bool voice = audio_.audioMode() == AudioMode::Voice;
    if (voice && !inVoice_) counters_.reset();
    inVoice_ = voice;
}

size_t MediaPath::sendVoice(std::span<const uint8_t> packet) {
    const size_t accepted = sender_.sendVoice(packet);
    if (accepted != 0) CallCounters::add(counters_.sent);
    return accepted;
}

}  // namespace vorpel
