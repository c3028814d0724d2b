// The call server's voice relay: each talking terminal's voice packets,
// opened with its key and sealed again with the other leg's key and numbering.
#include <algorithm>
#include <cstring>

#include "call_server.h"
#include "trace/frame_trace.h"

namespace vorpel::callserver {
namespace {

// Incoming timestamps that jump by more than this (10 s) start a new mapping.
constexpr uint32_t TIMESTAMP_JUMP = 80000;

}  // namespace

void CallServer::handleVoice(size_t slot, std::span<const uint8_t> datagram, const Endpoint& from,
                             int64_t now) {
    (void)now;
    if (config_.trace) traceLine("in  " + formatEndpoint(from) + " " + describeVoice(datagram));
    if (slot >= terminals_.size()) return;
    Terminal& source = terminals_[slot];
    if (!source.reg.inUse || source.call.phase != CallPhase::Talking ||
        from.address != source.reg.signalling.address) {
        ++counters_.voiceForeign;
        return;
    }
    if (!source.voice.voiceLatched) {
        source.voice.voiceLatched = true;
        source.voice.voiceFrom = from;
    } else if (source.voice.voiceFrom != from) {
        ++counters_.voiceForeign;
        return;
    }
    if (datagram.size() > voiceWork_.size()) {
        ++counters_.voiceDropped;
        return;
    }
    std::memcpy(voiceWork_.data(), datagram.data(), datagram.size());
    VoicePayload payload;
    if (!openVoicePacket(std::span(voiceWork_.data(), datagram.size()),
                         source.reg.hasKey ? &source.reg.cipher : nullptr, payload)) {
        ++counters_.voiceDropped;
        return;
    }
    Terminal& target = source.call.echoCall ? source : terminals_[source.call.peer];
    if (!target.voice.voiceLatched) {
        ++counters_.voiceDropped;  // the other terminal has not sent yet: its voice address is unknown
        return;
    }
    // Each outgoing leg has its own numbering. Incoming timestamps keep their
    // spacing (gaps from muting stay gaps); a new source or a jump starts a
    // new mapping that continues where the leg's stream left off.
    const uint32_t jump = payload.timestamp - target.voice.inNextTimestamp;
    if (!target.voice.inBased || payload.ssrc != target.voice.inSsrc ||
        (jump > TIMESTAMP_JUMP && -jump > TIMESTAMP_JUMP)) {
        target.voice.inBased = true;
        target.voice.inSsrc = payload.ssrc;
        target.voice.timestampOffset = target.voice.outNextTimestamp - payload.timestamp;
    }
    const uint32_t outTimestamp = payload.timestamp + target.voice.timestampOffset;
    const uint32_t span = static_cast<uint32_t>(payload.frameCount) * VOICE_FRAME_SAMPLES;
    target.voice.inNextTimestamp = payload.timestamp + span;
    if (static_cast<int32_t>(outTimestamp + span - target.voice.outNextTimestamp) > 0) {
        target.voice.outNextTimestamp = outTimestamp + span;
    }
    // Terminals play only packets of at most ten frames: larger ones are split.
    for (size_t first = 0; first < payload.frameCount; first += VOICE_FRAMES_PER_PACKET) {
        const size_t count = std::min(VOICE_FRAMES_PER_PACKET, payload.frameCount - first);
        const size_t length = sealVoicePacket(
            voiceOut_, target.voice.rtpOut, outTimestamp + static_cast<uint32_t>(first) * VOICE_FRAME_SAMPLES,
            payload.frames.subspan(first * VOICE_FRAME_BYTES, count * VOICE_FRAME_BYTES),
            target.reg.hasKey ? &target.reg.cipher : nullptr);
        if (length == 0) continue;
        const std::span<const uint8_t> packet(voiceOut_.data(), length);
        if (config_.trace)
            traceLine("out " + formatEndpoint(target.voice.voiceFrom) + " " + describeVoice(packet));
        ports_.send(relayChannel(static_cast<size_t>(&target - terminals_.data())), target.voice.voiceFrom,
                    packet);
        ++counters_.voiceRelayed;
    }
}

}  // namespace vorpel::callserver
