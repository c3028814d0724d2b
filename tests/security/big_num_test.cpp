#include <gtest/gtest.h>
#include <openssl/bn.h>

#include <random>

#include "openssl_reference.h"
#include "security/big_num.h"
#include "security/modular_power.h"
#include "security/oakley_group.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using test::randomBytes;
using test::toHex;

BigNum oakleyPrime() {
    BigNum p;
    EXPECT_TRUE(parseDecimal(OAKLEY_GROUP1_PRIME_DECIMAL, p));
    return p;
}

std::vector<uint8_t> bytesOf(const BigNum& value, size_t width) {
    std::vector<uint8_t> out(width);
    EXPECT_TRUE(exportBytes(value, out));
    return out;
}

TEST(BigNum, ParsedPrimeIsTheRfc2409FirstOakleyGroupPrime) {
    BIGNUM* reference = BN_get_rfc2409_prime_768(nullptr);
    std::vector<uint8_t> expected(96);
    BN_bn2binpad(reference, expected.data(), 96);
    BN_free(reference);
    EXPECT_EQ(bytesOf(oakleyPrime(), 96), expected);
    EXPECT_EQ(oakleyPrime().bitLength(), 768u);
}

TEST(BigNum, ParseDecimalRefusesJunkAndOverflow) {
    BigNum v = BigNum::fromWord(7);
    EXPECT_FALSE(parseDecimal("", v));
    EXPECT_FALSE(parseDecimal("12a4", v));
    EXPECT_FALSE(parseDecimal("-5", v));
    EXPECT_EQ(v, BigNum::fromWord(7));  // untouched
    // 2^768 does not fit; 2^768 - 1 does, as twelve all-ones limbs.
    const std::string twoTo768 =
        "1552518092300708935148979488462502555256886017116696611139052038026050952686376886330878408828646477"
        "9504877306971310732061715800441148143914442872750411811392044549760208499055502652856315984448252629"
        "99193716468750892846853816057856";
    BigNum big;
    EXPECT_FALSE(parseDecimal(twoTo768, big));
    EXPECT_FALSE(parseDecimal(std::string(240, '9'), big));
    std::string below(twoTo768);
    below.back() = '5';
    ASSERT_TRUE(parseDecimal(below, big));
    for (uint64_t limb : big.limbs) EXPECT_EQ(limb, ~uint64_t{0});
    ASSERT_TRUE(parseDecimal("18446744073709551616", big));  // 2^64
    EXPECT_EQ(big.limbs[0], 0u);
    EXPECT_EQ(big.limbs[1], 1u);
}

TEST(BigNum, ImportAndExportFixedWidthFields) {
    EXPECT_TRUE(importBytes(std::vector<uint8_t>(96, 0)).isZero());
    EXPECT_EQ(bytesOf(BigNum{}, 32), std::vector<uint8_t>(32, 0));

    const BigNum v = importBytes(std::vector<uint8_t>{0, 0, 1, 2});
    EXPECT_EQ(v, BigNum::fromWord(258));
    std::vector<uint8_t> expected(32, 0);
    expected[30] = 1;
    expected[31] = 2;
    EXPECT_EQ(bytesOf(v, 32), expected);

    // A value below 2^760 keeps a leading zero byte in its 96-byte field.
    std::mt19937 rng(760);
    auto field = randomBytes(rng, 96);
    field[0] = 0;
    field[1] |= 0x80;
    EXPECT_EQ(bytesOf(importBytes(field), 96), field);
    EXPECT_EQ(importBytes(field).bitLength(), 760u);

    // Too wide for its field: nothing half-written.
    std::vector<uint8_t> narrow(31, 0xEE);
    field[0] = 1;
    EXPECT_FALSE(exportBytes(importBytes(field), narrow));
    EXPECT_EQ(narrow, std::vector<uint8_t>(31, 0));
    // A 97-byte field whose first byte is zero still fits.
    std::vector<uint8_t> wide(97, 0);
    wide[96] = 9;
    BigNum w;
    EXPECT_TRUE(importBytes(wide, w));
    EXPECT_EQ(w, BigNum::fromWord(9));
    wide[0] = 1;
    EXPECT_FALSE(importBytes(wide, w));
}

TEST(BigNum, RandomBitsTakeTheFirstEightWordsLeastSignificantFirst) {
    uint32_t next = 1;
    int draws = 0;
    const BigNum v = randomBits256([&] {
        ++draws;
        return next++;
    });
    EXPECT_EQ(draws, 9);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(v.limbs[i], (uint64_t{2 * i + 2} << 32) | (2 * i + 1)) << i;
    }
    for (size_t i = 4; i < BIG_LIMBS; ++i) EXPECT_EQ(v.limbs[i], 0u);

    // A ninth word of 0, or of 1 over eight zero words, does not exceed 2^256:
    // a tenth word is drawn and discarded.
    const auto countDraws = [](std::vector<uint32_t> words) {
        size_t drawn = 0;
        randomBits256([&] {
            const uint32_t word = drawn < words.size() ? words[drawn] : 0xFFFFFFFFu;
            ++drawn;
            return word;
        });
        return drawn;
    };
    EXPECT_EQ(countDraws({5, 5, 5, 5, 5, 5, 5, 5, 0}), 10u);
    EXPECT_EQ(countDraws({0, 0, 0, 0, 0, 0, 0, 0, 1}), 10u);
    EXPECT_EQ(countDraws({0, 0, 0, 0, 0, 0, 0, 1, 1}), 9u);
    EXPECT_EQ(countDraws({0, 0, 0, 0, 0, 0, 0, 0, 2}), 9u);
}

