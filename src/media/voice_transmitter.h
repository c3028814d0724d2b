// Turns one captured block into one voice packet and sends it.
//
// Each block of 10 (or, when the driver catches up, 20) frames is scaled by
// 1/8, encoded frame by frame, packed behind a 12-byte RTP header and, unless
// the terminal is muted, sent on the voice socket: padded to whole 16-byte
// blocks and encrypted while traffic encryption is in force. Sequence number
// and timestamp advance for every block, sent or not.
//
// Threads: transmitBlock runs on the audio thread and reset on the engine's
// thread, both under the media lock, which also guards the ciphers. mute and
// the encryption flag are read without a lock once per block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/g729a.h"
#include "common/audio_state.h"
#include "media/media_ports.h"
#include "media/rtp_voice_packet.h"
#include "security/traffic_cipher.h"

namespace vorpel {

struct RtpSendState {
    uint16_t sequence = 0;   // of the next packet, modulo 65536
    uint32_t timestamp = 0;  // of the next packet's first sample, 8 kHz units, modulo 2^32
    uint32_t ssrc = 0;       // the engine tick count at the last media reset
};

class VoiceTransmitter {
public:
    VoiceTransmitter(G729Encoder& encoder, const AudioState& audio, const TrafficCiphers& ciphers,
                     VoiceSender& sender);

    // Sequence and timestamp back to 0 and a new synchronisation source. The
    // encoder is reset by the owner of its state.
    void reset(uint32_t ssrc);

    // samples holds 80 x frameCount samples (frameCount 10 or 20; at most 20
    // frames, and never more than samples holds, are taken) and is scaled in
    // place.
    void transmitBlock(std::span<int16_t> samples, size_t frameCount);

    const RtpSendState& sendState() const { return state_; }

private:
    G729Encoder& encoder_;
    const AudioState& audio_;
    const TrafficCiphers& ciphers_;
    VoiceSender& sender_;
    RtpSendState state_;
    std::array<uint8_t, MAX_VOICE_PACKET> packet_{};
};

}  // namespace vorpel
