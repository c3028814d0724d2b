// The key agreement alone: the pool of key pairs, and a server made of
// OpenSSL that derives the same session key from the terminal's public value.
#include "security/key_agreement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "openssl_reference.h"
#include "seeded_draw.h"
#include "server_side.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using Bytes = std::vector<uint8_t>;
using test::randomBytes;
using testing::primeBytes;
using testing::SeededDraw;
using testing::serverPublicValue;
using testing::serverSessionKey;

Bytes publicValueOf(std::span<const uint8_t> privateKey) {
    return reference::modExp(Bytes{3}, privateKey, primeBytes(), 96);
}

struct Terminal {
    explicit Terminal(uint32_t seed) : draw(seed), keyAgreement(draw) {}
    void hold() { keyAgreement.holdKeyPair(keys); }
    void accept(const Bytes& serverPublic) {
        keys.sessionKeyReady = 0;  // as the engine does for every reply
        keyAgreement.acceptServerPublicValue(keys, std::span<const uint8_t, 96>(serverPublic.data(), 96));
    }

    SeededDraw draw;
    KeyAgreement keyAgreement;
    KeyMaterial keys;
};

TEST(KeyAgreement, PoolHoldsThreeGroupElementsAndIsRefilledAtOnce) {
    Terminal t(1);
    const KeyPairPool& pool = t.keyAgreement.pool();
    EXPECT_EQ(pool.count(), 3u);
    EXPECT_EQ(t.keyAgreement.jobQueue().count(), 0u);
    for (uint32_t slot = 0; slot < 3; ++slot)
        EXPECT_EQ(Bytes(pool.publicValues[slot].begin(), pool.publicValues[slot].end()),
                  publicValueOf(pool.privateKeys[slot]));
    EXPECT_NE(pool.privateKeys[0], pool.privateKeys[1]);
    const auto oldest = pool.privateKeys[0];
    t.hold();
    ASSERT_EQ(t.keys.keyPairHeld, 1);
    EXPECT_EQ(t.keys.ownPrivateKey, oldest);
    EXPECT_EQ(pool.count(), 3u);
    t.hold();  // a pair is held: nothing more is taken
    EXPECT_EQ(t.keys.ownPrivateKey, oldest);

    // A pool that has run dry: no pair for this request, the next one has it.
    Terminal dry(2);
    dry.keyAgreement.dropPooledPairs();
    dry.hold();
    EXPECT_EQ(dry.keys.keyPairHeld, 0);
    dry.hold();
    EXPECT_EQ(dry.keys.keyPairHeld, 1);
}

TEST(KeyAgreement, AServerValueGivesTheServersKeyUnlessItFixesTheSecret) {
    Terminal t(5);
    t.hold();
    std::mt19937 rng(5);
    const auto serverPrivate = randomBytes(rng, 32);
    const auto serverPublic = serverPublicValue(serverPrivate);
    t.accept(serverPublic);
    ASSERT_EQ(t.keys.sessionKeyReady, 1);
    EXPECT_TRUE(std::equal(serverPublic.begin(), serverPublic.end(), t.keys.serverPublicValue.begin()));
    EXPECT_EQ(t.keys.sessionKey, serverSessionKey(t.keys.ownPublicValue, serverPrivate));
    EXPECT_TRUE(trafficEncryptionInForce(t.keys));

    // A re-registration without initialisation: same pair, the server's new value.
    const auto serverPrivate2 = randomBytes(rng, 32);
    t.accept(serverPublicValue(serverPrivate2));
    EXPECT_EQ(t.keys.sessionKey, serverSessionKey(t.keys.ownPublicValue, serverPrivate2));

    // Values that fix the secret or lie outside the group: taken, but no key.
    const auto lowByte = [](Bytes v, uint8_t last) {  // p ends in 0xff
        v[95] = last;
        return v;
    };
    for (const Bytes& refused : {Bytes(96, 0), lowByte(Bytes(96, 0), 1), lowByte(primeBytes(), 0xfe),
                                 primeBytes(), Bytes(96, 0xff)}) {
        t.accept(refused);
        EXPECT_EQ(t.keys.sessionKeyReady, 0);
        EXPECT_EQ(Bytes(t.keys.serverPublicValue.begin(), t.keys.serverPublicValue.end()), refused);
        EXPECT_FALSE(trafficEncryptionInForce(t.keys));
    }
    t.accept(lowByte(primeBytes(), 0xfd));  // p-2 is a group element like any other
    EXPECT_EQ(t.keys.sessionKeyReady, 1);
}

