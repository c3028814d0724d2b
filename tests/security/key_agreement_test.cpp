// The key agreement alone and driven by the real signalling engine: what
// leaves the terminal is the registration request byte for byte, and a reply
// computed by a server made of OpenSSL yields the same session key on both
// sides.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>

#include "openssl_reference.h"
#include "security/key_agreement.h"
#include "seeded_draw.h"
#include "server_side.h"
#include "signalling/engine.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using Bytes = std::vector<uint8_t>;
using test::randomBytes;
using testing::primeBytes;
using testing::registrationReply;
using testing::SeededDraw;
using testing::serverPublicValue;
using testing::serverSessionKey;

void putText(ConfigSnapshot& config, size_t offset, std::string_view text) {
    std::copy(text.begin(), text.end(), config.bytes.begin() + static_cast<ptrdiff_t>(offset));
}

void fillAccount(ConfigSnapshot& config) {
    const std::array<uint8_t, 4> address = {192, 168, 1, 20};
    std::copy(address.begin(), address.end(), config.bytes.begin() + CFG_NUMERIC_SERVER_ADDRESS_OFFSET);
    putText(config, CFG_SERVER_ADDRESS_OFFSET, "192.168.1.20");
    putText(config, CFG_ACCOUNT_ID_OFFSET, "4711");
    putText(config, CFG_AUTH_ID_OFFSET, "auth-4711");
    putText(config, CFG_PASSWORD_OFFSET, "secret-passwd");
}

Bytes publicValueOf(std::span<const uint8_t> privateKey) {
    return reference::modExp(Bytes{3}, privateKey, primeBytes(), 96);
}

// The request as the server expects it: class, 23 bytes of account id, a
// zero, the counter low byte first, 8 bytes of MD5 over account id, counter,
// auth id (23 bytes) and password (15 bytes), the numeric server address and
// the public value (none in a short request).
Bytes expectedRequest(const ConfigSnapshot& config, uint16_t counter, const Bytes& publicValue) {
    const auto field = [&](size_t offset, size_t size) {
        return Bytes(config.bytes.begin() + static_cast<ptrdiff_t>(offset),
                     config.bytes.begin() + static_cast<ptrdiff_t>(offset + size));
    };
    const Bytes account = field(CFG_ACCOUNT_ID_OFFSET, 23);
    const Bytes counterBytes = {static_cast<uint8_t>(counter), static_cast<uint8_t>(counter >> 8)};
    Bytes proofInput = account;
    for (const Bytes& part : {counterBytes, field(CFG_AUTH_ID_OFFSET, 23), field(CFG_PASSWORD_OFFSET, 15)})
        proofInput.insert(proofInput.end(), part.begin(), part.end());
    const auto digest = reference::md5(proofInput);

    Bytes frame = {0x00, 0x10, 0x01};
    frame.reserve(41 + publicValue.size());
    frame.insert(frame.end(), account.begin(), account.end());
    frame.push_back(0x00);
    frame.insert(frame.end(), counterBytes.begin(), counterBytes.end());
    frame.insert(frame.end(), digest.begin(), digest.begin() + 8);
    const Bytes address = field(CFG_NUMERIC_SERVER_ADDRESS_OFFSET, 4);
    frame.insert(frame.end(), address.begin(), address.end());
    frame.insert(frame.end(), publicValue.begin(), publicValue.end());
    return frame;
}

struct Terminal {
    explicit Terminal(uint32_t seed) : draw(seed), keyAgreement(draw) { fillAccount(config); }
    size_t request() { return keyAgreement.buildRegistrationRequest(keys, config, counter, frame); }
    Bytes sent(size_t length) const {
        return {frame.begin(), frame.begin() + static_cast<ptrdiff_t>(length)};
    }
    void reply(const Bytes& datagram) { keyAgreement.processRegistrationReply(keys, datagram); }

    SeededDraw draw;
    KeyAgreement keyAgreement;
    KeyMaterial keys;
    ConfigSnapshot config;
    uint16_t counter = 0;
    std::array<uint8_t, REGISTRATION_REQUEST_FULL> frame{};
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
    ASSERT_EQ(t.request(), REGISTRATION_REQUEST_FULL);
    EXPECT_EQ(pool.count(), 3u);
    // The kernel's draws differ from terminal to terminal.
    KeyAgreement a;
    KeyAgreement b;
    EXPECT_NE(a.pool().privateKeys[0], b.pool().privateKeys[0]);
}

