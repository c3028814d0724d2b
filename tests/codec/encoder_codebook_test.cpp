// The codebook search when its correlations saturate, which no reference
// vector reaches. Taming is in the reference vectors (TAME, tone, sweep).
#include <gtest/gtest.h>

#include <array>

#include "codec/encoder_parts.h"

namespace vorpel::g729 {
namespace {

// A full-scale target against a full-scale response saturates every backward
// correlation: all 40 magnitudes are 8192 and four of them sum past 16 bits,
// where the reference's addition saturates. Every codeword then correlates
// alike, and the search must still weigh their energies: the last pulse goes
// to position 39, whose filtered response is the shortest.
TEST(EncoderCodebook, SearchesWhenFourPulseCorrelationsSaturate) {
    std::array<Word16, L_SUBFR> x{};
    std::array<Word16, L_SUBFR> h{};
    x.fill(MIN_16);
    h.fill(MAX_16);
    std::array<Word16, L_SUBFR> code{};
    std::array<Word16, L_SUBFR> y{};
    Word16 sign = -1;
    const Word16 index = acelpCodeA(x.data(), h.data(), 60, SHARPMIN, code.data(), y.data(), sign);
    EXPECT_EQ(index, 0 + (0 << 3) + (0 << 6) + ((2 * 7 + 1) << 9));  // positions 0, 1, 2 and 39
    EXPECT_EQ(sign, 0);                                              // all four negative
}

}  // namespace
}  // namespace vorpel::g729
