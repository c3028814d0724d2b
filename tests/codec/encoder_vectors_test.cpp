// The encoder against the ITU-T G.729 Annex A test vectors: every input file
// encodes, from a reset encoder, to exactly its bit-stream file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "codec/g729a_state.h"
#include "vectors.h"

namespace vorpel {
namespace {

class EncoderVectors : public ::testing::TestWithParam<std::string> {};

TEST_P(EncoderVectors, EncodesToTheReferenceBitStream) {
    const std::string folder = testing::g729aVectorsFolder();
    const auto in = testing::readFileBytes(folder + "/" + GetParam() + ".IN");
    const auto bits = testing::readFileBytes(folder + "/" + GetParam() + ".BIT");
    if (!in || !bits) GTEST_SKIP() << "ITU-T G.729A test vector " << GetParam() << " not found in " << folder;
    const std::vector<int16_t> input = testing::samplesFromBytes(*in);
    const std::vector<testing::PackedFrame> expected = testing::packedFromSerial(*bits);

    // A trailing partial frame of the input is not coded.
    const size_t frames = input.size() / G729_FRAME_SAMPLES;
    ASSERT_EQ(frames, expected.size());

    auto encoder = std::make_unique<G729Encoder>();
    resetEncoder(*encoder);
    for (size_t f = 0; f < frames; f++) {
        std::array<uint8_t, G729_FRAME_BYTES> bytes{};
        encodeFrame(*encoder,
                    std::span<const int16_t, G729_FRAME_SAMPLES>(input.data() + f * G729_FRAME_SAMPLES,
                                                                 G729_FRAME_SAMPLES),
                    bytes);
        ASSERT_EQ(bytes, expected[f]) << GetParam() << " frame " << f;
    }
}

INSTANTIATE_TEST_SUITE_P(Itu, EncoderVectors,
                         ::testing::Values("ALGTHM", "FIXED", "LSP", "PITCH", "SPEECH", "TAME", "TEST"),
                         [](const auto& p) { return p.param; });

}  // namespace
}  // namespace vorpel