TEST(KeyAgreement, CounterWrapsAndFullWidthFieldsAreSentAsStored) {
    Terminal t(3);
    putText(t.config, CFG_ACCOUNT_ID_OFFSET,
            "ABCDEFGHIJKLMNOPQRSTUVWXYZ");  // the 24th byte and on are not sent
    t.counter = 0xFFFF;
    ASSERT_EQ(t.request(), REGISTRATION_REQUEST_FULL);
    EXPECT_EQ(t.counter, 0);
    EXPECT_EQ(t.sent(REGISTRATION_REQUEST_FULL),
              expectedRequest(t.config, 0, publicValueOf(t.keys.ownPrivateKey)));
    EXPECT_EQ(t.frame[26], 0x00);
}

TEST(KeyAgreement, RepliesOfEveryLengthGiveAKeyOnlyWithAUsablePublicValue) {
    Terminal t(5);
    ASSERT_EQ(t.request(), REGISTRATION_REQUEST_FULL);
    const auto terminalPublic = std::span<const uint8_t>(t.frame).subspan(41, 96);
    std::mt19937 rng(5);
    const auto serverPrivate = randomBytes(rng, 32);
    const auto reply = registrationReply(0x1234, serverPublicValue(serverPrivate));
    t.reply(reply);
    ASSERT_EQ(t.keys.sessionKeyReady.load(), 1);
    EXPECT_TRUE(std::equal(reply.begin() + 17, reply.end(), t.keys.serverPublicValue.begin()));
    EXPECT_EQ(t.keys.sessionKey, serverSessionKey(terminalPublic, serverPrivate));
    EXPECT_TRUE(trafficEncryptionInForce(t.keys));

    // A re-registration without initialisation: same pair, the server's new
    // value, in a reply longer than needed.
    const auto serverPrivate2 = randomBytes(rng, 32);
    const auto serverPublic2 = serverPublicValue(serverPrivate2);
    t.reply(registrationReply(0x1234, serverPublic2, 140));
    EXPECT_EQ(t.keys.sessionKey, serverSessionKey(terminalPublic, serverPrivate2));
    const auto previous = t.keys.serverPublicValue;

    // 112 bytes: one byte short of the public value.
    t.reply(registrationReply(1, serverPublic2, 112));
    EXPECT_EQ(t.keys.sessionKeyReady.load(), 0);
    EXPECT_EQ(t.keys.serverPublicValue, previous);
    EXPECT_FALSE(trafficEncryptionInForce(t.keys));
    // All zero: taken, but no key.
    t.reply(registrationReply(1, Bytes(96, 0)));
    EXPECT_EQ(t.keys.sessionKeyReady.load(), 0);
    EXPECT_EQ(t.keys.serverPublicValue, (std::array<uint8_t, 96>{}));
    t.reply(Bytes{0x00});
    EXPECT_EQ(t.keys.sessionKeyReady.load(), 0);
}

// Leading zero bytes everywhere: a server value that denotes a small number,
// a shared secret below 2^760, and a terminal public value below 2^760.
TEST(KeyAgreement, LeadingZeroBytesAreKeptInEveryFixedField) {
    Terminal t(7);
    t.request();
    const std::span<const uint8_t> terminalPublic(t.keys.ownPublicValue);

    Bytes small(96, 0);
    small[95] = 2;
    t.reply(registrationReply(1, small));
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
        t.reply(registrationReply(1, serverPublicValue(s)));
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
            u.request();
            if (u.keys.ownPublicValue[0] == 0) break;
        }
        ASSERT_EQ(u.keys.ownPublicValue[0], 0);
        EXPECT_EQ(u.sent(REGISTRATION_REQUEST_FULL),
                  expectedRequest(u.config, u.counter, publicValueOf(u.keys.ownPrivateKey)));
        const auto s = randomBytes(rng, 32);
        u.reply(registrationReply(1, serverPublicValue(s)));
        EXPECT_EQ(u.keys.sessionKey, serverSessionKey(std::span<const uint8_t>(u.frame).subspan(41), s));
    }
    EXPECT_TRUE(found);
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

