// Conformance: every ITU-T G.729 Annex A bit-stream decodes, from a reset
// decoder, to exactly the reference's output, both when the parameters are
// read from the serial file (erasure flagged by any zero bit word) and when
// the frames are first packed into the 10-byte payload form.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "codec/g729a_state.h"
#include "vectors.h"

namespace vorpel {
namespace {

constexpr int WIDTH[G729_PARAMETER_COUNT] = {8, 10, 8, 1, 13, 4, 7, 5, 13, 4, 7};
constexpr size_t SERIAL_WORDS = 82;

struct Vector {
  std::vector<int16_t> serial;
  std::vector<int16_t> reference;
};

class DecoderVectors : public ::testing::TestWithParam<const char*> {
 protected:
  bool load(Vector& v) {
    const std::string folder = testing::g729aVectorsFolder();
    const std::string name = GetParam();
    const std::string pst = name == "TEST" ? ".pst" : ".PST";
    auto bits = testing::readFileBytes(folder + "/" + name + ".BIT");
    auto out = testing::readFileBytes(folder + "/" + name + pst);
    if (!bits || !out) return false;
    v.serial = testing::samplesFromBytes(*bits);
    v.reference = testing::samplesFromBytes(*out);
    serialBytes_ = *bits;
    return true;
  }
  std::vector<uint8_t> serialBytes_;
};

// Index of the first frame whose 80 samples differ, or -1.
long firstDifference(const std::vector<int16_t>& got, const std::vector<int16_t>& want) {
  for (size_t i = 0; i < got.size() && i < want.size(); i++)
    if (got[i] != want[i]) return static_cast<long>(i / G729_FRAME_SAMPLES);
  return got.size() == want.size() ? -1 : static_cast<long>(std::min(got.size(), want.size()) / 80);
}

TEST_P(DecoderVectors, SerialFormDecodesToTheReferenceOutput) {
  Vector v;
  if (!load(v)) GTEST_SKIP() << "ITU-T G.729A vector " << GetParam() << " not found in " << testing::g729aVectorsFolder();
  G729Decoder decoder{};
  resetDecoder(decoder);
  std::vector<int16_t> output;
  for (size_t start = 0; start + SERIAL_WORDS <= v.serial.size(); start += SERIAL_WORDS) {
    bool erased = false;
    size_t bit = start + 2;
    std::array<int16_t, G729_PARAMETER_COUNT> parameters{};
    for (size_t p = 0; p < G729_PARAMETER_COUNT; p++) {
      int value = 0;
      for (int k = 0; k < WIDTH[p]; k++, bit++) {
        if (v.serial[bit] == 0) erased = true;
        value = (value << 1) | (v.serial[bit] == 0x81 ? 1 : 0);
      }
      parameters[p] = static_cast<int16_t>(value);
    }
    std::array<int16_t, G729_FRAME_SAMPLES> samples{};
    decodeParameters(decoder, erased, parameters, samples);
    output.insert(output.end(), samples.begin(), samples.end());
  }
  EXPECT_EQ(firstDifference(output, v.reference), -1) << "first differing frame";
}

TEST_P(DecoderVectors, PackedFramesDecodeToTheReferenceOutput) {
  Vector v;
  if (!load(v)) GTEST_SKIP() << "ITU-T G.729A vector " << GetParam() << " not found in " << testing::g729aVectorsFolder();
  G729Decoder decoder{};
  resetDecoder(decoder);
  std::vector<int16_t> output;
  for (const auto& frame : testing::packedFromSerial(serialBytes_)) {
    std::array<int16_t, G729_FRAME_SAMPLES> samples{};
    decodeFrame(decoder, frame, false, samples);
    output.insert(output.end(), samples.begin(), samples.end());
  }
  EXPECT_EQ(firstDifference(output, v.reference), -1) << "first differing frame";
}

INSTANTIATE_TEST_SUITE_P(Itu, DecoderVectors,
                         ::testing::Values("ALGTHM", "ERASURE", "FIXED", "LSP", "OVERFLOW", "PARITY", "PITCH",
                                           "SPEECH", "TAME", "TEST"),
                         [](const ::testing::TestParamInfo<const char*>& param) { return std::string(param.param); });

}  // namespace
}  // namespace vorpel
