// The hash, MAC, block ciphers and random generator against their published
// known answers, and AES-256 against the call server's OpenSSL cipher.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>

#include "security/aes.h"
#include "security/hmac_sha1.h"
#include "security/md5.h"
#include "security/random_generator.h"
#include "server_crypto.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using test::asBytes;
using test::fromHex;
using test::randomBytes;
using test::toHex;

std::string md5InPieces(std::span<const uint8_t> message, size_t piece) {
    Md5Context context;
    md5Init(context);
    for (size_t at = 0; at < message.size(); at += piece)
        md5Update(context, message.subspan(at, std::min(piece, message.size() - at)));
    std::array<uint8_t, 16> digest{};
    md5Final(context, digest);
    return toHex(digest);
}

std::array<uint8_t, 20> hmac(std::span<const uint8_t> key, std::span<const uint8_t> message) {
    std::array<uint8_t, 20> out{};
    hmacSha1(message.data(), message.size(), key.data(), key.size(), out.data());
    return out;
}

// RFC 1321 appendix A.5, then runs of 'a' on both sides of the padding and
// block boundaries; each whole and in pieces that straddle the 64-byte block.
TEST(Md5, KnownAnswersWholeAndInPieces) {
    const struct {
        std::string message;
        const char* digest;
    } suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
    };
    for (const auto& c : suite)
        for (size_t piece : {1, 23, 65, 200})
            EXPECT_EQ(md5InPieces(asBytes(c.message), piece), c.digest) << c.message.size() << '/' << piece;
}

// RFC 2202 section 3; the last two hash their 80-byte key down first.
TEST(HmacSha1, Rfc2202Cases) {
    const std::vector<uint8_t> aa80(80, 0xaa);
    const struct {
        std::vector<uint8_t> key, message;
        const char* mac;
    } cases[] = {
        {std::vector<uint8_t>(20, 0x0b), asBytes("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
        {asBytes("Jefe"), asBytes("what do ya want for nothing?"),
         "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {std::vector<uint8_t>(20, 0xaa), std::vector<uint8_t>(50, 0xdd),
         "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {fromHex("0102030405060708090a0b0c0d0e0f10111213141516171819"), std::vector<uint8_t>(50, 0xcd),
         "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {std::vector<uint8_t>(20, 0x0c), asBytes("Test With Truncation"),
         "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {aa80, asBytes("Test Using Larger Than Block-Size Key - Hash Key First"),
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {aa80, asBytes("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const auto& c : cases) EXPECT_EQ(toHex(hmac(c.key, c.message)), c.mac) << toHex(c.key);
}

// FIPS-197 appendix C.1 to C.3 on both block paths; other key lengths are refused.
TEST(Aes, Fips197AppendixCAndKeyLengths) {
    const auto plain = fromHex("00112233445566778899aabbccddeeff");
    const char* ciphers[] = {"69c4e0d86a7b0430d8cdb78070b4c55a", "dda97ca4864cdfe06eaf70a0ec0d7191",
                             "8ea2b7ca516745bfeafc49904b496089"};
    std::vector<uint8_t> key(32);
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i);
    for (size_t n = 0; n < 3; ++n) {
        AesSchedule schedule;
        ASSERT_TRUE(aesExpandKey(schedule, std::span(key).first(16 + 8 * n)));
        EXPECT_EQ(schedule.rounds, 10 + 2 * static_cast<int>(n));
        for (bool tables : {false, true}) {
            auto block = plain;
            (tables ? aesEncryptBlockTables : aesEncryptBlock)(schedule, block.data(), block.data());
            EXPECT_EQ(toHex(block), ciphers[n]) << n << tables;
            (tables ? aesDecryptBlockTables : aesDecryptBlock)(schedule, block.data(), block.data());
            EXPECT_EQ(block, plain) << n << tables;
        }
    }
    AesSchedule schedule;
    for (size_t length : {0, 15, 17, 31, 33})
        EXPECT_FALSE(aesExpandKey(schedule, std::span(key.data(), length)));
}

// Voice keys are 256 bits; runs of 1 to 17 blocks cover every remainder of
// the eight-block passes.
TEST(Aes, AgreesWithTheServersCipherOnRandomKeysAndRuns) {
    std::mt19937 rng(197);
    for (int i = 0; i < 500; ++i) {
        callserver::SessionKey key;
        for (auto& b : key) b = static_cast<uint8_t>(rng());
        const auto plain = randomBytes(rng, 16 * (1 + static_cast<size_t>(i % 17)));
        callserver::VoiceCipher server;
        ASSERT_TRUE(server.setKey(key));
        auto expected = plain;
        ASSERT_TRUE(server.encrypt(expected));
        AesSchedule schedule;
        ASSERT_TRUE(aesExpandKey(schedule, key));
        auto data = plain;
        aesEncryptBlocks(schedule, data.data(), data.size() / 16);
        ASSERT_EQ(data, expected) << i;
        aesDecryptBlocks(schedule, data.data(), data.size() / 16);
        ASSERT_EQ(data, plain) << i;
    }
}

// Published XTEA vectors (32 cycles; words loaded big-endian).
TEST(Xtea, ReproducesPublishedVectors) {
    const struct {
        std::array<uint32_t, 4> key;
        uint32_t v0, v1, c0, c1;
    } vectors[] = {
        {{0, 0, 0, 0}, 0, 0, 0xDEE9D4D8, 0xF7131ED9},
        {{0x00010203, 0x04050607, 0x08090A0B, 0x0C0D0E0F}, 0x41424344, 0x45464748, 0x497DF3D0, 0x72612CB5},
    };
    for (const auto& v : vectors) {
        uint32_t a = v.v0, b = v.v1;
        xteaEncipher(a, b, v.key);
        EXPECT_EQ(a, v.c0);
        EXPECT_EQ(b, v.c1);
    }
}

// 90 061 000 ms read as seconds is 1972-11-08 08:56:40 UTC.
TEST(SeededRandDraw, TheTickCountReadAsSecondsGivesTheSeed) {
    const CalendarFields f = tickCountCalendar(90061000, false);
    EXPECT_EQ((std::array{f.month, f.day, f.hour, f.minute, f.second}),
              (std::array<uint32_t, 5>{11, 8, 8, 56, 40}));
    EXPECT_EQ(tickCountSeed(f), 15152200u);
}

}  // namespace
}  // namespace vorpel
