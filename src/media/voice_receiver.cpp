#include "media/voice_receiver.h"

#include <algorithm>
#include <array>

#include "media/rtp_voice_packet.h"
#include "media/voice_packet_acceptance.h"

namespace vorpel {
namespace {
// A frame that did not arrive plays as -1 (every bit set): near-silence,
// without running the decoder.
constexpr int16_t MISSING_SAMPLE = -1;
}  // namespace

VoiceReceiver::VoiceReceiver(G729Decoder& decoder, MelodyPlayer& melody, const AudioState& audio,
                             const TrafficCiphers& ciphers, CallCounters& counters)
    : decoder_(decoder), melody_(melody), audio_(audio), ciphers_(ciphers), counters_(counters) {}

bool VoiceReceiver::queueVoiceDatagram(std::span<const uint8_t> datagram) { return queue_.push(datagram); }

void VoiceReceiver::playoutBlock(std::span<int16_t> out, size_t frameCount) {
    for (std::span<uint8_t> datagram = queue_.front(); !datagram.empty(); datagram = queue_.front()) {
        // Only a resynchronisation moves the expected timestamp while a
        // packet is placed.
        const uint32_t expected = ring_.expectedTimestamp();
        const uint32_t late = ring_.lateCount();
        const VoiceVerdict verdict =
            acceptVoicePacket(ring_, datagram, audio_.trafficEncryptionInForce() ? &ciphers_ : nullptr);
        queue_.pop();
        if (verdict == VoiceVerdict::Undecryptable) CallCounters::add(counters_.decryptFailures);
        if (ring_.lateCount() != late) CallCounters::add(counters_.late);
        if (ring_.expectedTimestamp() != expected) CallCounters::add(counters_.resyncs);
    }

    const size_t frames = std::min(frameCount, out.size() / G729_FRAME_SAMPLES);
    for (size_t i = 0; i < frames; ++i) {
        const auto samples = out.subspan(i * G729_FRAME_SAMPLES).first<G729_FRAME_SAMPLES>();
        std::array<uint8_t, G729_FRAME_BYTES> frame{};
        const bool present = ring_.takeFrame(frame);
        if (audio_.audioMode() != AudioMode::Melody) {
            if (present) {
                frame[0] ^= VOICE_FRAME_MASK;
                decodeFrame(decoder_, frame, false, samples);
            } else {
                std::fill(samples.begin(), samples.end(), MISSING_SAMPLE);
            }
            CallCounters::add(present ? counters_.played : counters_.missing);
        } else if (audio_.muted()) {
            std::fill(samples.begin(), samples.end(), int16_t{0});
        } else {
            for (int16_t& sample : samples) sample = melody_.nextMelodySample();
        }
    }
    uint32_t fill = 0;
    for (size_t i = 0; i < JitterRing::SLOT_COUNT; ++i) fill += ring_.slot(i).present ? 1 : 0;
    counters_.fill.store(fill, std::memory_order_relaxed);
}

void VoiceReceiver::reset() {
    ring_.reset();
    queue_.discardAll();
}

}  // namespace vorpel
