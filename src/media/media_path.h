// The terminal's media path: codec states, voice transmitter and receiver,
// melody player, the voice ciphers and the media lock, in one object that the
// program creates once. The shell forwards the engine's resetMedia,
// startMelody and keyTrafficCiphers to it, the voice socket's receive
// notification to queueVoiceDatagram, and the audio driver takes its blocks
// from it (AudioBlockPort) under mediaLock().
//
// Threads and locks:
// - resetMedia, startMelody and keyTrafficCiphers: the engine's thread
//   (window or timer), under the engine lock; each takes the media lock.
// - queueVoiceDatagram: the window thread; no lock (the receive queue is
//   single-producer, single-consumer).
// - transmitBlock and playoutBlock: the audio thread, with the media lock
//   already held by the driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/g729a_state.h"
#include "common/audio_state.h"
#include "common/mutex.h"
#include "media/audio_block_port.h"
#include "media/call_statistics.h"
#include "media/media_ports.h"
#include "media/melody_player.h"
#include "media/voice_receiver.h"
#include "media/voice_transmitter.h"
#include "security/traffic_cipher.h"

namespace vorpel {

class MediaPath final : public AudioBlockPort, private VoiceSender {
public:
    MediaPath(const AudioState& audio, VoiceSender& sender);
    MediaPath(const MediaPath&) = delete;
    MediaPath& operator=(const MediaPath&) = delete;

    // Restarts both directions: empties the jitter ring and the receive
    // queue, sets sequence and timestamp to 0 and the SSRC to engineTicks,
    // and resets the encoder and the decoder.
    void resetMedia(uint32_t engineTicks) EXCLUDES(mediaLock_);
    // Loads a melody; the caller then sets audioMode to Melody.
    void startMelody(uint8_t tempo, std::span<const uint8_t, MELODY_NOTES> notes) EXCLUDES(mediaLock_);
    // Keys both voice ciphers (16, 24 or 32 bytes); false for another length.
    bool keyTrafficCiphers(std::span<const uint8_t> key) EXCLUDES(mediaLock_);

    bool queueVoiceDatagram(std::span<const uint8_t> datagram) {
        CallCounters::add(counters_.received);
        return receiver_.queueVoiceDatagram(datagram);
    }
    // The counts of the current call, or of the last one until the next
    // starts: they restart at the first audio pass in Voice mode. Any thread.
    CallStatistics statistics() const { return counters_.snapshot(); }

    // AudioBlockPort; the caller holds mediaLock().
    void transmitBlock(std::span<int16_t> samples, size_t frameCount) override REQUIRES(mediaLock_);
    void playoutBlock(std::span<int16_t> out, size_t frameCount) override REQUIRES(mediaLock_);

    Mutex& mediaLock() RETURN_CAPABILITY(mediaLock_) { return mediaLock_; }
    // The codec's warnings since construction, both directions together.
    CodecWarnings codecWarnings() EXCLUDES(mediaLock_);
    // For status and tests; read under the media lock.
    const VoiceTransmitter& transmitter() const REQUIRES(mediaLock_) { return transmitter_; }
    const VoiceReceiver& receiver() const REQUIRES(mediaLock_) { return receiver_; }

private:
    // VoiceSender for the transmitter: counts what the transport accepted.
    size_t sendVoice(std::span<const uint8_t> packet) override;
    // Restarts the counters when a pass finds the call's voice begun.
    void followCallStart() REQUIRES(mediaLock_);

    Mutex mediaLock_;
    const AudioState& audio_;
    VoiceSender& sender_;
    CallCounters counters_;
    bool inVoice_ GUARDED_BY(mediaLock_) = false;
    G729Encoder encoder_ GUARDED_BY(mediaLock_){};
    G729Decoder decoder_ GUARDED_BY(mediaLock_){};
    TrafficCiphers ciphers_ GUARDED_BY(mediaLock_);
    // Warnings of codec states that a reset has since cleared.
    CodecWarnings pastWarnings_ GUARDED_BY(mediaLock_);
    MelodyPlayer melody_ GUARDED_BY(mediaLock_);
    VoiceTransmitter transmitter_ GUARDED_BY(mediaLock_);
    VoiceReceiver receiver_;  // its queue takes datagrams without the lock; the rest is under it
};

}  // namespace vorpel
