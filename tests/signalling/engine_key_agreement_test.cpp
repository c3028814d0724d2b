// The engine with the terminal's real key agreement: the request carries the
// public value and the counter, and a reply's public value yields the session
// key with which the next voice channel keys the ciphers.
#include <gtest/gtest.h>

#include "engine_fakes.h"
#include "security/key_agreement.h"

namespace vorpel::testing {
namespace {

TEST(EngineWithKeyAgreement, RegistrationAgreesTheKeyThatTheVoiceChannelUses) {
    RecordingPorts ports;
    KeyAgreement keyAgreement;
    SignallingEngine engine(ports, keyAgreement);
    engine.initEngine();
    SettingsRecord record;
    record.setText(ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_SIZE, SERVER_ADDRESS_SIZE,
                   "127.0.0.1");
    record.setText(ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET, ACCOUNT_ID_SIZE, ACCOUNT_ID_USED, "4711");
    record.setText(ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET, PASSWORD_SIZE, PASSWORD_USED, "secret-secret");
    record.copyTo(engine.state().config);
    engine.engineTick();
    engine.startRegistration();
    engine.startRegistration();
    ASSERT_EQ(ports.sent.size(), 2u);
    const Bytes& first = ports.sent[0];
    ASSERT_EQ(first.size(), REGISTRATION_REQUEST_FULL);
    EXPECT_EQ(first[27], 1);
    EXPECT_EQ(ports.sent[1][27], 2);
    EXPECT_TRUE(std::equal(first.begin() + 41, first.end(), engine.state().keys.ownPublicValue.begin()));
    EXPECT_TRUE(std::equal(first.begin() + 41, first.end(), ports.sent[1].begin() + 41));  // one pair per registration

    // The server's public value 3 (big-endian, 96 bytes) is as good as any for the key.
    Bytes reply(113, 0);
    reply[1] = 0x34;
    reply[2] = 0x12;
    reply[112] = 3;
    engine.handleDatagram(reply);
    ASSERT_EQ(engine.state().regState, RegState::Synchronizing);
    EXPECT_EQ(engine.state().keys.sessionKeyReady, 1);
    engine.handleDatagram(Bytes{0xFF, 0x02});
    engine.handleDatagram(Bytes{0xFF, 0x10, 0x00, 0xA0, 0x04, 0x00, 0x10, 0x27});
    EXPECT_EQ(ports.calls.back(), "keyTrafficCiphers");

    // A reply without a public value, after a lost link, leaves voice in the clear.
    engine.state().link.linkLost = 1;
    engine.engineTick();
    engine.handleDatagram(Bytes(60, 0));
    EXPECT_EQ(engine.state().keys.sessionKeyReady, 0);
    engine.handleDatagram(Bytes{0xFF, 0x02});
    engine.handleDatagram(Bytes{0xFF, 0x10, 0x00, 0xA0, 0x04, 0x00, 0x10, 0x27});
    EXPECT_EQ(ports.calls.back(), "openVoiceChannel");
}

}  // namespace
}  // namespace vorpel::testing
