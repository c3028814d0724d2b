#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <span>

#include "openssl_reference.h"
#include "security/hmac_sha1.h"
#include "security/md5.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using test::asBytes;
using test::fromHex;
using test::randomBytes;
using test::toHex;

std::array<uint8_t, 16> md5InPieces(std::span<const uint8_t> message, size_t piece) {
    Md5Context context;
    md5Init(context);
    for (size_t at = 0; at < message.size(); at += piece) {
        md5Update(context, message.subspan(at, std::min(piece, message.size() - at)));
    }
    md5Update(context, {});
    std::array<uint8_t, 16> digest{};
    md5Final(context, digest);
    return digest;
}

std::array<uint8_t, 20> hmac(std::span<const uint8_t> key, std::span<const uint8_t> message) {
    std::array<uint8_t, 20> out{};
    hmacSha1(message.data(), message.size(), key.data(), key.size(), out.data());
    return out;
}

// RFC 1321 appendix A.5, whole and in pieces that straddle the 64-byte block.
TEST(Md5, ReproducesTheRfc1321SuiteWholeAndInPieces) {
    const struct {
        const char* message;
        const char* digest;
    } suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : suite) {
        const auto message = asBytes(c.message);
        for (size_t piece : {size_t{1}, size_t{23}, size_t{65}, size_t{200}}) {
            EXPECT_EQ(toHex(md5InPieces(message, piece)), c.digest)
                << '"' << c.message << "\" in pieces of " << piece;
        }
    }
}

TEST(Md5, AgreesWithOpenSslOnRandomMessagesAroundBlockBoundaries) {
    std::mt19937 rng(1321);
    for (int i = 0; i < 2000; ++i) {
        const size_t length = i < 200 ? static_cast<size_t>(i) : rng() % 1000;
        const auto message = randomBytes(rng, length);
        const size_t piece = 1 + rng() % 130;
        ASSERT_EQ(md5InPieces(message, piece), reference::md5(message))
            << "length " << length << " piece " << piece;
    }
}

// RFC 2202 section 3, all seven cases; the last two use 80-byte keys, which
// are hashed down first.
TEST(HmacSha1, ReproducesTheRfc2202Cases) {
    const auto key20 = std::vector<uint8_t>(20, 0x0b);
    const auto keyAa20 = std::vector<uint8_t>(20, 0xaa);
    const auto keyAa80 = std::vector<uint8_t>(80, 0xaa);
    const struct {
        std::vector<uint8_t> key;
        std::vector<uint8_t> message;
        const char* mac;
    } cases[] = {
        {key20, asBytes("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
        {asBytes("Jefe"), asBytes("what do ya want for nothing?"),
         "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {keyAa20, std::vector<uint8_t>(50, 0xdd), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {fromHex("0102030405060708090a0b0c0d0e0f10111213141516171819"), std::vector<uint8_t>(50, 0xcd),
         "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {std::vector<uint8_t>(20, 0x0c), asBytes("Test With Truncation"),
         "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {keyAa80, asBytes("Test Using Larger Than Block-Size Key - Hash Key First"),
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {keyAa80, asBytes("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const auto& c : cases) EXPECT_EQ(toHex(hmac(c.key, c.message)), c.mac) << toHex(c.key);
}

TEST(HmacSha1, AgreesWithOpenSslOnRandomKeysAndMessages) {
    std::mt19937 rng(2104);
    for (int i = 0; i < 2000; ++i) {
        const auto key = randomBytes(rng, rng() % 100);
        const auto message = randomBytes(rng, rng() % 300);
        ASSERT_EQ(hmac(key, message), reference::hmacSha1(key, message)) << i;
    }
}

// The session-key derivation writes the result over its own message and
// next to its key; the result must be the same as with a separate out.
TEST(HmacSha1, OutMayOverlapTheMessageOrTheKey) {
    std::mt19937 rng(98);
    const auto original = randomBytes(rng, 96);
    const std::span<const uint8_t> z(original);
    const auto expected = reference::hmacSha1(z.subspan(24, 24), z.first(24));

    auto block = original;  // out at the message itself
    hmacSha1(block.data(), 24, block.data() + 24, 24, block.data());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block.begin()));
    EXPECT_TRUE(std::equal(original.begin() + 20, original.end(), block.begin() + 20));

    block = original;  // out at the key
    hmacSha1(block.data(), 24, block.data() + 24, 24, block.data() + 24);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block.begin() + 24));

    block = original;  // out straddling message and key
    hmacSha1(block.data(), 24, block.data() + 24, 24, block.data() + 14);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block.begin() + 14));
}

}  // namespace
}  // namespace vorpel
