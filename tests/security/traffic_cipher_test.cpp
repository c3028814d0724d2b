#include <gtest/gtest.h>

#include <array>

#include "security/traffic_cipher.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using test::fromHex;
using test::toHex;

void makeReady(KeyMaterial& keys, uint8_t seed) {
    for (size_t i = 0; i < keys.sessionKey.size(); ++i) keys.sessionKey[i] = static_cast<uint8_t>(seed + i);
    keys.keyPairHeld = 1;
    keys.sessionKeyReady = 1;
}

// Keying takes the session key only while a pair is held and the key is
// ready; otherwise the contexts stay as they were.
TEST(TrafficCiphers, KeyedOnlyWithAReadySessionKeyAndThenReproduceFips197C3) {
    TrafficCiphers ciphers;
    KeyMaterial keys;
    makeReady(keys, 0);  // key 00 01 .. 1f
    keys.sessionKeyReady = 0;
    ciphers.keyTrafficCiphers(keys);
    EXPECT_FALSE(ciphers.keyed());

    keys.sessionKeyReady = 1;
    ciphers.keyTrafficCiphers(keys);
    ASSERT_TRUE(ciphers.keyed());
    makeReady(keys, 100);  // a later key, but no pair held at the next voice channel
    keys.keyPairHeld = 0;
    ciphers.keyTrafficCiphers(keys);
    auto block = fromHex("00112233445566778899aabbccddeeff");
    ciphers.encryptBlock(std::span<uint8_t, 16>(block.data(), 16));
    EXPECT_EQ(toHex(block), "8ea2b7ca516745bfeafc49904b496089");
    ciphers.decryptBlock(std::span<uint8_t, 16>(block.data(), 16));
    EXPECT_EQ(toHex(block), "00112233445566778899aabbccddeeff");
    EXPECT_FALSE(ciphers.setKey(std::vector<uint8_t>(20, 1)));
}

}  // namespace
}  // namespace vorpel
