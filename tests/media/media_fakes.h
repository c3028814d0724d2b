// Ports and inputs shared by the media path's tests.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "codec/g729a_state.h"
#include "common/audio_state.h"
#include "media/media_ports.h"
#include "security/key_material.h"
#include "security/traffic_cipher.h"

namespace vorpel::fakes {

// Keeps every packet handed to the voice socket.
class RecordingSender final : public VoiceSender {
public:
    size_t sendVoice(std::span<const uint8_t> packet) override {
        packets.emplace_back(packet.begin(), packet.end());
        return socketReady ? packet.size() : 0;
    }
    std::vector<std::vector<uint8_t>> packets;
    bool socketReady = true;
};

inline void setEncryptionInForce(AudioState& audio, bool on) { audio.trafficEncryption.store(on); }

inline std::array<uint8_t, SESSION_KEY_SIZE> testKey() {
    std::array<uint8_t, SESSION_KEY_SIZE> key{};
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(0xA5 ^ (i * 13));
    return key;
}

inline void keyWithTestKey(TrafficCiphers& ciphers) { ciphers.setKey(testKey()); }

// A test signal at full microphone level: two tones under a slow swell.
inline std::vector<int16_t> speechLike(size_t samples) {
    std::vector<int16_t> out(samples);
    for (size_t n = 0; n < samples; ++n) {
        const double t = static_cast<double>(n);
        out[n] = static_cast<int16_t>((0.6 + 0.4 * std::sin(t / 700)) *
                                      (20000 * std::sin(t / 9) + 9000 * std::sin(t / 2.3)));
    }
    return out;
}

// The frames a reset encoder makes of the samples scaled by 1/8, as the
// transmit path scales the microphone.
inline std::vector<uint8_t> encodeScaled(std::span<const int16_t> samples) {
    auto encoder = std::make_unique<G729Encoder>();
    resetEncoder(*encoder);
    const size_t frames = samples.size() / 80;
    std::vector<uint8_t> bytes(frames * 10);
    for (size_t f = 0; f < frames; ++f) {
        std::array<int16_t, 80> frame{};
        for (size_t n = 0; n < 80; ++n) frame[n] = static_cast<int16_t>(samples[f * 80 + n] / 8);
        encodeFrame(*encoder, frame, std::span<uint8_t>(bytes).subspan(f * 10).first<10>());
    }
    return bytes;
}

}  // namespace vorpel::fakes
