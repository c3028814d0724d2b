#include "phone/lamp_bank.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

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

TEST_F(LampBankTest, GroupLampLastIndicatorInOrderWinsAndBlinkStatesOnlySwitchInTheirPhases) {
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

// Each lamp from tick 0 on, one character per tick: a change lights the lamp
// at once; fast blinking is dark from phase 3 and lit from phase 1 of four,
// slow blinking dark from phase 15 and lit from phase 7 of sixteen; state 1
// of an on/off lamp never blinks.
TEST_F(LampBankTest, BlinkPhasesFollowTheTickCount) {
    const struct {
        const char* scenario;
        uint8_t indicator, state;
        size_t column;
        const char* pattern;
    } cases[] = {
        {"fast", 24, 1, COLUMN_1028, "1110011001100110"},
        {"slow", 0, 2, 3, "1111111111111110000000011111111000000001111111100000000111111110"},
        {"on/off", 9, 1, COLUMN_1049, "11111111111111111111111111111111"},
    };
    for (const auto& c : cases) {
        indicators.fill(0);
        bank.darkenAll();
        indicators[c.indicator] = c.state;
        std::string seen;
        for (uint32_t t = 0; c.pattern[t] != 0; ++t) {
            update(t);
            seen += lit(c.column) ? '1' : '0';
        }
        EXPECT_EQ(seen, c.pattern) << c.scenario;
    }
}

}  // namespace
}  // namespace vorpel
