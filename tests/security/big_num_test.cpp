#include "security/big_num.h"

#include <gtest/gtest.h>

#include <random>

#include "security/key_agreement.h"
#include "security/modular_power.h"
#include "security/oakley_group.h"
#include "server_crypto.h"

namespace vorpel {
namespace {

BigNum oakleyPrime() {
    BigNum p;
    EXPECT_TRUE(parseDecimal(OAKLEY_GROUP1_PRIME_DECIMAL, p));
    return p;
}

template <size_t N>
std::array<uint8_t, N> bytesOf(const BigNum& value) {
    std::array<uint8_t, N> out{};
    EXPECT_TRUE(exportBytes(value, out));
    return out;
}

// Digits only; a value is left alone when the text is refused.
TEST(BigNum, ParseDecimalTakesDigitsOnly) {
    BigNum v = BigNum::fromWord(7);
    for (const char* junk : {"", "12a4", "-5", "9:"}) EXPECT_FALSE(parseDecimal(junk, v)) << junk;
    EXPECT_EQ(v, BigNum::fromWord(7));
    ASSERT_TRUE(parseDecimal("18446744073709551617", v));  // 2^64 + 1
    EXPECT_EQ(v.limbs[0], 1u);
    EXPECT_EQ(v.limbs[1], 1u);
}

// Eight words, least significant first; a ninth word that makes the value
// exceed 2^256 is drawn and thrown away with one more.
TEST(BigNum, RandomBitsTakeEightWordsAndCheckTheNinth) {
    uint32_t next = 1;
    const BigNum v = randomBits256([&] { return next++; });
    EXPECT_EQ(next, 10u);
    for (size_t i = 0; i < BIG_LIMBS; ++i)
        EXPECT_EQ(v.limbs[i], i < 4 ? (uint64_t{2 * i + 2} << 32) | (2 * i + 1) : 0) << i;
}

TEST(ModularPower, EdgeCasesOnBothPaths) {
    for (bool portable : {false, true}) {
        ModularPower group;
        if (portable) group.usePortableArithmetic();
        ASSERT_TRUE(group.setModulus(oakleyPrime()));
        EXPECT_EQ(group.powSmallBase(3, BigNum::fromWord(1)), BigNum::fromWord(3));
        EXPECT_EQ(group.pow(BigNum::fromWord(3), BigNum{}), BigNum::fromWord(1));
        EXPECT_EQ(group.powSmallBase(3, BigNum::fromWord(40)), BigNum::fromWord(12157665459056928801ull));
        EXPECT_TRUE(group.pow(oakleyPrime(), BigNum::fromWord(7)).isZero());
        EXPECT_FALSE(group.setModulus(BigNum::fromWord(10)));
    }
}

// Generator powers on both paths against the server's public values; general
// powers (through the session key) against the server's, and both paths alike.
TEST(ModularPower, AgreesWithTheServerOnRandomExponentsAndBases) {
    ModularPower portable;
    portable.usePortableArithmetic();
    ASSERT_TRUE(portable.setModulus(oakleyPrime()));
    struct ZeroDraw final : PlatformDraw {
        uint32_t draw() override { return 0; }
    } draw;
    KeyAgreement terminal(draw);
    std::mt19937 rng(3);
    for (int i = 0; i < 600; ++i) {
        callserver::DhPrivate x;
        for (auto& b : x) b = static_cast<uint8_t>(rng());
        if (i % 50 == 0) std::fill(x.begin(), x.begin() + 1 + rng() % 31, 0);  // short exponents
        const auto expected = callserver::dhPublicValue(x);
        ASSERT_EQ(bytesOf<96>(terminal.group().powSmallBase(3, importBytes(x))), expected) << i;
        ASSERT_EQ(bytesOf<96>(portable.powSmallBase(3, importBytes(x))), expected) << i;

        callserver::DhPublic y;  // often p or more
        for (auto& b : y) b = static_cast<uint8_t>(rng());
        if (i % 7 == 0) std::fill(y.begin(), y.begin() + 1 + rng() % 95, 0);
        if (i % 11 == 0) std::fill(y.begin(), y.begin() + 8, 0xFF);
        KeyMaterial keys;
        terminal.deriveSessionKey(keys, x, y);
        ASSERT_EQ(keys.sessionKey, callserver::deriveSessionKey(x, y)) << i;
        ASSERT_EQ(portable.pow(importBytes(y), importBytes(x)),
                  terminal.group().pow(importBytes(y), importBytes(x)));
    }
}

}  // namespace
}  // namespace vorpel
