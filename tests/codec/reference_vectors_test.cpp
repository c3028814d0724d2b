// Conformance: every ITU-T G.729 Annex A bit-stream decodes, from a reset
// decoder, to exactly the reference's output once its frames are packed into
// the 10-byte payload form (an erased frame becomes ten zero bytes); so do the
// reference frames of the two loud encoder cases.
// And the encoder against reference bit streams: every ITU-T G.729 Annex A input
// vector, and two loud cases (a 500-Hz tone and a 1000-3900 Hz sweep far into
// clipping, whose excitation error hovers at the taming threshold for hundreds
// of frames), encode from a reset encoder to exactly the reference's frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "codec/g729a_state.h"
#include "codec/vector_kernels.h"
#include "vectors.h"

namespace vorpel {
namespace {

// Index of the first frame whose 80 samples differ, or -1.
long firstDifference(const std::vector<int16_t>& got, const std::vector<int16_t>& want) {
    for (size_t i = 0; i < got.size() && i < want.size(); i++)
        if (got[i] != want[i]) return static_cast<long>(i / G729_FRAME_SAMPLES);
    return got.size() == want.size() ? -1 : static_cast<long>(std::min(got.size(), want.size()) / 80);
}

std::vector<int16_t> decodeAll(const std::vector<testing::PackedFrame>& frames) {
    G729Decoder decoder{};
    resetDecoder(decoder);
    std::vector<int16_t> output;
    for (const auto& frame : frames) {
        std::array<int16_t, G729_FRAME_SAMPLES> samples{};
        decodeFrame(decoder, frame, false, samples);
        output.insert(output.end(), samples.begin(), samples.end());
    }
    return output;
}

using testing::ReferenceCase;

// Each case runs with the vector kernels and with the portable ones.
class DecoderVectors : public ::testing::TestWithParam<std::tuple<ReferenceCase, bool>> {
protected:
    void TearDown() override { g729::setVectorKernels(true); }
};

TEST_P(DecoderVectors, PackedFramesDecodeToTheReferenceOutput) {
    const ReferenceCase& c = std::get<0>(GetParam());
    g729::setVectorKernels(std::get<1>(GetParam()));
    const auto bits = testing::readFileBytes(testing::casePath(c, "bits"));
    const auto out = testing::readFileBytes(testing::casePath(c, "out"));
    if (!bits || !out) GTEST_SKIP() << "G.729A case not found: " << testing::casePath(c, "bits");
    EXPECT_EQ(firstDifference(decodeAll(testing::caseFrames(c, *bits)), testing::samplesFromBytes(*out)), -1)
        << "first differing frame";
}

INSTANTIATE_TEST_SUITE_P(
    Reference, DecoderVectors,
    ::testing::Combine(::testing::Values(ReferenceCase{"ALGTHM", false}, ReferenceCase{"ERASURE", false},
                                         ReferenceCase{"FIXED", false}, ReferenceCase{"LSP", false},
                                         ReferenceCase{"OVERFLOW", false}, ReferenceCase{"PARITY", false},
                                         ReferenceCase{"PITCH", false}, ReferenceCase{"SPEECH", false},
                                         ReferenceCase{"TAME", false}, ReferenceCase{"TEST", false},
                                         ReferenceCase{"tone500", true}, ReferenceCase{"sweep1000", true}),
                       ::testing::Bool()),
    [](const auto& p) { return testing::caseTestName(std::get<0>(p.param), std::get<1>(p.param)); });

class EncoderVectors : public DecoderVectors {};

TEST_P(EncoderVectors, EncodesToTheReferenceBitStream) {
    const ReferenceCase& c = std::get<0>(GetParam());
    g729::setVectorKernels(std::get<1>(GetParam()));
    const auto in = testing::readFileBytes(testing::casePath(c, "in"));
    const auto bits = testing::readFileBytes(testing::casePath(c, "bits"));
    if (!in || !bits) GTEST_SKIP() << "G.729A case not found: " << testing::casePath(c, "in");
    const std::vector<int16_t> input = testing::samplesFromBytes(*in);
    const std::vector<testing::PackedFrame> expected = testing::caseFrames(c, *bits);

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
        ASSERT_EQ(bytes, expected[f]) << c.name << " frame " << f;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Reference, EncoderVectors,
    ::testing::Combine(::testing::Values(ReferenceCase{"ALGTHM", false}, ReferenceCase{"FIXED", false},
                                         ReferenceCase{"LSP", false}, ReferenceCase{"PITCH", false},
                                         ReferenceCase{"SPEECH", false}, ReferenceCase{"TAME", false},
                                         ReferenceCase{"TEST", false}, ReferenceCase{"tone500", true},
                                         ReferenceCase{"sweep1000", true}),
                       ::testing::Bool()),
    [](const auto& p) { return testing::caseTestName(std::get<0>(p.param), std::get<1>(p.param)); });

}  // namespace
}  // namespace vorpel
