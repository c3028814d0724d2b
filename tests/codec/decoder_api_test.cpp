// Decoder behaviour at its interface: missing frames and the erasure rule on
// packed frames. Erasure and parity recovery are in the reference vectors;
// arbitrary frames and the packing round trip are the fuzz target's.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "codec/decoder.h"
#include "codec/g729a_state.h"

namespace vorpel {
namespace {

using Samples = std::array<int16_t, G729_FRAME_SAMPLES>;
using Bytes = std::array<uint8_t, G729_FRAME_BYTES>;

bool sameState(const G729Decoder& a, const G729Decoder& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

Samples decode(G729Decoder& d, const Bytes& bytes, bool missing = false) {
    Samples out{};
    decodeFrame(d, bytes, missing, out);
    return out;
}

// A few frames of varied content so that the decoder state is not trivial.
std::vector<Bytes> someFrames(unsigned seed, size_t count) {
    std::mt19937 gen(seed);
    std::vector<Bytes> frames(count);
    for (auto& f : frames)
        for (auto& b : f) b = static_cast<uint8_t>(gen());
    return frames;
}

TEST(DecoderFrames, MissingFrameWritesMinusOneAndLeavesStateUntouched) {
    auto frames = someFrames(1, 6);
    G729Decoder withGap{};
    G729Decoder without{};
    resetDecoder(withGap);
    resetDecoder(without);
    for (size_t i = 0; i < 5; i++) {
        decode(withGap, frames[i]);
        decode(without, frames[i]);
    }
    const G729Decoder before = withGap;
    Samples gap = decode(withGap, frames[5], true);
    for (int16_t s : gap) EXPECT_EQ(s, -1);
    EXPECT_TRUE(sameState(before, withGap));
    EXPECT_EQ(decode(withGap, frames[5]), decode(without, frames[5]));
}

TEST(DecoderFrames, FirstByteZeroWithOtherBitsSetIsANormalFrame) {
    auto frames = someFrames(3, 3);
    for (int lastByte : {1, 0x80}) {
        Bytes frame{};
        frame[9] = static_cast<uint8_t>(lastByte);
        G729Decoder a{};
        resetDecoder(a);
        for (auto& f : frames) decode(a, f);
        G729Decoder b = a;
        Samples viaBytes = decode(a, frame);
        std::array<int16_t, G729_PARAMETER_COUNT> parameters{};
        unpackParameters(frame, parameters);
        Samples viaParameters{};
        decodeParameters(b, false, parameters, viaParameters);
        EXPECT_EQ(viaBytes, viaParameters);
        EXPECT_TRUE(sameState(a, b));
    }
}

}  // namespace
}  // namespace vorpel
