// Encoder arithmetic that only loud input reaches: the taming zones that a
// delay reads and grows, and the codebook's impulse-response correlations when
// their sums saturate. Each input is built to reach its path.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "codec/encoder_parts.h"

namespace vorpel::g729 {
namespace {

constexpr Word32 ONE = 0x4000;          // 1.0 in Q14
constexpr Word32 LOUD = 1'500'000'000;  // far above the taming threshold

// The excitation error is kept per 40-sample zone of the past excitation
// (zone 0 = the last subframe). The test reads the zones that the delay with
// its interpolation (up to 9 samples further back) reaches.
TEST(EncoderTaming, TamesOnlyWhenTheDelayReachesALoudZone) {
    const std::array<Word32, 4> err = {ONE, ONE, LOUD, ONE};
    struct Row {
        Word16 t0, frac;
        bool tame;
    };
    for (const Row& r : std::vector<Row>{
             {40, 0, false}, {62, 0, false}, {71, 0, false}, {71, 1, true}, {72, 0, true}, {143, 0, true}}) {
        EXPECT_EQ(testErr(err, r.t0, r.frac), r.tame) << "delay " << r.t0 << " fraction " << r.frac;
    }
}

// After a subframe the error of the zones its delay read, grown by the pitch
// gain, becomes the newest zone.
TEST(EncoderTaming, GrowsTheErrorOfTheZonesTheDelayRead) {
    struct Row {
        Word16 t0;
        Word32 newest;  // with gain 1.0: 1 + the largest error read
    };
    for (const Row& r : std::vector<Row>{{20, 3 * ONE},
                                         {40, 2 * ONE},
                                         {41, 2 * ONE},
                                         {80, 2 * ONE},
                                         {81, ONE + LOUD},
                                         {120, ONE + LOUD}}) {
        std::array<Word32, 4> err = {ONE, ONE, LOUD, ONE};
        updateExcErr(err, 16384, r.t0);
        EXPECT_EQ(err[0], r.newest) << "delay " << r.t0;
        EXPECT_EQ(err[1], ONE);
    }
}

// The definition: h scaled for precision (halved when its energy is near or
// past the 32-bit limit), then each correlation as the high half of its own
// saturating sum over n = 0 .. 39 - max(p1, p2).
std::array<Word16, DIM_RR> definedCorrelations(const std::array<Word16, L_SUBFR>& hIn) {
    std::array<Word16, L_SUBFR> h{};
    Word32 energy = 0;
    for (Word16 v : hIn) energy = lMac(energy, v, v);
    const Word16 k = extractH(energy) > 32000 ? Word16{-1} : shr(normL(energy), 1);
    for (int i = 0; i < L_SUBFR; i++) h[i] = shl(hIn[i], k);
    auto rr = [&](int p1, int p2) {
        const int lag = p1 > p2 ? p1 - p2 : p2 - p1;
        Word32 s = 0;
        for (int n = 0; n + (p1 > p2 ? p1 : p2) < L_SUBFR; n++) s = lMac(s, h[n], h[n + lag]);
        return extractH(s);
    };
    std::array<Word16, DIM_RR> out{};
    int at = 0;
    for (int t = 0; t < 5; t++)
        for (int k1 = 0; k1 < NB_POS; k1++) out[at++] = rr(t + 5 * k1, t + 5 * k1);
    for (const auto& [ta, tb] : std::vector<std::pair<int, int>>{
             {0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 2}, {1, 3}, {1, 4}, {2, 3}, {2, 4}})
        for (int ka = 0; ka < NB_POS; ka++)
            for (int kb = 0; kb < NB_POS; kb++) out[at++] = rr(ta + 5 * ka, tb + 5 * kb);
    return out;
}

TEST(EncoderCodebook, ImpulseCorrelationsFollowTheSaturatingDefinition) {
    std::vector<std::array<Word16, L_SUBFR>> cases(4);
    for (int i = 0; i < L_SUBFR; i++) {
        cases[0][i] = static_cast<Word16>(4096 * (i % 7 == 0 ? 1 : -1) / (1 + i));  // ordinary
        cases[1][i] = 30000;                                                        // saturates every lag
        cases[2][i] = static_cast<Word16>(i % 2 == 0 ? 32767 : -32768);             // saturates both ways
        cases[3][i] = static_cast<Word16>(i < 20 ? 32000 - 1500 * i : 200);         // saturates early lags
    }
    for (size_t c = 0; c < cases.size(); c++) {
        std::array<Word16, DIM_RR> got{};
        impulseCorrelations(cases[c].data(), got.data());
        EXPECT_EQ(got, definedCorrelations(cases[c])) << "impulse response " << c;
    }
}

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
