// Microseconds per 10-ms frame of G.729 Annex A encoding and decoding, for
// this codec and for bcg729 as a peer, on the ITU SPEECH vector's frames
// (its .IN for encoding, the packed frames of its .BIT for decoding).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "codec/g729a_state.h"

#ifdef VORPEL_HAVE_BCG729
extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}
#endif

namespace {

using Pcm = std::array<int16_t, 80>;
using Packed = std::array<uint8_t, 10>;

struct SpeechFrames {
    std::vector<Pcm> pcm;
    std::vector<Packed> bits;
};

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const SpeechFrames& speech() {
    static const SpeechFrames frames = [] {
        SpeechFrames f;
        const char* env = std::getenv("VORPEL_G729A_VECTORS");
        const std::string folder = env != nullptr ? env : VORPEL_G729A_VECTORS_DIR;
        const std::vector<uint8_t> in = readFile(folder + "/SPEECH.IN");
        for (size_t at = 0; at + 160 <= in.size(); at += 160) {
            Pcm p{};
            for (size_t i = 0; i < 80; i++)
                p[i] = static_cast<int16_t>(in[at + 2 * i] | (in[at + 2 * i + 1] << 8));
            f.pcm.push_back(p);
        }
        const std::vector<uint8_t> bit = readFile(folder + "/SPEECH.BIT");
        for (size_t at = 0; at + 164 <= bit.size(); at += 164) {
            Packed p{};
            bool erased = false;
            for (size_t i = 0; i < 80; i++) {
                const int word = bit[at + 4 + 2 * i] | (bit[at + 5 + 2 * i] << 8);
                if (word == 0) erased = true;
                if (word == 0x81) p[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
            }
            if (erased) p.fill(0);
            f.bits.push_back(p);
        }
        return f;
    }();
    return frames;
}

bool haveVectors(benchmark::State& state) {
    if (speech().pcm.empty() || speech().bits.empty()) {
        state.SkipWithError("SPEECH.IN / SPEECH.BIT not found (set VORPEL_G729A_VECTORS)");
        return false;
    }
    return true;
}

// Reports the mean time per frame as the counter "per_frame".
void perFrame(benchmark::State& state, size_t frames) {
    state.counters["per_frame"] =
        benchmark::Counter(static_cast<double>(frames),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void encodeVorpel(benchmark::State& state) {
    if (!haveVectors(state)) return;
    auto encoder = std::make_unique<vorpel::G729Encoder>();
    Packed out{};
    for (auto _ : state) {
        vorpel::resetEncoder(*encoder);
        for (const Pcm& p : speech().pcm) {
            vorpel::encodeFrame(*encoder, p, out);
            benchmark::DoNotOptimize(out);
        }
    }
    perFrame(state, speech().pcm.size());
}

void decodeVorpel(benchmark::State& state) {
    if (!haveVectors(state)) return;
    auto decoder = std::make_unique<vorpel::G729Decoder>();
    Pcm out{};
    for (auto _ : state) {
        vorpel::resetDecoder(*decoder);
        for (const Packed& b : speech().bits) {
            vorpel::decodeFrame(*decoder, b, false, out);
            benchmark::DoNotOptimize(out);
        }
    }
    perFrame(state, speech().bits.size());
}

#ifdef VORPEL_HAVE_BCG729
void encodeBcg729(benchmark::State& state) {
    if (!haveVectors(state)) return;
    Packed out{};
    uint8_t length = 0;
    for (auto _ : state) {
        bcg729EncoderChannelContextStruct* encoder = initBcg729EncoderChannel(0);
        for (const Pcm& p : speech().pcm) {
            bcg729Encoder(encoder, p.data(), out.data(), &length);
            benchmark::DoNotOptimize(out);
        }
        closeBcg729EncoderChannel(encoder);
    }
    perFrame(state, speech().pcm.size());
}

void decodeBcg729(benchmark::State& state) {
    if (!haveVectors(state)) return;
    Pcm out{};
    for (auto _ : state) {
        bcg729DecoderChannelContextStruct* decoder = initBcg729DecoderChannel();
        for (const Packed& b : speech().bits) {
            const bool erased = b == Packed{};
            bcg729Decoder(decoder, b.data(), 10, erased ? 1 : 0, 0, 0, out.data());
            benchmark::DoNotOptimize(out);
        }
        closeBcg729DecoderChannel(decoder);
    }
    perFrame(state, speech().bits.size());
}
#endif

}  // namespace

BENCHMARK(encodeVorpel)->Name("Encode/vorpel")->Unit(benchmark::kMillisecond);
BENCHMARK(decodeVorpel)->Name("Decode/vorpel")->Unit(benchmark::kMillisecond);
#ifdef VORPEL_HAVE_BCG729
BENCHMARK(encodeBcg729)->Name("Encode/bcg729")->Unit(benchmark::kMillisecond);
BENCHMARK(decodeBcg729)->Name("Decode/bcg729")->Unit(benchmark::kMillisecond);
#endif

BENCHMARK_MAIN();