class NullPorts final : public EnginePorts {
public:
    std::vector<Bytes> sent;
    size_t sendSignalling(std::span<const uint8_t> frame) override {
        sent.emplace_back(frame.begin(), frame.end());
        return frame.size();
    }
    void resetMedia(uint32_t) override {}
    void startMelody(uint8_t, std::span<const uint8_t, MELODY_NOTE_COUNT>) override {}
    void openVoiceChannel(uint16_t, uint32_t) override {}
    void closeVoiceSocket() override {}
    void keyTrafficCiphers(const KeyMaterial&) override {}
    void raisePhoneWindow() override {}
};

class EngineRegistration : public ::testing::Test {
protected:
    EngineRegistration() : draw_(60211), keyAgreement_(draw_), engine_(ports_, keyAgreement_) {}

    // The shell's start-up: initialise, copy the settings, one tick, then the
    // socket's first writability. A dry pool stands in for one that ran out.
    void start(bool dryPool = false) {
        engine_.initEngine();
        if (dryPool) keyAgreement_.dropPooledPairs();
        fillAccount(engine_.state().config);
        engine_.engineTick();
        ASSERT_EQ(engine_.state().regState, RegState::Registering);
        ports_.sent.clear();
        engine_.startRegistration();
        ASSERT_EQ(ports_.sent.size(), 1u);
    }
    Bytes expected(uint16_t counter, const Bytes& publicValue) const {
        return expectedRequest(engine_.state().config, counter, publicValue);
    }
    Bytes heldPublicValue() const { return publicValueOf(engine_.state().keys.ownPrivateKey); }
    void tick(int count) {
        for (int i = 0; i < count; ++i) engine_.engineTick();
    }

    NullPorts ports_;
    SeededDraw draw_;
    KeyAgreement keyAgreement_;
    SignallingEngine engine_;
};

TEST_F(EngineRegistration, RequestsLeaveByteExactAndTheServerAgreesOnTheKey) {
    start();
    const Bytes publicValue = heldPublicValue();
    EXPECT_EQ(ports_.sent[0], expected(1, publicValue));

    // The resend 150 ticks later: counter 2, the same public value.
    tick(149);
    EXPECT_EQ(ports_.sent.size(), 1u);
    tick(1);
    ASSERT_EQ(ports_.sent.size(), 2u);
    EXPECT_EQ(ports_.sent[1], expected(2, publicValue));

    // The server answers from the public value it received.
    std::mt19937 rng(9877);
    const Bytes serverPrivate = randomBytes(rng, 32);
    engine_.handleDatagram(registrationReply(0x0203, serverPublicValue(serverPrivate)));
    EXPECT_EQ(engine_.state().regState, RegState::Synchronizing);
    EXPECT_EQ(engine_.state().terminalId, 0x0203);
    ASSERT_TRUE(trafficEncryptionInForce(engine_.state().keys));
    const auto received = std::span<const uint8_t>(ports_.sent[1]).subspan(41, 96);
    EXPECT_EQ(engine_.state().keys.sessionKey, serverSessionKey(received, serverPrivate));
    // The connect request follows the reply at once.
    EXPECT_EQ(ports_.sent.back(), (Bytes{0xFF, 0x03, 0x02, 0x01}));
}

TEST_F(EngineRegistration, WithoutAPairTheRequestIsShortAndTheNextCarriesOne) {
    start(true);
    EXPECT_EQ(ports_.sent[0], expected(1, {}));
    EXPECT_EQ(ports_.sent[0].size(), REGISTRATION_REQUEST_SHORT);
    tick(150);
    ASSERT_EQ(ports_.sent.size(), 2u);
    EXPECT_EQ(ports_.sent[1], expected(2, heldPublicValue()));
}

TEST_F(EngineRegistration, NewSettingsStartAgainFromCounterOneWithANewPair) {
    start();
    const Bytes first = ports_.sent[0];
    start();
    EXPECT_EQ(ports_.sent[0], expected(1, heldPublicValue()));
    EXPECT_FALSE(std::equal(first.begin() + 41, first.end(), ports_.sent[0].begin() + 41));
}

}  // namespace
}  // namespace vorpel
