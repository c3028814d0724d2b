// Voice datagrams through the receiver, in the clear or encrypted. Each record
// is one datagram: tag bit 0 puts encryption in force for it, bits 1-3 are
// the frames played after it (0-7). Checked: a datagram files frames only
// inside the ring's window (from the ten slots still waiting for playout up to
// 30 frames past the expected one, plus the packet's own length), a pass writes 80 samples per frame played
// and not one more, and nothing is allocated after the first input.
#include <algorithm>
#include <array>

#include "codec/g729a_state.h"
#include "fuzz_support.h"
#include "media/voice_receiver.h"

namespace vorpel::fuzz {
namespace {

struct Receiver {
    G729Decoder decoder;
    MelodyPlayer melody;
    AudioState audio;
    TrafficCiphers ciphers;
    CallCounters counters;
    VoiceReceiver receiver{decoder, melody, audio, ciphers, counters};
    Receiver() {
        std::array<uint8_t, 32> key{};
        for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i * 7 + 1);
        ciphers.setKey(key);
        audio.setAudioMode(AudioMode::Voice);
    }
};

constexpr int16_t UNTOUCHED = 0x7777;

}  // namespace
}  // namespace vorpel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorpel;
    static fuzz::Receiver r;
    r.receiver.reset();
    resetDecoder(r.decoder);
    fuzz::NoAllocation quiet;
    std::array<int16_t, 8 * G729_FRAME_SAMPLES> out;
    std::array<bool, JitterRing::SLOT_COUNT> present;
    const JitterRing& ring = r.receiver.ring();
    fuzz::Records records(data, size);
    for (fuzz::Records::Record rec; records.next(rec);) {
        r.audio.trafficEncryption.store((rec.tag & 1) != 0);
        for (size_t i = 0; i < present.size(); ++i) present[i] = ring.slot(i).present;
        if (!r.receiver.queueVoiceDatagram(rec.bytes)) continue;
        r.receiver.playoutBlock(out, 0);  // files the datagram, plays nothing
        const size_t reach = JitterRing::WINDOW_FRAMES + rec.bytes.size() / G729_FRAME_BYTES;
        FUZZ_CHECK(ring.position() < JitterRing::SLOT_COUNT);
        for (size_t i = 0; i < present.size(); ++i) {
            const size_t ahead = (i + JitterRing::SLOT_COUNT - ring.position()) % JitterRing::SLOT_COUNT;
            const bool waiting = ahead >= JitterRing::SLOT_COUNT - JitterRing::PLAYOUT_DELAY_FRAMES;
            FUZZ_CHECK(present[i] || !ring.slot(i).present || ahead <= reach || waiting);
        }
        const size_t frames = (rec.tag >> 1) & 7;
        out.fill(fuzz::UNTOUCHED);
        r.receiver.playoutBlock(out, frames);
        FUZZ_CHECK(std::all_of(out.begin() + static_cast<ptrdiff_t>(frames * G729_FRAME_SAMPLES), out.end(),
                               [](int16_t s) { return s == fuzz::UNTOUCHED; }));
    }
    return 0;
}
