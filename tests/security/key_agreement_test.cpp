#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>

#include "openssl_reference.h"
#include "security/key_agreement.h"
#include "seeded_draw.h"
#include "server_side.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using testing::primeBytes;
using testing::randomBytes;
using testing::SeededDraw;
using testing::registrationReply;
using testing::serverPublicValue;
using testing::serverSessionKey;

void putText(ConfigSnapshot& config, size_t offset, std::string_view text) {
    std::copy(text.begin(), text.end(), config.bytes.begin() + static_cast<ptrdiff_t>(offset));
}

ConfigSnapshot accountConfig() {
    ConfigSnapshot config;
    const std::array<uint8_t, 4> address = {192, 168, 1, 20};
    std::copy(address.begin(), address.end(), config.bytes.begin() + CFG_NUMERIC_SERVER_ADDRESS_OFFSET);
    putText(config, CFG_ACCOUNT_ID_OFFSET, "4711");
    putText(config, CFG_AUTH_ID_OFFSET, "auth-4711");
    putText(config, CFG_PASSWORD_OFFSET, "secret-passwd");
    return config;
}

struct Terminal {
    explicit Terminal(uint32_t seed) : draw(seed), keyAgreement(draw) {}
    size_t request() { return keyAgreement.buildRegistrationRequest(keys, config, counter, frame); }
    std::vector<uint8_t> sent(size_t length) const { return {frame.begin(), frame.begin() + length}; }

    SeededDraw draw;
    KeyAgreement keyAgreement;
    KeyMaterial keys;
    ConfigSnapshot config = accountConfig();
    uint16_t counter = 0;
    std::array<uint8_t, REGISTRATION_REQUEST_FULL> frame{};
};

std::array<uint8_t, 16> expectedProof(const ConfigSnapshot& config, uint16_t counter) {
    std::vector<uint8_t> input(config.bytes.begin() + CFG_ACCOUNT_ID_OFFSET,
                               config.bytes.begin() + CFG_ACCOUNT_ID_OFFSET + 23);
    input.push_back(static_cast<uint8_t>(counter));
    input.push_back(static_cast<uint8_t>(counter >> 8));
    input.insert(input.end(), config.bytes.begin() + CFG_AUTH_ID_OFFSET, config.bytes.begin() + CFG_AUTH_ID_OFFSET + 23);
    input.insert(input.end(), config.bytes.begin() + CFG_PASSWORD_OFFSET, config.bytes.begin() + CFG_PASSWORD_OFFSET + 15);
    EXPECT_EQ(input.size(), 63u);
    return reference::md5(input);
}

TEST(KeyAgreement, ResetFillsThePoolWithThreeGroupElements) {
    SeededDraw draw(1);
    KeyAgreement ka(draw);
    EXPECT_EQ(ka.pool().count(), 3u);
    EXPECT_EQ(ka.jobQueue().count(), 0u);
    for (uint32_t slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(std::vector<uint8_t>(ka.pool().publicValues[slot].begin(), ka.pool().publicValues[slot].end()),
                  reference::modExp(std::vector<uint8_t>{3}, ka.pool().privateKeys[slot], primeBytes(), 96));
    }
    EXPECT_NE(ka.pool().privateKeys[0], ka.pool().privateKeys[1]);
}

