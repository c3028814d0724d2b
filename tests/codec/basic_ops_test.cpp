// The fixed-point operators where they depart from plain arithmetic:
// saturation, rounding, and divisions that must not end the process.
#include <gtest/gtest.h>

#include <string>

#include "codec/basic_ops.h"
#include "codec/lpc_common.h"

namespace vorpel::g729 {
namespace {

TEST(BasicOps, SaturateAtTheLimits) {
    EXPECT_EQ(add(MAX_16, 1), MAX_16);
    EXPECT_EQ(sub(MIN_16, 1), MIN_16);
    EXPECT_EQ(mult(MIN_16, MIN_16), MAX_16);
    EXPECT_EQ(lMult(MIN_16, MIN_16), MAX_32);
    EXPECT_EQ(lShl(0x40000000, 1), MAX_32);
    EXPECT_EQ(lShl(-0x40000001, 1), MIN_32);
    EXPECT_EQ(shl(0x4000, 1), MAX_16);
    EXPECT_EQ(shl(1, 20), MAX_16);
    EXPECT_EQ(shr(-1, 20), -1);
    EXPECT_EQ(roundL(MAX_32), MAX_16);
    EXPECT_EQ(negate(MIN_16), MAX_16);
    EXPECT_EQ(lAbs(MIN_32), MAX_32);
}

TEST(BasicOps, OverflowVariantsReportSaturationOnly) {
    bool overflow = false;
    EXPECT_EQ(lMacO(0x7ffffff0, 100, 100, overflow), MAX_32);
    EXPECT_TRUE(overflow);
    overflow = false;
    EXPECT_EQ(lMacO(1000, 100, 100, overflow), 21000);
    EXPECT_EQ(lShlO(0x1000, 4, overflow), 0x10000);
    EXPECT_FALSE(overflow);
}

TEST(BasicOps, RoundingShiftsAndNormalisation) {
    EXPECT_EQ(shrR(3, 1), 2);
    EXPECT_EQ(shrR(-3, 1), -1);
    EXPECT_EQ(lShrR(0x18000, 16), 2);
    EXPECT_EQ(normS(1), 14);
    EXPECT_EQ(normS(-32768), 0);
    EXPECT_EQ(normL(-1), 31);
    EXPECT_EQ(normL(0x40000000), 0);
}

TEST(BasicOps, DivisionIsExactForValidOperandsAndSaturatesOtherwise) {
    EXPECT_EQ(divS(1, 2), 16384);
    EXPECT_EQ(divS(0, 5), 0);
    EXPECT_EQ(divS(7, 7), MAX_16);
    // The reference prints an error and ends the process on these.
    EXPECT_EQ(divS(5, 3), MAX_16);
    EXPECT_EQ(divS(1, 0), MAX_16);
    EXPECT_EQ(divS(-1, 3), MAX_16);
    EXPECT_EQ(divS(1, -3), MAX_16);
}

TEST(LspStability, ClampingCountsAWarningAndWritesNothing) {
    CodecWarnings warnings;
    Word16 low[M] = {10, 400, 800, 1200, 1600, 2000, 2400, 2800, 3200, 3600};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    lspStability(low, warnings);
    EXPECT_EQ(warnings.lspLow, 1u);
    EXPECT_EQ(warnings.lspHigh, 0u);
    Word16 high[M] = {1000, 4000, 7000, 10000, 13000, 16000, 19000, 22000, 25000, 26000};
    lspStability(high, warnings);
    EXPECT_EQ(warnings.lspHigh, 1u);
    EXPECT_EQ(::testing::internal::GetCapturedStderr() + ::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(low[0], L_LIMIT);
    EXPECT_EQ(high[M - 1], M_LIMIT);
}

}  // namespace
}  // namespace vorpel::g729
