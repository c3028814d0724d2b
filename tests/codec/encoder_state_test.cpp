// The encoder's state: a reset restarts the coder exactly.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/g729a_state.h"

namespace vorpel {
namespace {

using Frame = std::array<int16_t, G729_FRAME_SAMPLES>;
using Bits = std::array<uint8_t, G729_FRAME_BYTES>;

// A voiced-like test signal: two harmonics with a slow amplitude swing and a
// little deterministic noise, loud enough to reach the saturating paths.
std::vector<Frame> testSignal(size_t frames, double amplitude) {
    std::vector<Frame> out(frames);
    uint32_t seed = 12345;
    for (size_t f = 0; f < frames; f++) {
        for (size_t i = 0; i < G729_FRAME_SAMPLES; i++) {
            const double n = static_cast<double>(f * G729_FRAME_SAMPLES + i);
            seed = seed * 1103515245u + 12345u;
            const double noise = static_cast<double>((seed >> 16) & 0x3ff) - 512.0;
            const double env = 0.55 + 0.45 * std::sin(n / 900.0);
            const double v =
                amplitude * env * (0.7 * std::sin(n * 0.0785) + 0.3 * std::sin(n * 0.2356)) + noise;
            out[f][i] = static_cast<int16_t>(std::lround(std::fmax(-32768.0, std::fmin(32767.0, v))));
        }
    }
    return out;
}

// Alternating silence and full-scale square waves drive the overflow
// rescaling of the autocorrelation, the pitch energies and the taming.
std::vector<Frame> silenceAndSquares(size_t frames) {
    std::vector<Frame> out(frames);
    for (size_t f = 0; f < frames; f++)
        for (size_t i = 0; f % 3 != 0 && i < G729_FRAME_SAMPLES; i++)
            out[f][i] = (i / 20) % 2 == 0 ? int16_t{32767} : int16_t{-32768};
    return out;
}

std::vector<Bits> encodeAll(G729Encoder& enc, const std::vector<Frame>& frames) {
    std::vector<Bits> out(frames.size());
    for (size_t f = 0; f < frames.size(); f++) encodeFrame(enc, frames[f], out[f]);
    return out;
}

// A reset leaves the whole state as on a fresh reset, whatever was coded
// before, so a field nobody resets shows up; and the history matters.
TEST(EncoderState, ResetGivesTheFreshStateAfterAnyInput) {
    auto fresh = std::make_unique<G729Encoder>();
    resetEncoder(*fresh);
    for (const auto& frames : {testSignal(60, 20000.0), silenceAndSquares(30)}) {
        auto enc = std::make_unique<G729Encoder>();
        resetEncoder(*enc);
        const auto first = encodeAll(*enc, frames);
        EXPECT_NE(encodeAll(*enc, frames), first);
        resetEncoder(*enc);
        EXPECT_EQ(std::memcmp(enc.get(), fresh.get(), sizeof(G729Encoder)), 0);
    }
}

}  // namespace
}  // namespace vorpel
