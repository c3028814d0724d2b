// The encoder against the ITU-T G.729 Annex A test vectors: every input file
// encodes, from a reset encoder, to exactly its bit-stream file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "codec/g729a_state.h"

namespace vorpel {
namespace {

#ifndef VORPEL_G729A_VECTORS_DIR
#define VORPEL_G729A_VECTORS_DIR "../shared/g729a-vectors"
#endif

std::string vectorPath(const std::string& file) {
  const char* env = std::getenv("VORPEL_G729A_VECTORS");
  return (env != nullptr ? std::string(env) : std::string(VORPEL_G729A_VECTORS_DIR)) + "/" + file;
}

std::vector<uint16_t> readWords(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint16_t> words;
  unsigned char b[2];
  while (in.read(reinterpret_cast<char*>(b), 2)) words.push_back(static_cast<uint16_t>(b[0] | (b[1] << 8)));
  return words;
}

// Serial frames (sync, size 80, 80 bit words of 0x7f / 0x81) -> 10 packed bytes each.
std::vector<std::array<uint8_t, G729_FRAME_BYTES>> packedFrames(const std::vector<uint16_t>& serial) {
  constexpr size_t WORDS = 2 + 80;
  std::vector<std::array<uint8_t, G729_FRAME_BYTES>> frames;
  for (size_t at = 0; at + WORDS <= serial.size(); at += WORDS) {
    std::array<uint8_t, G729_FRAME_BYTES> bytes{};
    for (size_t i = 0; i < 80; i++) {
      if (serial[at + 2 + i] == 0x0081) bytes[i / 8] = static_cast<uint8_t>(bytes[i / 8] | (0x80 >> (i % 8)));
    }
    frames.push_back(bytes);
  }
  return frames;
}

std::vector<int16_t> readSamples(const std::string& path) {
  std::vector<int16_t> samples;
  for (uint16_t w : readWords(path)) samples.push_back(static_cast<int16_t>(w));
  return samples;
}

std::string hex(const std::array<uint8_t, G729_FRAME_BYTES>& b) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (uint8_t v : b) {
    s += digits[v >> 4];
    s += digits[v & 15];
  }
  return s;
}

class EncoderVectors : public ::testing::TestWithParam<std::string> {};

TEST_P(EncoderVectors, EncodesToTheReferenceBitStream) {
  const std::vector<int16_t> input = readSamples(vectorPath(GetParam() + ".IN"));
  const auto expected = packedFrames(readWords(vectorPath(GetParam() + ".BIT")));
  if (input.empty() || expected.empty()) GTEST_SKIP() << "ITU-T G.729A test vector " << GetParam() << " not found";

  // A trailing partial frame of the input is not coded.
  const size_t frames = input.size() / G729_FRAME_SAMPLES;
  ASSERT_EQ(frames, expected.size());

  auto encoder = std::make_unique<G729Encoder>();
  resetEncoder(*encoder);
  for (size_t f = 0; f < frames; f++) {
    std::array<uint8_t, G729_FRAME_BYTES> bytes{};
    encodeFrame(*encoder, std::span<const int16_t, G729_FRAME_SAMPLES>(input.data() + f * G729_FRAME_SAMPLES, G729_FRAME_SAMPLES),
                bytes);
    ASSERT_EQ(hex(bytes), hex(expected[f])) << GetParam() << " frame " << f;
  }
}

INSTANTIATE_TEST_SUITE_P(Itu, EncoderVectors,
                         ::testing::Values("ALGTHM", "FIXED", "LSP", "PITCH", "SPEECH", "TAME", "TEST"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace vorpel