// Leading zero bytes everywhere: a server value that denotes a small number,
// a shared secret below 2^760, and a terminal public value below 2^760.
TEST(KeyAgreement, LeadingZeroBytesAreKeptInEveryFixedField) {
    Terminal t(7);
    t.hold();
    const std::span<const uint8_t> terminalPublic(t.keys.ownPublicValue);

    Bytes small(96, 0);
    small[95] = 2;
    t.accept(small);
    // Y = 2 = 3^s has no known s, so the derivation is checked directly.
    const Bytes z = reference::modExp(small, t.keys.ownPrivateKey, primeBytes(), 96);
    const std::span<const uint8_t> zs(z);
    const auto h1 = reference::hmacSha1(zs.subspan(24, 24), zs.subspan(0, 24));
    const auto h2 = reference::hmacSha1(zs.subspan(72, 24), zs.subspan(48, 24));
    EXPECT_TRUE(std::equal(h1.begin(), h1.begin() + 16, t.keys.sessionKey.begin()));
    EXPECT_TRUE(std::equal(h2.begin(), h2.begin() + 16, t.keys.sessionKey.begin() + 16));

    // A server private value whose shared secret has a zero top byte.
    std::mt19937 rng(760);
    bool found = false;
    for (int tries = 0; tries < 4000 && !found; ++tries) {
        const auto s = randomBytes(rng, 32);
        if (reference::modExp(terminalPublic, s, primeBytes(), 96)[0] != 0) continue;
        found = true;
        t.accept(serverPublicValue(s));
        EXPECT_EQ(t.keys.sessionKey, serverSessionKey(terminalPublic, s));
    }
    EXPECT_TRUE(found);

    // A terminal whose pool holds a public value below 2^760.
    found = false;
    for (uint32_t seed = 100; seed < 3000 && !found; ++seed) {
        Terminal u(seed);
        for (uint32_t slot = 0; slot < 3 && !found; ++slot)
            found = u.keyAgreement.pool().publicValues[slot][0] == 0;
        if (!found) continue;
        for (int i = 0; i < 3; ++i) {  // take pairs until the one below 2^760 is held
            u.keys.keyPairHeld = 0;
            u.hold();
            if (u.keys.ownPublicValue[0] == 0) break;
        }
        ASSERT_EQ(u.keys.ownPublicValue[0], 0);
        EXPECT_EQ(Bytes(u.keys.ownPublicValue.begin(), u.keys.ownPublicValue.end()),
                  publicValueOf(u.keys.ownPrivateKey));
        const auto s = randomBytes(rng, 32);
        u.accept(serverPublicValue(s));
        EXPECT_EQ(u.keys.sessionKey, serverSessionKey(u.keys.ownPublicValue, s));
    }
    EXPECT_TRUE(found);
}

TEST(KeyAgreement, InstallSessionKeyTakesTheFirst32Bytes) {
    KeyMaterial keys;
    std::array<uint8_t, 98> block{};
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i + 1);
    KeyAgreement::installSessionKey(keys, block);
    EXPECT_EQ(keys.sessionKeyReady, 1);
    EXPECT_EQ(keys.sessionKey[0], 1);
    EXPECT_EQ(keys.sessionKey[31], 32);
    KeyMaterial other;
    KeyAgreement::installSessionKey(other, std::span<const uint8_t>(block).first(31));  // too short: refused
    EXPECT_EQ(other.sessionKeyReady, 0);
}

}  // namespace
}  // namespace vorpel
