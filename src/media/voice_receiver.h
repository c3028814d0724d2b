// Voice from the network to the speaker: received datagrams wait in the
// ReceiveQueue, each playout pass files them into the JitterRing and plays
// ten frames from it through the decoder, or plays the melody instead while
// the terminal is in Melody mode.
//
// Threads: queueVoiceDatagram runs on the window thread and takes no lock.
// playoutBlock runs on the audio thread and reset on the engine's thread,
// both under the media lock, which also guards the ciphers. audioMode, mute
// and the encryption flag are read without a lock once per frame or packet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/g729a.h"
#include "common/audio_state.h"
#include "media/call_statistics.h"
#include "media/jitter_ring.h"
#include "media/melody_player.h"
#include "media/receive_queue.h"
#include "security/traffic_cipher.h"

namespace vorpel {

class VoiceReceiver {
public:
    VoiceReceiver(G729Decoder& decoder, MelodyPlayer& melody, const AudioState& audio,
                  const TrafficCiphers& ciphers, CallCounters& counters);

    // Queues a datagram shorter than 128 bytes for the next playout pass.
    // False when it was dropped (too long, or 31 datagrams already waiting).
    bool queueVoiceDatagram(std::span<const uint8_t> datagram);

    // Accepts every queued datagram, then fills out with 80 x frameCount
    // samples (at most as many frames as out holds): decoded voice, -1 for a
    // frame that did not arrive; in Melody mode the melody, or zeros while
    // muted. The ring advances by one slot per frame in every mode. Counts
    // what it does in the call counters: frames played and missing in Voice
    // mode, late packets, resynchronisations, payloads that did not decrypt,
    // and the ring's fill after the pass.
    void playoutBlock(std::span<int16_t> out, size_t frameCount);

    // Empties the ring and the queue. The decoder is reset by the owner of
    // its state.
    void reset();

    const JitterRing& ring() const { return ring_; }

private:
    G729Decoder& decoder_;
    MelodyPlayer& melody_;
    const AudioState& audio_;
    const TrafficCiphers& ciphers_;
    CallCounters& counters_;
    ReceiveQueue queue_;
    JitterRing ring_;
};

}  // namespace vorpel
