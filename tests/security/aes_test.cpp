#include <gtest/gtest.h>

#include <random>

#include "openssl_reference.h"
#include "security/aes.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using test::fromHex;
using test::randomBytes;
using test::toHex;

std::vector<uint8_t> countingKey(size_t length) {
    std::vector<uint8_t> key(length);
    for (size_t i = 0; i < length; ++i) key[i] = static_cast<uint8_t>(i);
    return key;
}

// FIPS-197 appendix C.1 to C.3: one plaintext under 128-, 192- and 256-bit keys.
TEST(Aes, ReproducesTheFips197AppendixCExamples) {
    const auto plain = fromHex("00112233445566778899aabbccddeeff");
    const struct {
        size_t keyLength;
        int rounds;
        const char* cipher;
    } examples[] = {
        {16, 10, "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {24, 12, "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {32, 14, "8ea2b7ca516745bfeafc49904b496089"},
    };
    for (const auto& e : examples) {
        AesSchedule schedule;
        ASSERT_TRUE(aesExpandKey(schedule, countingKey(e.keyLength)));
        EXPECT_EQ(schedule.rounds, e.rounds);
        auto block = plain;
        aesEncryptBlock(schedule, block.data(), block.data());
        EXPECT_EQ(toHex(block), e.cipher) << e.keyLength;
        aesDecryptBlock(schedule, block.data(), block.data());
        EXPECT_EQ(block, plain) << e.keyLength;
        aesEncryptBlockTables(schedule, block.data(), block.data());
        EXPECT_EQ(toHex(block), e.cipher) << e.keyLength;
        aesDecryptBlockTables(schedule, block.data(), block.data());
        EXPECT_EQ(block, plain) << e.keyLength;
    }
}

TEST(Aes, RefusesOtherKeyLengthsAndKeepsTheSchedule) {
    AesSchedule schedule;
    ASSERT_TRUE(aesExpandKey(schedule, countingKey(32)));
    const AesSchedule before = schedule;
    for (size_t length : {0, 1, 15, 17, 20, 31, 33, 64}) {
        EXPECT_FALSE(aesExpandKey(schedule, countingKey(length))) << length;
    }
    EXPECT_EQ(schedule.encryptKeys, before.encryptKeys);
    EXPECT_EQ(schedule.decryptKeys, before.decryptKeys);
    EXPECT_EQ(schedule.rounds, 14);
}

// Random keys of all three lengths and runs of 1 to 17 blocks: the
// dispatching functions (AES instructions where present), the tables, and
// the passes of up to eight blocks at once with every remainder.
TEST(Aes, AgreesWithOpenSslOnRandomKeysAndRunsOfBlocks) {
    std::mt19937 rng(197);
    for (int i = 0; i < 3000; ++i) {
        const size_t keyLength = i % 5 == 0 ? 16 : i % 5 == 1 ? 24 : 32;
        const auto key = randomBytes(rng, keyLength);
        const size_t count = 1 + static_cast<size_t>(i % 17);
        const auto plain = randomBytes(rng, 16 * count);
        AesSchedule schedule;
        ASSERT_TRUE(aesExpandKey(schedule, key));
        const auto expected = reference::aesEncrypt(key, plain);
        const auto expectedPlain = reference::aesDecrypt(key, plain);
        for (bool tables : {false, true}) {
            const auto encrypt = tables ? aesEncryptBlockTables : aesEncryptBlock;
            const auto decrypt = tables ? aesDecryptBlockTables : aesDecryptBlock;
            auto data = plain;
            for (size_t at = 0; at < data.size(); at += 16) encrypt(schedule, &data[at], &data[at]);
            ASSERT_EQ(data, expected) << i << (tables ? " tables" : "");
            data = plain;
            for (size_t at = 0; at < data.size(); at += 16) decrypt(schedule, &data[at], &data[at]);
            ASSERT_EQ(data, expectedPlain) << i << (tables ? " tables" : "");
        }
        auto data = plain;
        aesEncryptBlocks(schedule, data.data(), count);
        ASSERT_EQ(data, expected) << count;
        aesDecryptBlocks(schedule, data.data(), count);
        ASSERT_EQ(data, plain) << count;
    }
}

}  // namespace
}  // namespace vorpel
