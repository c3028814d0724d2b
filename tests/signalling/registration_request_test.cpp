// The registration request and reply with the real key agreement: what leaves
// the terminal is the request byte for byte, and a reply computed by a server
// made of OpenSSL yields the same session key on both sides.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>

#include "engine_fakes.h"
#include "openssl_reference.h"
#include "security/key_agreement.h"
#include "seeded_draw.h"
#include "server_side.h"
#include "test_bytes.h"

namespace vorpel::testing {
namespace {

using test::randomBytes;

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
    frame.reserve(wire::REGISTRATION_REQUEST_SHORT + publicValue.size());
    frame.insert(frame.end(), account.begin(), account.end());
    frame.push_back(0x00);
    frame.insert(frame.end(), counterBytes.begin(), counterBytes.end());
    frame.insert(frame.end(), digest.begin(), digest.begin() + 8);
    const Bytes address = field(CFG_NUMERIC_SERVER_ADDRESS_OFFSET, 4);
    frame.insert(frame.end(), address.begin(), address.end());
    frame.insert(frame.end(), publicValue.begin(), publicValue.end());
    return frame;
}

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
    std::span<const uint8_t> sentPublicValue(size_t request) const {
        return std::span<const uint8_t>(ports_.sent[request]).subspan(wire::REQUEST_PUBLIC_VALUE_OFFSET);
    }

    RecordingPorts ports_;
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
    EXPECT_TRUE(engine_.audio().trafficEncryptionInForce());
    EXPECT_EQ(engine_.state().keys.sessionKey, serverSessionKey(sentPublicValue(1), serverPrivate));
    // The connect request follows the reply at once.
    EXPECT_EQ(ports_.sent.back(), (Bytes{0xFF, 0x03, 0x02, 0x01}));
}

TEST_F(EngineRegistration, CounterWrapsAndFullWidthFieldsAreSentAsStored) {
    start();
    putText(engine_.state().config, CFG_ACCOUNT_ID_OFFSET,
            "ABCDEFGHIJKLMNOPQRSTUVWXYZ");  // the 24th byte and on are not sent
    engine_.state().registrationCounter = 0xFFFE;
    tick(150);
    ASSERT_EQ(ports_.sent.size(), 2u);
    EXPECT_EQ(engine_.state().registrationCounter, 0xFFFF);
    tick(150);
    ASSERT_EQ(ports_.sent.size(), 3u);
    EXPECT_EQ(engine_.state().registrationCounter, 0);
    EXPECT_EQ(ports_.sent[2], expected(0, heldPublicValue()));
    EXPECT_EQ(ports_.sent[2][wire::REQUEST_COUNTER_OFFSET - 1], 0x00);
}

TEST_F(EngineRegistration, RepliesOfEveryLengthGiveAKeyOnlyWithAWholeUsablePublicValue) {
    struct Case {
        size_t length;
        bool zeroValue;
        bool keyed;
    };
    std::mt19937 rng(5);
    for (const Case& c : {Case{113, false, true}, Case{140, false, true}, Case{112, false, false},
                          Case{113, true, false}, Case{2, false, false}}) {
        SCOPED_TRACE(::testing::Message() << c.length << " bytes, zero value " << c.zeroValue);
        start();
        const Bytes serverPrivate = randomBytes(rng, 32);
        const Bytes serverPublic = c.zeroValue ? Bytes(96, 0) : serverPublicValue(serverPrivate);
        engine_.handleDatagram(registrationReply(0x1234, serverPublic, c.length));
        ASSERT_EQ(engine_.state().regState, RegState::Synchronizing);
        EXPECT_EQ(trafficEncryptionInForce(engine_.state().keys), c.keyed);
        EXPECT_EQ(engine_.audio().trafficEncryptionInForce(), c.keyed);
        if (c.keyed) {
            EXPECT_EQ(engine_.state().keys.sessionKey, serverSessionKey(sentPublicValue(0), serverPrivate));
        }
    }
}

TEST_F(EngineRegistration, WithoutAPairTheRequestIsShortAndTheNextCarriesOne) {
    start(true);
    EXPECT_EQ(ports_.sent[0], expected(1, {}));
    EXPECT_EQ(ports_.sent[0].size(), wire::REGISTRATION_REQUEST_SHORT);
    tick(150);
    ASSERT_EQ(ports_.sent.size(), 2u);
    EXPECT_EQ(ports_.sent[1], expected(2, heldPublicValue()));
}

TEST_F(EngineRegistration, NewSettingsStartAgainFromCounterOneWithANewPair) {
    start();
    const Bytes first = ports_.sent[0];
    start();
    EXPECT_EQ(ports_.sent[0], expected(1, heldPublicValue()));
    EXPECT_FALSE(std::equal(first.begin() + wire::REQUEST_PUBLIC_VALUE_OFFSET, first.end(),
                            ports_.sent[0].begin() + wire::REQUEST_PUBLIC_VALUE_OFFSET));
}

}  // namespace
}  // namespace vorpel::testing
