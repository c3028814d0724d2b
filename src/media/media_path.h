// The terminal's media path: codec states, voice transmitter and receiver,
// melody player and the media lock, in one object that the program creates
// once. The shell forwards the engine's resetMedia and startMelody to it, the
// voice socket's receive notification to queueVoiceDatagram, and the audio
// driver takes its blocks from it (AudioBlockPort) under mediaLock().
//
// Threads and locks:
// - resetMedia and startMelody: the engine's thread (window or timer), under
//   the engine lock; each takes the media lock itself.
// - queueVoiceDatagram: the window thread; no lock (the receive queue is
//   single-producer, single-consumer).
// - transmitBlock and playoutBlock: the audio thread, with the media lock
//   already held by the driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "codec/g729a_state.h"
#include "common/audio_state.h"
#include "media/audio_block_port.h"
#include "media/media_ports.h"
#include "media/melody_player.h"
#include "media/voice_receiver.h"
#include "media/voice_transmitter.h"
#include "security/key_material.h"
#include "security/traffic_cipher.h"

namespace vorpel {

class MediaPath final : public AudioBlockPort {
public:
    MediaPath(const AudioState& audio, const KeyMaterial& keys, const TrafficCiphers& ciphers,
              VoiceSender& sender);
    MediaPath(const MediaPath&) = delete;
    MediaPath& operator=(const MediaPath&) = delete;

    // Restarts both directions: empties the jitter ring and the receive
    // queue, sets sequence and timestamp to 0 and the SSRC to engineTicks,
    // and resets the encoder and the decoder.
    void resetMedia(uint32_t engineTicks);
    // Loads a melody; the caller then sets audioMode to Melody.
    void startMelody(uint8_t tempo, std::span<const uint8_t, MELODY_NOTES> notes);

    bool queueVoiceDatagram(std::span<const uint8_t> datagram) {
        return receiver_.queueVoiceDatagram(datagram);
    }

    // AudioBlockPort; the caller holds mediaLock().
    void transmitBlock(std::span<int16_t> samples, size_t frameCount) override;
    void playoutBlock(std::span<int16_t> out, size_t frameCount) override;

    std::mutex& mediaLock() { return mediaLock_; }
    // For status and tests; read under the media lock.
    const VoiceTransmitter& transmitter() const { return transmitter_; }
    const VoiceReceiver& receiver() const { return receiver_; }

private:
    std::mutex mediaLock_;
    G729Encoder encoder_{};
    G729Decoder decoder_{};
    MelodyPlayer melody_;
    VoiceTransmitter transmitter_;
    VoiceReceiver receiver_;
};

}  // namespace vorpel
