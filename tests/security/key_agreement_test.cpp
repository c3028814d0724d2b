// The key agreement and the voice ciphers it keys; the server side is the
// call server's own OpenSSL code.
#include "security/key_agreement.h"

#include <gtest/gtest.h>

#include <random>

#include "security/credential_proof.h"
#include "security/oakley_group.h"
#include "security/traffic_cipher.h"
#include "seeded_draw.h"
#include "server_crypto.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using testing::SeededDraw;

callserver::DhPrivate randomPrivate(std::mt19937& rng) {
    callserver::DhPrivate x;
    for (auto& b : x) b = static_cast<uint8_t>(rng());
    return x;
}

struct Terminal {
    explicit Terminal(uint32_t seed) : draw(seed), keyAgreement(draw) {}
    void hold() { keyAgreement.holdKeyPair(keys); }
    void accept(const callserver::DhPublic& serverPublic) {
        keys.sessionKeyReady = 0;  // as the engine does for every reply
        keyAgreement.acceptServerPublicValue(keys, serverPublic);
    }
    // The key the server derives from this terminal's public value.
    callserver::SessionKey serversKey(const callserver::DhPrivate& serverPrivate) const {
        return callserver::deriveSessionKey(serverPrivate, keys.ownPublicValue);
    }
    SeededDraw draw;
    KeyAgreement keyAgreement;
    KeyMaterial keys;
};

// The proof over account id, counter (low byte first), auth id and password
// is the one the call server computes.
TEST(CredentialProof, MatchesTheServersProof) {
    std::mt19937 rng(1321);
    for (int counter : {0x0001, 0x0102, 0xFFFF}) {
        std::array<uint8_t, 23> account, auth;
        std::array<uint8_t, 15> password;
        for (auto field :
             {std::span<uint8_t>(account), std::span<uint8_t>(auth), std::span<uint8_t>(password)})
            for (auto& b : field) b = static_cast<uint8_t>(rng());
        EXPECT_EQ(credentialProof(account, static_cast<uint16_t>(counter), auth, password),
                  callserver::credentialProof(account, static_cast<uint16_t>(counter), auth, password))
            << counter;
    }
}

TEST(KeyAgreement, PoolHoldsThreeGroupElementsAndIsRefilledAtOnce) {
    Terminal t(1);
    const KeyPairPool& pool = t.keyAgreement.pool();
    ASSERT_EQ(pool.count(), 3u);
    for (uint32_t slot = 0; slot < 3; ++slot)
        EXPECT_EQ(pool.publicValues[slot], callserver::dhPublicValue(pool.privateKeys[slot]));
    const auto oldest = pool.privateKeys[0];
    t.hold();
    t.hold();  // a pair is held: nothing more is taken
    EXPECT_EQ(t.keys.ownPrivateKey, oldest);
    EXPECT_EQ(pool.count(), 3u);

    Terminal dry(2);  // a pool that ran dry: no pair now, one at the next request
    dry.keyAgreement.dropPooledPairs();
    dry.hold();
    EXPECT_EQ(dry.keys.keyPairHeld, 0);
    dry.hold();
    EXPECT_EQ(dry.keys.keyPairHeld, 1);
}

// Each case is a server value and whether a key results; a re-registration
// keeps the pair and takes the server's new value. Leading zero bytes are
// kept in every fixed field: a server value that is a small number, and a
// shared secret below 2^760. Values that fix the secret (0, 1, p-1) or lie
// outside the group (p and above) are kept but give no key.
TEST(KeyAgreement, TheTerminalDerivesTheServersKeyFromEveryUsableValue) {
    Terminal t(7);
    t.hold();
    std::mt19937 rng(5);
    callserver::DhPublic two{};
    two[95] = 2;
    callserver::DhPrivate zeroTop{};  // a server private value whose shared secret has a zero top byte
    for (int tries = 0; tries < 4000; ++tries) {
        zeroTop = randomPrivate(rng);
        const auto z = t.keyAgreement.group().pow(importBytes(t.keys.ownPublicValue), importBytes(zeroTop));
        if (z.bitLength() <= 760) break;
    }
    const auto first = randomPrivate(rng), second = randomPrivate(rng);
    const auto nearP = [](uint8_t last) {  // p ends in 0xff
        BigNum p;
        parseDecimal(OAKLEY_GROUP1_PRIME_DECIMAL, p);
        callserver::DhPublic v;
        exportBytes(p, v);
        v[95] = last;
        return v;
    };
    callserver::DhPublic one{}, allOnes;
    one[95] = 1;
    allOnes.fill(0xff);
    const struct {
        const char* scenario;
        callserver::DhPublic serverPublic;
        std::optional<callserver::SessionKey> key;
    } cases[] = {
        {"registration", callserver::dhPublicValue(first), t.serversKey(first)},
        {"re-registration", callserver::dhPublicValue(second), t.serversKey(second)},
        {"small value", two, callserver::deriveSessionKey(t.keys.ownPrivateKey, two)},
        {"secret below 2^760", callserver::dhPublicValue(zeroTop), t.serversKey(zeroTop)},
        {"p-2", nearP(0xfd), callserver::deriveSessionKey(t.keys.ownPrivateKey, nearP(0xfd))},
        {"zero", callserver::DhPublic{}, std::nullopt},
        {"one", one, std::nullopt},
        {"p-1", nearP(0xfe), std::nullopt},
        {"p", nearP(0xff), std::nullopt},
        {"all ones", allOnes, std::nullopt},
    };
    for (const auto& c : cases) {
        t.accept(c.serverPublic);
        EXPECT_EQ(t.keys.serverPublicValue, c.serverPublic) << c.scenario;
        EXPECT_EQ(trafficEncryptionInForce(t.keys), c.key.has_value()) << c.scenario;
        EXPECT_EQ(t.keys.sessionKey, c.key.value_or(t.keys.sessionKey)) << c.scenario;
    }
}

// Keying takes the session key only while a pair is held and the key is
// ready; otherwise the ciphers stay as they were.
TEST(TrafficCiphers, KeyedOnlyWithAReadySessionKey) {
    TrafficCiphers ciphers;
    KeyMaterial keys;
    for (size_t i = 0; i < keys.sessionKey.size(); ++i) keys.sessionKey[i] = static_cast<uint8_t>(i);
    keys.keyPairHeld = 1;
    ciphers.keyTrafficCiphers(keys);
    EXPECT_FALSE(ciphers.keyed());
    keys.sessionKeyReady = 1;
    ciphers.keyTrafficCiphers(keys);
    ASSERT_TRUE(ciphers.keyed());
    keys.sessionKey.fill(7);  // a later key, but no pair held at the next voice channel
    keys.keyPairHeld = 0;
    ciphers.keyTrafficCiphers(keys);
    auto block = test::fromHex("00112233445566778899aabbccddeeff");  // FIPS-197 C.3
    ciphers.encryptBlock(std::span<uint8_t, 16>(block.data(), 16));
    EXPECT_EQ(test::toHex(block), "8ea2b7ca516745bfeafc49904b496089");
    EXPECT_FALSE(ciphers.setKey(std::vector<uint8_t>(20, 1)));
}

}  // namespace
}  // namespace vorpel
