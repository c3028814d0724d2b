// What the signalling engine publishes to the audio side: the audio control
// word, the mute flag and whether traffic encryption is in force.
//
// The signalling engine writes them (server commands, the hook key, a lost
// link, registration); the audio driver's tick and the audio thread read them
// without a lock, once per block or frame. Each is a single atomic word
// written whole.
#pragma once

#include <atomic>
#include <cstdint>

namespace vorpel {

enum class AudioMode : uint8_t { Idle = 0, Melody = 2, Voice = 3 };

struct AudioState {
    // Bits 0 and 1 are the audio mode; the other bits stay 0.
    std::atomic<uint16_t> audioControl{0};
    // 1 while the server has muted the terminal.
    std::atomic<uint16_t> mute{0};
    // True while a key pair is held and a session key has been derived: voice
    // payloads are then encrypted both ways.
    std::atomic<bool> trafficEncryption{false};

    // The two low bits of audioControl. The value 1 never occurs; readers treat
    // anything but Idle and Melody as voice.
    uint16_t audioModeBits() const {
        return static_cast<uint16_t>(audioControl.load(std::memory_order_acquire) & 3u);
    }
    AudioMode audioMode() const {
        switch (audioModeBits()) {
        case 0:
            return AudioMode::Idle;
        case 2:
            return AudioMode::Melody;
        default:
            return AudioMode::Voice;
        }
    }
    // Sets the mode bits and keeps the other bits of audioControl.
    void setAudioMode(AudioMode mode) {
        uint16_t word = audioControl.load(std::memory_order_relaxed);
        word = static_cast<uint16_t>((word & ~3u) | static_cast<uint16_t>(mode));
        audioControl.store(word, std::memory_order_release);
    }
    bool muted() const { return mute.load(std::memory_order_acquire) != 0; }
    bool trafficEncryptionInForce() const { return trafficEncryption.load(std::memory_order_acquire); }
    void reset() {
        audioControl.store(0, std::memory_order_release);
        mute.store(0, std::memory_order_release);
        trafficEncryption.store(false, std::memory_order_release);
    }
};

}  // namespace vorpel
