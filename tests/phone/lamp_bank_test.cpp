#include "phone/lamp_bank.h"

#include <gtest/gtest.h>

#include <array>

namespace vorpel {
namespace {

constexpr size_t COLUMN_1025 = 5;
constexpr size_t COLUMN_1032 = 6;
constexpr size_t COLUMN_1049 = 1;
constexpr size_t COLUMN_1028 = 0;

class LampBankTest : public ::testing::Test {
protected:
    LampBankTest() { bank.darkenAll(); }
    void update(uint32_t t) { bank.update(indicators, t); }
    bool lit(size_t column) const { return bank.lit()[column]; }

    LampBank bank;
    std::array<uint8_t, 64> indicators{};
};

TEST(LampBank, StartsWithEveryLampLit) {
    LampBank bank;
    for (bool on : bank.lit()) EXPECT_TRUE(on);
}

TEST_F(LampBankTest, EachIndicatorDrivesItsColumn) {
    const std::array<std::pair<uint8_t, size_t>, 7> pairs{
        {{24, 0}, {9, 1}, {42, 2}, {0, 3}, {32, 4}, {7, 5}, {15, 6}}};
    for (auto [indicator, column] : pairs) {
        indicators.fill(0);
        bank.darkenAll();
        indicators[indicator] = 3;
        update(0);
        for (size_t c = 0; c < LAMP_COUNT; ++c)
            EXPECT_EQ(lit(c), c == column) << int(indicator) << " col " << c;
    }
}

TEST_F(LampBankTest, GroupLampLastIndicatorInOrderWins) {
    indicators[23] = 3;
    update(0);
    ASSERT_TRUE(lit(COLUMN_1025));
    // 7 turns on and 23 turns off on the same tick: 23 comes later and darkens.
    indicators[7] = 3;
    indicators[23] = 0;
    update(0);
    EXPECT_FALSE(lit(COLUMN_1025));
    // 7 turns off and 39 turns on: 39 is applied last and lights.
    indicators[7] = 0;
    indicators[39] = 3;
    update(0);
    EXPECT_TRUE(lit(COLUMN_1025));
    EXPECT_FALSE(lit(COLUMN_1032));  // indicator 15 alone drives the other group lamp
}

TEST_F(LampBankTest, GroupLampIgnoresBlinkStatesWhenTheyChange) {
    indicators[15] = 3;
    update(0);
    ASSERT_TRUE(lit(COLUMN_1032));
    indicators[15] = 2;  // a change to a blinking state switches nothing outside its phases
    update(0);
    EXPECT_TRUE(lit(COLUMN_1032));
    update(15);
    EXPECT_FALSE(lit(COLUMN_1032));
    indicators[15] = 1;  // 2 -> 1 leaves the lamp dark until the next phase that lights it
    update(16);
    EXPECT_FALSE(lit(COLUMN_1032));
    update(17);
    EXPECT_TRUE(lit(COLUMN_1032));
}

TEST_F(LampBankTest, FastBlinkHasPeriodFourTicks) {
    indicators[24] = 1;
    std::array<bool, 8> seen{};
    for (uint32_t t = 0; t < 8; ++t) {
        update(t);
        seen[t] = lit(COLUMN_1028);
    }
    // The change at t=0 lights it; dark from phase 3, lit again from phase 1.
    EXPECT_EQ(seen, (std::array<bool, 8>{true, true, true, false, false, true, true, false}));
}

TEST_F(LampBankTest, SlowBlinkHasPeriodSixteenTicks) {
    indicators[0] = 2;
    int changes = 0;
    bool last = true;
    update(0);
    ASSERT_TRUE(lit(3));
    for (uint32_t t = 1; t < 64; ++t) {
        update(t);
        if (lit(3) != last) ++changes;
        last = lit(3);
        if (t % 16 == 15) {
            EXPECT_FALSE(lit(3)) << t;
        }
        if (t % 16 == 7) {
            EXPECT_TRUE(lit(3)) << t;
        }
    }
    EXPECT_EQ(changes, 7);  // off at 15, on at 23, ..., off at 63
}

TEST_F(LampBankTest, OnOffLampsNeverBlink) {
    indicators[9] = 1;
    for (uint32_t t = 0; t < 32; ++t) {
        update(t);
        EXPECT_TRUE(lit(COLUMN_1049)) << t;
    }
    indicators[9] = 0;
    update(32);
    EXPECT_FALSE(lit(COLUMN_1049));
}

TEST_F(LampBankTest, DarkenAllForgetsAppliedStates) {
    indicators[32] = 3;
    update(0);
    ASSERT_TRUE(lit(4));
    bank.darkenAll();
    EXPECT_FALSE(lit(4));
    update(1);  // the unchanged indicator is applied again after the shadow was cleared
    EXPECT_TRUE(lit(4));
}

}  // namespace
}  // namespace vorpel
