// The vector kernels against the portable ones on input that the reference
// files never hold: noise and chirps from near silence to far into clipping,
// and random bit streams for the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "codec/g729a_state.h"
#include "codec/vector_kernels.h"

namespace vorpel {
namespace {

template <typename Run>
auto withBothKernels(Run run) {
    g729::setVectorKernels(false);
    auto portable = run();
    g729::setVectorKernels(true);
    return std::make_pair(portable, run());
}

TEST(VectorKernels, EncoderAndDecoderMatchThePortableKernels) {
    g729::setVectorKernels(true);
    if (!g729::vectorKernels()) GTEST_SKIP() << "this processor has no vector kernels";

    // 50 frames at each loudness, noise plus a chirp; the loudest are clipped.
    std::mt19937 rng(2024);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<int16_t> pcm;
    for (const double level : {30.0, 300.0, 3000.0, 12000.0, 40000.0, 200000.0}) {
        for (int n = 0; n < 50 * 80; n++) {
            const double v = level * (0.5 * noise(rng) + std::sin(0.02 * n + 1e-5 * n * n));
            pcm.push_back(static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)));
        }
    }
    const auto [portableBits, vectorBits] = withBothKernels([&] {
        auto encoder = std::make_unique<G729Encoder>();
        resetEncoder(*encoder);
        std::vector<uint8_t> bits(pcm.size() / 8);
        for (size_t f = 0; f < pcm.size() / 80; f++) {
            encodeFrame(*encoder, std::span<const int16_t, 80>(pcm.data() + 80 * f, 80),
                        std::span<uint8_t, 10>(bits.data() + 10 * f, 10));
        }
        return bits;
    });
    EXPECT_EQ(portableBits, vectorBits);

    std::vector<uint8_t> random(10 * 400);
    for (auto& b : random) b = static_cast<uint8_t>(rng());
    for (const std::vector<uint8_t>* bits :
         {&portableBits, static_cast<const std::vector<uint8_t>*>(&random)}) {
        const auto [portablePcm, vectorPcm] = withBothKernels([&] {
            auto decoder = std::make_unique<G729Decoder>();
            resetDecoder(*decoder);
            std::vector<int16_t> out(bits->size() * 8);
            for (size_t f = 0; f < bits->size() / 10; f++) {
                decodeFrame(*decoder, std::span<const uint8_t, 10>(bits->data() + 10 * f, 10), false,
                            std::span<int16_t, 80>(out.data() + 80 * f, 80));
            }
            return out;
        });
        EXPECT_EQ(portablePcm, vectorPcm);
    }
}

}  // namespace
}  // namespace vorpel
