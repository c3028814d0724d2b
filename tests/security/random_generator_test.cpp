#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

#include "security/random_generator.h"

namespace vorpel {
namespace {

class ConstantDraw final : public PlatformDraw {
public:
    explicit ConstantDraw(uint32_t value) : value_(value) {}
    uint32_t draw() override { return value_; }

private:
    uint32_t value_;
};

// Published XTEA vectors (32 cycles; words loaded big-endian).
TEST(Xtea, ReproducesPublishedVectors) {
    const struct {
        std::array<uint32_t, 4> key;
        uint32_t v0, v1, c0, c1;
    } vectors[] = {
        {{0, 0, 0, 0}, 0, 0, 0xDEE9D4D8, 0xF7131ED9},
        {{0x00010203, 0x04050607, 0x08090A0B, 0x0C0D0E0F}, 0x41424344, 0x45464748, 0x497DF3D0, 0x72612CB5},
        {{0x00010203, 0x04050607, 0x08090A0B, 0x0C0D0E0F}, 0x41414141, 0x41414141, 0xE78F2D13, 0x744341D8},
    };
    for (const auto& v : vectors) {
        uint32_t a = v.v0, b = v.v1;
        xteaEncipher(a, b, v.key);
        EXPECT_EQ(a, v.c0);
        EXPECT_EQ(b, v.c1);
    }
}

// A draw of 0 leaves the state to XTEA alone: each output is the XOR of the
// halves of XTEA applied once more to the previous pair, from (0, 0).
TEST(RandomGenerator, ZeroDrawsChainXteaFromTheZeroBlock) {
    ConstantDraw zero(0);
    RandomGenerator generator(zero);
    uint32_t a = 0, b = 0;
    for (int i = 0; i < 4; ++i) {
        xteaEncipher(a, b, XTEA_KEY);
        EXPECT_EQ(generator.nextRandomWord(), a ^ b) << i;
    }
}

// The draw enters as state0 + s and state1 - s before the encipherment.
TEST(RandomGenerator, TheDrawIsMixedIntoBothHalves) {
    ConstantDraw five(5);
    RandomGenerator generator(five);
    uint32_t a = 5, b = 0u - 5u;
    xteaEncipher(a, b, XTEA_KEY);
    EXPECT_EQ(generator.nextRandomWord(), a ^ b);
    a += 5;
    b -= 5;
    xteaEncipher(a, b, XTEA_KEY);
    EXPECT_EQ(generator.nextRandomWord(), a ^ b);
}

uint32_t g_ticks = 0;
int g_tickReads = 0;
uint32_t fakeTickCount() {
    ++g_tickReads;
    return g_ticks;
}

std::vector<uint32_t> outputs(uint32_t ticks, int count) {
    g_ticks = ticks;
    SeededRandDraw draw(fakeTickCount, false);
    RandomGenerator generator(draw);
    std::vector<uint32_t> out;
    for (int i = 0; i < count; ++i) out.push_back(generator.nextRandomWord());
    return out;
}

TEST(RandomGenerator, EqualSeedsGiveEqualSequences) {
    g_tickReads = 0;
    const auto first = outputs(90061000, 20);
    EXPECT_EQ(g_tickReads, 1);  // seeded once, at the first draw
    EXPECT_EQ(outputs(90061000, 20), first);
    EXPECT_NE(outputs(90062000, 20), first);  // one second later
    EXPECT_EQ(std::set<uint32_t>(first.begin(), first.end()).size(), first.size());
}

// 90 061 000 ms read as seconds is 1972-11-08 08:56:40 UTC.
TEST(SeededRandDraw, TickCountTakenAsSecondsGivesTheLegacySeed) {
    const CalendarFields f = tickCountCalendar(90061000, false);
    EXPECT_EQ(f.month, 11u);
    EXPECT_EQ(f.day, 8u);
    EXPECT_EQ(f.hour, 8u);
    EXPECT_EQ(f.minute, 56u);
    EXPECT_EQ(f.second, 40u);
    EXPECT_EQ(tickCountSeed(f), 15152200u);

    g_ticks = 90061000;
    SeededRandDraw draw(fakeTickCount, false);
    for (int i = 0; i < 1000; ++i) EXPECT_LE(draw.draw(), 32767u);
    EXPECT_EQ(draw.seed(), 15152200u);
}

}  // namespace
}  // namespace vorpel
