// One worst-case audio pass: a 20-frame block encoded, padded, encrypted and
// sent, then a 10-frame encrypted packet accepted, decrypted and decoded. The
// counter "percent_of_block" is the pass's time as a percentage of the 100 ms
// that one playback block lasts.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "media/media_path.h"

namespace vorpel {
namespace {

class CountingSender final : public VoiceSender {
public:
    size_t sendVoice(std::span<const uint8_t> packet) override { return packet.size(); }
};

std::vector<int16_t> speechLike(size_t samples) {
    std::vector<int16_t> out(samples);
    uint32_t noise = 1;
    for (size_t n = 0; n < samples; ++n) {
        const double t = static_cast<double>(n) / 8000.0;
        noise = noise * 1664525u + 1013904223u;
        const double value =
            (9000.0 * std::sin(2 * M_PI * 130.0 * t) + 4000.0 * std::sin(2 * M_PI * 410.0 * t)) *
                (0.55 + 0.45 * std::sin(2 * M_PI * 4.0 * t)) +
            static_cast<double>(static_cast<int32_t>(noise >> 20) - 2048);
        out[n] = static_cast<int16_t>(std::lround(value));
    }
    return out;
}

// Encrypted 10-frame packets of the same speech, made by a transmitter of
// their own, to be played back with their timestamps rewritten.
class PacketSource final : public VoiceSender {
public:
    size_t sendVoice(std::span<const uint8_t> packet) override {
        packets.emplace_back(packet.begin(), packet.end());
        return packet.size();
    }
    std::vector<std::vector<uint8_t>> packets;
};

void BM_WorstCaseAudioPass(benchmark::State& state) {
    AudioState audio;
    audio.setAudioMode(AudioMode::Voice);
    audio.trafficEncryption.store(true);
    std::array<uint8_t, SESSION_KEY_SIZE> key{};
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i * 29 + 1);

    const auto speech = speechLike(8000 * 4);
    PacketSource source;
    {
        auto maker = std::make_unique<MediaPath>(audio, source);
        maker->keyTrafficCiphers(key);
        maker->resetMedia(1);
        for (size_t b = 0; b < 40; ++b) {
            std::vector<int16_t> block(speech.begin() + static_cast<long>(b * 800),
                                       speech.begin() + static_cast<long>((b + 1) * 800));
            const MutexLock lock(maker->mediaLock());
            maker->transmitBlock(block, 10);
        }
    }

    CountingSender sender;
    auto media = std::make_unique<MediaPath>(audio, sender);
    media->keyTrafficCiphers(key);
    media->resetMedia(2);
    std::vector<int16_t> capture(1600);
    std::vector<int16_t> playback(800);
    size_t block = 0;
    uint32_t timestamp = 0;
    for (auto _ : state) {
        std::vector<uint8_t>& packet = source.packets[block % source.packets.size()];
        packet[4] = static_cast<uint8_t>(timestamp >> 24);
        packet[5] = static_cast<uint8_t>(timestamp >> 16);
        packet[6] = static_cast<uint8_t>(timestamp >> 8);
        packet[7] = static_cast<uint8_t>(timestamp);
        media->queueVoiceDatagram(packet);
        const size_t start = (2 * block * 800) % (speech.size() - 1600);
        std::copy(speech.begin() + static_cast<long>(start), speech.begin() + static_cast<long>(start + 1600),
                  capture.begin());
        {
            const MutexLock lock(media->mediaLock());
            media->transmitBlock(capture, 20);
            media->playoutBlock(playback, 10);
        }
        benchmark::DoNotOptimize(playback.data());
        timestamp += 800;
        ++block;
    }
    // Elapsed time over (iterations x 1 ms): the percentage of a 100-ms block.
    state.counters["percent_of_block"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 0.001,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WorstCaseAudioPass)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vorpel
