// The real signalling engine and the real key agreement together: what
// leaves the engine is the registration request byte for byte, and a reply
// computed by a server made of OpenSSL yields the same session key on both
// sides.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>
#include <vector>

#include "openssl_reference.h"
#include "security/key_agreement.h"
#include "seeded_draw.h"
#include "server_side.h"
#include "signalling/engine.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::primeBytes;
using testing::randomBytes;
using testing::SeededDraw;
using testing::registrationReply;
using testing::serverPublicValue;
using testing::serverSessionKey;

class RecordingPorts final : public EnginePorts {
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

constexpr std::string_view ACCOUNT_ID = "60211";
constexpr std::string_view AUTH_ID = "term-60211";
constexpr std::string_view PASSWORD = "twelve+chars!";
constexpr std::array<uint8_t, 4> SERVER_ADDRESS = {10, 0, 0, 7};

void putText(ConfigSnapshot& config, size_t offset, std::string_view text) {
    std::copy(text.begin(), text.end(), config.bytes.begin() + static_cast<ptrdiff_t>(offset));
}

class EngineRegistration : public ::testing::Test {
protected:
    EngineRegistration() : draw_(60211), keyAgreement_(draw_), engine_(ports_, keyAgreement_) {}

    // The shell's start-up: initialise, copy the settings, one tick, then the
    // socket's first writability. A dry pool can stand in for a pool that ran out.
    void start(bool dryPool = false) {
        engine_.initEngine();
        if (dryPool) keyAgreement_.dropPooledPairs();
        ConfigSnapshot& config = engine_.state().config;
        std::copy(SERVER_ADDRESS.begin(), SERVER_ADDRESS.end(),
                  config.bytes.begin() + CFG_NUMERIC_SERVER_ADDRESS_OFFSET);
        putText(config, CFG_SERVER_ADDRESS_OFFSET, "10.0.0.7");
        putText(config, CFG_ACCOUNT_ID_OFFSET, ACCOUNT_ID);
        putText(config, CFG_AUTH_ID_OFFSET, AUTH_ID);
        putText(config, CFG_PASSWORD_OFFSET, PASSWORD);
        engine_.engineTick();
        ASSERT_EQ(engine_.state().regState, RegState::Registering);
        ports_.sent.clear();
        engine_.startRegistration();
        ASSERT_EQ(ports_.sent.size(), 1u);
    }

    // The request as the server expects it, built here from the settings, the
    // counter and a public value, with OpenSSL's MD5.
    static Bytes expectedRequest(uint16_t counter, const Bytes& publicValue) {
        Bytes account(23, 0), auth(23, 0), password(15, 0);
        std::copy(ACCOUNT_ID.begin(), ACCOUNT_ID.end(), account.begin());
        std::copy(AUTH_ID.begin(), AUTH_ID.end(), auth.begin());
        std::copy(PASSWORD.begin(), PASSWORD.end(), password.begin());
        const Bytes counterBytes = {static_cast<uint8_t>(counter), static_cast<uint8_t>(counter >> 8)};
        Bytes proofInput = account;
        proofInput.insert(proofInput.end(), counterBytes.begin(), counterBytes.end());
        proofInput.insert(proofInput.end(), auth.begin(), auth.end());
        proofInput.insert(proofInput.end(), password.begin(), password.end());
        const auto digest = reference::md5(proofInput);

        Bytes frame = {0x00, 0x10, 0x01};
        frame.insert(frame.end(), account.begin(), account.end());
        frame.push_back(0x00);
        frame.insert(frame.end(), counterBytes.begin(), counterBytes.end());
        frame.insert(frame.end(), digest.begin(), digest.begin() + 8);
        frame.insert(frame.end(), SERVER_ADDRESS.begin(), SERVER_ADDRESS.end());
        frame.insert(frame.end(), publicValue.begin(), publicValue.end());
        return frame;
    }

    Bytes publicValueOfHeldPair() const {
        return reference::modExp(Bytes{3}, engine_.state().keys.ownPrivateKey, primeBytes(), 96);
    }

    void tick(int count) {
        for (int i = 0; i < count; ++i) engine_.engineTick();
    }

    RecordingPorts ports_;
    SeededDraw draw_;
    KeyAgreement keyAgreement_;
    SignallingEngine engine_;
};

TEST_F(EngineRegistration, RequestsLeaveByteExactAndTheServerAgreesOnTheKey) {
    start();
    const Bytes publicValue = publicValueOfHeldPair();
    EXPECT_EQ(ports_.sent[0], expectedRequest(1, publicValue));

    // The resend 150 ticks later: counter 2, the same public value.
    tick(149);
    EXPECT_EQ(ports_.sent.size(), 1u);
    tick(1);
    ASSERT_EQ(ports_.sent.size(), 2u);
    EXPECT_EQ(ports_.sent[1], expectedRequest(2, publicValue));

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

TEST_F(EngineRegistration, ShortRepliesRegisterWithoutAKey) {
    start();
    std::mt19937 rng(112);
    engine_.handleDatagram(registrationReply(7, serverPublicValue(randomBytes(rng, 32)), 112));
    EXPECT_EQ(engine_.state().regState, RegState::Synchronizing);
    EXPECT_EQ(engine_.state().keys.sessionKeyReady.load(), 0);
    EXPECT_FALSE(trafficEncryptionInForce(engine_.state().keys));
}

TEST_F(EngineRegistration, WithoutAPairTheRequestIsShortAndTheNextCarriesOne) {
    start(true);
    EXPECT_EQ(ports_.sent[0], expectedRequest(1, {}));
    EXPECT_EQ(ports_.sent[0].size(), REGISTRATION_REQUEST_SHORT);

    tick(150);
    ASSERT_EQ(ports_.sent.size(), 2u);
    EXPECT_EQ(ports_.sent[1].size(), REGISTRATION_REQUEST_FULL);
    EXPECT_EQ(ports_.sent[1], expectedRequest(2, publicValueOfHeldPair()));
}

TEST_F(EngineRegistration, NewSettingsStartAgainFromCounterOneWithANewPair) {
    start();
    const Bytes first = ports_.sent[0];
    ports_.sent.clear();
    start();
    EXPECT_EQ(ports_.sent[0], expectedRequest(1, publicValueOfHeldPair()));
    EXPECT_FALSE(std::equal(first.begin() + 41, first.end(), ports_.sent[0].begin() + 41));
}

}  // namespace
}  // namespace vorpel
