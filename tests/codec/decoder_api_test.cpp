// Decoder behaviour at its interface: missing and erased frames, the
// erasure rule on packed frames, pitch parity recovery and bit packing.
// Arbitrary frames and the packing round trip are the fuzz target's.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "codec/decoder.h"
#include "codec/g729a_state.h"
#include "codec/lpc_common.h"

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

TEST(DecoderFrames, TenZeroBytesAreAnErasedFrameNotZeroParameters) {
    auto frames = someFrames(2, 4);
    G729Decoder packed{};
    G729Decoder erased{};
    G729Decoder zeros{};
    resetDecoder(packed);
    for (auto& f : frames) decode(packed, f);
    erased = packed;
    zeros = packed;

    Samples fromPacked = decode(packed, Bytes{});
    Samples fromErased{};
    Samples fromZeros{};
    const std::array<int16_t, G729_PARAMETER_COUNT> noParameters{};
    decodeParameters(erased, true, noParameters, fromErased);
    decodeParameters(zeros, false, noParameters, fromZeros);
    EXPECT_EQ(fromPacked, fromErased);
    EXPECT_TRUE(sameState(packed, erased));
    EXPECT_NE(fromPacked, fromZeros);
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

TEST(DecoderFrames, ParityErrorRepeatsThePreviousDelay) {
    // Delay index 100 of the first subframe is the delay 53 - 1/3, index 2 of
    // the second subframe the delay 48.
    std::array<int16_t, G729_PARAMETER_COUNT> parameters{0x21, 0x155, 100,  0, 1234, 5,
                                                         0x2a, 2,     4321, 9, 0x35};
    parameters[3] = g729::parityPitch(100);
    G729Decoder d{};
    resetDecoder(d);
    Bytes frame{};
    packParameters(parameters, frame);
    decode(d, frame);
    ASSERT_EQ(d.pitchLags[0], 53);
    const int16_t lastLag = d.pitchLags[1];
    ASSERT_NE(lastLag, 53);

    parameters[3] = static_cast<int16_t>(parameters[3] ^ 1);
    Bytes damaged{};
    packParameters(parameters, damaged);
    decode(d, damaged);
    EXPECT_EQ(d.pitchLags[0], lastLag);

    decode(d, frame);
    EXPECT_EQ(d.pitchLags[0], 53);
}

TEST(Bitstream, ParametersPackMostSignificantBitFirst) {
    const std::array<int16_t, G729_PARAMETER_COUNT> first{0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes bytes{};
    packParameters(first, bytes);
    EXPECT_EQ(bytes, (Bytes{0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const std::array<int16_t, G729_PARAMETER_COUNT> last{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x41};
    packParameters(last, bytes);
    EXPECT_EQ(bytes, (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0x41}));
    const std::array<int16_t, G729_PARAMETER_COUNT> parity{0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    packParameters(parity, bytes);  // bit 26: byte 3, mask 0x20
    EXPECT_EQ(bytes, (Bytes{0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace vorpel