// Both arithmetic paths (MULX/ADX where the processor has it, and the
// portable one): the edge cases, then against OpenSSL on random exponents,
// bases and moduli.
class ModularPowerOnBothPaths : public ::testing::TestWithParam<bool> {
protected:
    void prepare(ModularPower& group, const BigNum& modulus) {
        if (GetParam()) group.usePortableArithmetic();
        ASSERT_TRUE(group.setModulus(modulus));
    }
};

TEST_P(ModularPowerOnBothPaths, SmallCases) {
    ModularPower group;
    prepare(group, oakleyPrime());
    EXPECT_EQ(group.powSmallBase(3, BigNum::fromWord(1)), BigNum::fromWord(3));
    EXPECT_EQ(group.powSmallBase(3, BigNum{}), BigNum::fromWord(1));
    EXPECT_EQ(group.pow(BigNum::fromWord(3), BigNum{}), BigNum::fromWord(1));
    EXPECT_EQ(group.powSmallBase(3, BigNum::fromWord(40)), BigNum::fromWord(12157665459056928801ull));
    // A base of p or more is reduced first.
    BigNum pPlus5 = oakleyPrime();
    pPlus5.limbs[0] += 5;  // the low limb of p is all ones: carry into limb 1
    pPlus5.limbs[1] += 1;
    EXPECT_EQ(group.pow(pPlus5, BigNum::fromWord(1)), BigNum::fromWord(5));
    EXPECT_TRUE(group.pow(oakleyPrime(), BigNum::fromWord(7)).isZero());
    EXPECT_FALSE(group.setModulus(BigNum::fromWord(10)));  // even
    EXPECT_FALSE(group.setModulus(BigNum::fromWord(1)));
}

TEST_P(ModularPowerOnBothPaths, PowersOfThreeModuloP) {
    ModularPower group;
    prepare(group, oakleyPrime());
    const auto p = bytesOf(oakleyPrime(), 96);
    std::mt19937 rng(3);
    for (int i = 0; i < 1500; ++i) {
        auto x = randomBytes(rng, 32);
        if (i % 50 == 0) std::fill(x.begin(), x.begin() + 1 + rng() % 31, 0);  // short exponents
        const auto ours = bytesOf(group.powSmallBase(3, importBytes(x)), 96);
        ASSERT_EQ(ours, reference::modExp(std::vector<uint8_t>{3}, x, p, 96)) << toHex(x);
    }
}

TEST_P(ModularPowerOnBothPaths, GeneralPowersModuloP) {
    ModularPower group;
    prepare(group, oakleyPrime());
    const auto p = bytesOf(oakleyPrime(), 96);
    std::mt19937 rng(768);
    for (int i = 0; i < 1500; ++i) {
        const auto x = randomBytes(rng, 32);
        auto y = randomBytes(rng, 96);  // often p or more
        if (i % 7 == 0) std::fill(y.begin(), y.begin() + 1 + rng() % 95, 0);
        if (i % 11 == 0) std::fill(y.begin(), y.begin() + 8, 0xFF);
        const auto ours = bytesOf(group.pow(importBytes(y), importBytes(x)), 96);
        ASSERT_EQ(ours, reference::modExp(y, x, p, 96)) << toHex(y) << ' ' << toHex(x);
    }
}

TEST_P(ModularPowerOnBothPaths, OtherOddModuliOfAnySize) {
    std::mt19937 rng(17);
    for (int i = 0; i < 200; ++i) {
        const size_t width = 9 + rng() % 88;
        auto m = randomBytes(rng, width);
        m[0] |= static_cast<uint8_t>(i % 3 == 0 ? 0x80 : 0x01);
        if (i % 5 == 0) std::fill(m.begin(), m.begin() + static_cast<ptrdiff_t>(width / 2), 0xFF);
        if (i % 4 == 1) std::fill(m.end() - 8, m.end(), 0xFF);  // low limb all ones, as in p
        m.back() |= 1;
        ModularPower group;
        prepare(group, importBytes(m));
        // Three cases per modulus (its generator table costs 15 powers): mostly the
        // key agreement's 256-bit exponents, some longer, past the table.
        for (int k = 0; k < 3; ++k) {
            const auto x = randomBytes(rng, (i + k) % 6 == 0 ? 33 + rng() % 64 : 32);
            const auto y = randomBytes(rng, 96);
            ASSERT_EQ(bytesOf(group.pow(importBytes(y), importBytes(x)), 96), reference::modExp(y, x, m, 96))
                << toHex(m);
            ASSERT_EQ(bytesOf(group.powSmallBase(3, importBytes(x)), 96),
                      reference::modExp(std::vector<uint8_t>{3}, x, m, 96))
                << toHex(m);
            const auto base = static_cast<uint32_t>(2 + rng() % 200);
            ASSERT_EQ(bytesOf(group.powSmallBase(base, importBytes(x)), 96),
                      reference::modExp(std::vector<uint8_t>{static_cast<uint8_t>(base)}, x, m, 96))
                << toHex(m) << " base " << base;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Arithmetic, ModularPowerOnBothPaths, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "Portable" : "Native";
                         });

}  // namespace
}  // namespace vorpel