TEST(KeyAgreement, RequestLayoutCounterAndProof) {
    Terminal t(2);
    ASSERT_EQ(t.request(), REGISTRATION_REQUEST_FULL);
    EXPECT_EQ(t.keys.keyPairHeld.load(), 1);
    const auto first = t.sent(REGISTRATION_REQUEST_FULL);
    EXPECT_EQ(first[0], 0x00);
    EXPECT_EQ(first[1], 0x10);
    EXPECT_EQ(first[2], 0x01);
    EXPECT_EQ(std::string(first.begin() + 3, first.begin() + 7), "4711");
    EXPECT_TRUE(std::all_of(first.begin() + 7, first.begin() + 27, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(first[27], 0x01);
    EXPECT_EQ(first[28], 0x00);
    const auto proof1 = expectedProof(t.config, 1);
    EXPECT_TRUE(std::equal(first.begin() + 29, first.begin() + 37, proof1.begin()));
    EXPECT_EQ(std::vector<uint8_t>(first.begin() + 37, first.begin() + 41), (std::vector<uint8_t>{192, 168, 1, 20}));
    EXPECT_TRUE(std::equal(first.begin() + 41, first.end(), t.keys.ownPublicValue.begin()));
    EXPECT_EQ(std::vector<uint8_t>(first.begin() + 41, first.end()),
              reference::modExp(std::vector<uint8_t>{3}, t.keys.ownPrivateKey, primeBytes(), 96));
    EXPECT_EQ(t.keyAgreement.pool().count(), 3u);  // the pair taken was replaced at once

    // The second request: counter 2, same public value, a different proof.
    ASSERT_EQ(t.request(), REGISTRATION_REQUEST_FULL);
    const auto second = t.sent(REGISTRATION_REQUEST_FULL);
    EXPECT_EQ(second[27], 0x02);
    EXPECT_EQ(second[28], 0x00);
    EXPECT_TRUE(std::equal(first.begin() + 41, first.end(), second.begin() + 41));
    const auto proof2 = expectedProof(t.config, 2);
    EXPECT_TRUE(std::equal(second.begin() + 29, second.begin() + 37, proof2.begin()));
    EXPECT_FALSE(std::equal(first.begin() + 29, first.begin() + 37, second.begin() + 29));
}

TEST(KeyAgreement, CounterWrapsAndFullWidthFieldsAreSentAsStored) {
    Terminal t(3);
    putText(t.config, CFG_ACCOUNT_ID_OFFSET, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");  // the 24th byte and on are not sent
    t.counter = 0xFFFF;
    ASSERT_EQ(t.request(), REGISTRATION_REQUEST_FULL);
    EXPECT_EQ(std::string(t.frame.begin() + 3, t.frame.begin() + 26), "ABCDEFGHIJKLMNOPQRSTUVW");
    EXPECT_EQ(t.frame[26], 0x00);
    EXPECT_EQ(t.counter, 0);
    EXPECT_EQ(t.frame[27], 0x00);
    EXPECT_EQ(t.frame[28], 0x00);
    const auto proof = expectedProof(t.config, 0);
    EXPECT_TRUE(std::equal(t.frame.begin() + 29, t.frame.begin() + 37, proof.begin()));
}

TEST(KeyAgreement, RequestWithoutAPairIsShortAndTheNextOneCarriesIt) {
    Terminal t(4);
    t.keyAgreement.dropPooledPairs();
    ASSERT_EQ(t.request(), REGISTRATION_REQUEST_SHORT);
    EXPECT_EQ(t.keys.keyPairHeld.load(), 0);
    EXPECT_EQ(t.frame[27], 0x01);
    ASSERT_EQ(t.request(), REGISTRATION_REQUEST_FULL);
    EXPECT_EQ(t.keys.keyPairHeld.load(), 1);
    EXPECT_EQ(t.frame[27], 0x02);
}

TEST(KeyAgreement, WholeRegistrationAgreesWithTheServersSessionKey) {
    Terminal t(5);
    ASSERT_EQ(t.request(), REGISTRATION_REQUEST_FULL);
    std::mt19937 rng(5);
    const auto serverPrivate = randomBytes(rng, 32);
    const auto reply = registrationReply(0x1234, serverPublicValue(serverPrivate));
    t.keyAgreement.processRegistrationReply(t.keys, reply);
    ASSERT_EQ(t.keys.sessionKeyReady.load(), 1);
    EXPECT_TRUE(std::equal(reply.begin() + 17, reply.end(), t.keys.serverPublicValue.begin()));
    const auto requestPublic = std::span<const uint8_t>(t.frame).subspan(41, 96);
    EXPECT_EQ(t.keys.sessionKey, serverSessionKey(requestPublic, serverPrivate));
    EXPECT_TRUE(trafficEncryptionInForce(t.keys));

    // A re-registration without initialisation: same pair, the server's new value.
    const auto serverPrivate2 = randomBytes(rng, 32);
    t.keyAgreement.processRegistrationReply(t.keys, registrationReply(0x1234, serverPublicValue(serverPrivate2), 140));
    EXPECT_EQ(t.keys.sessionKey, serverSessionKey(requestPublic, serverPrivate2));
}

TEST(KeyAgreement, RepliesWithoutAUsablePublicValueLeaveNoKey) {
    Terminal t(6);
    t.request();
    std::mt19937 rng(6);
    const auto serverPublic = serverPublicValue(randomBytes(rng, 32));
    t.keyAgreement.processRegistrationReply(t.keys, registrationReply(1, serverPublic));
    ASSERT_EQ(t.keys.sessionKeyReady.load(), 1);
    const auto previous = t.keys.serverPublicValue;

    // 112 bytes: one byte short of the public value.
    t.keyAgreement.processRegistrationReply(t.keys, registrationReply(1, serverPublic, 112));
    EXPECT_EQ(t.keys.sessionKeyReady.load(), 0);
    EXPECT_EQ(t.keys.serverPublicValue, previous);
    EXPECT_FALSE(trafficEncryptionInForce(t.keys));

    // All zero: taken, but no key.
    t.keyAgreement.processRegistrationReply(t.keys, registrationReply(1, std::vector<uint8_t>(96, 0)));
    EXPECT_EQ(t.keys.sessionKeyReady.load(), 0);
    EXPECT_EQ(t.keys.serverPublicValue, (std::array<uint8_t, 96>{}));
    t.keyAgreement.processRegistrationReply(t.keys, std::vector<uint8_t>{0x00});
    EXPECT_EQ(t.keys.sessionKeyReady.load(), 0);
}

// Leading zero bytes everywhere: a server value that denotes a small number,
// a shared secret below 2^760, and a terminal public value below 2^760.
TEST(KeyAgreement, LeadingZeroBytesAreKeptInEveryFixedField) {
    Terminal t(7);
    t.request();
    const std::span<const uint8_t> terminalPublic(t.keys.ownPublicValue);

    std::vector<uint8_t> small(96, 0);
    small[95] = 2;
    t.keyAgreement.processRegistrationReply(t.keys, registrationReply(1, small));
    std::vector<uint8_t> expectedZ = reference::modExp(small, t.keys.ownPrivateKey, primeBytes(), 96);
    // The server's view: Y = 2 = 3^s has no known s, so compare the derivation directly.
    const std::span<const uint8_t> z(expectedZ);
    const auto h1 = reference::hmacSha1(z.subspan(24, 24), z.subspan(0, 24));
    const auto h2 = reference::hmacSha1(z.subspan(72, 24), z.subspan(48, 24));
    EXPECT_TRUE(std::equal(h1.begin(), h1.begin() + 16, t.keys.sessionKey.begin()));
    EXPECT_TRUE(std::equal(h2.begin(), h2.begin() + 16, t.keys.sessionKey.begin() + 16));

    // Search a server private value whose shared secret has a zero top byte.
    std::mt19937 rng(760);
    bool found = false;
    for (int tries = 0; tries < 4000 && !found; ++tries) {
        const auto s = randomBytes(rng, 32);
        if (reference::modExp(terminalPublic, s, primeBytes(), 96)[0] != 0) continue;
        found = true;
        t.keyAgreement.processRegistrationReply(t.keys, registrationReply(1, serverPublicValue(s)));
        EXPECT_EQ(t.keys.sessionKey, serverSessionKey(terminalPublic, s));
    }
    EXPECT_TRUE(found);

    // Search a terminal whose first public value is below 2^760.
    found = false;
    for (uint32_t seed = 100; seed < 3000 && !found; ++seed) {
        SeededDraw draw(seed);
        KeyAgreement ka(draw);
        for (uint32_t slot = 0; slot < 3 && !found; ++slot) {
            found = ka.pool().publicValues[slot][0] == 0;
        }
        if (!found) continue;
        KeyMaterial keys;
        ConfigSnapshot config = accountConfig();
        uint16_t counter = 0;
        std::array<uint8_t, REGISTRATION_REQUEST_FULL> frame{};
        for (int i = 0; i < 3; ++i) {  // take pairs until the one below 2^760 is held
            keys.keyPairHeld = 0;
            ka.buildRegistrationRequest(keys, config, counter, frame);
            if (keys.ownPublicValue[0] == 0) break;
        }
        ASSERT_EQ(keys.ownPublicValue[0], 0);
        EXPECT_EQ(frame[41], 0x00);
        EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 41, frame.end()),
                  reference::modExp(std::vector<uint8_t>{3}, keys.ownPrivateKey, primeBytes(), 96));
        const auto s = randomBytes(rng, 32);
        ka.processRegistrationReply(keys, registrationReply(1, serverPublicValue(s)));
        EXPECT_EQ(keys.sessionKey, serverSessionKey(std::span<const uint8_t>(frame).subspan(41), s));
    }
    EXPECT_TRUE(found);
}

TEST(KeyAgreement, NewSettingsBringANewPairAndCounterOne) {
    Terminal t(8);
    t.request();
    t.request();
    const auto before = t.keys.ownPublicValue;
    // Engine initialisation: the material and the counter are zeroed, then the agreement restarts.
    t.keys.clear();
    t.counter = 0;
    t.keyAgreement.resetKeyAgreement();
    EXPECT_EQ(t.keyAgreement.pool().count(), 3u);
    ASSERT_EQ(t.request(), REGISTRATION_REQUEST_FULL);
    EXPECT_EQ(t.frame[27], 0x01);
    EXPECT_NE(t.keys.ownPublicValue, before);
}

TEST(KeyAgreement, KernelDrawsGiveDifferentPairsPerTerminal) {
    KeyAgreement a;
    KeyAgreement b;
    EXPECT_NE(a.pool().privateKeys[0], b.pool().privateKeys[0]);
    EXPECT_NE(a.pool().privateKeys[0], a.pool().privateKeys[1]);
}

TEST(KeyAgreement, InstallSessionKeyTakesTheFirst32Bytes) {
    KeyMaterial keys;
    std::array<uint8_t, 98> block{};
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i + 1);
    KeyAgreement::installSessionKey(keys, block);
    EXPECT_EQ(keys.sessionKeyReady.load(), 1);
    EXPECT_EQ(keys.sessionKey[0], 1);
    EXPECT_EQ(keys.sessionKey[31], 32);
    KeyMaterial other;
    KeyAgreement::installSessionKey(other, std::span<const uint8_t>(block).first(31));  // too short: refused
    EXPECT_EQ(other.sessionKeyReady.load(), 0);
}

}  // namespace
}  // namespace vorpel
