#include <gtest/gtest.h>

#include "engine_fakes.h"
#include "server_crypto.h"

namespace vorpel::testing {
namespace {

class Registration : public ::testing::Test, public EngineHarness {};

// The request as the call server reads it: class, 23 bytes of account id, a
// zero, the counter low byte first, the credential proof over account id,
// counter, auth id and password, the numeric server address and the held
// public value (0xAB from the fake; none in a short request).
Bytes expectedRequest(const ConfigSnapshot& config, uint16_t counter, bool withPublicValue) {
    const uint8_t* c = config.bytes.data();
    const auto proof =
        callserver::credentialProof(std::span<const uint8_t, 23>(c + CFG_ACCOUNT_ID_OFFSET, 23), counter,
                                    std::span<const uint8_t, 23>(c + CFG_AUTH_ID_OFFSET, 23),
                                    std::span<const uint8_t, 15>(c + CFG_PASSWORD_OFFSET, 15));
    Bytes frame{0x00, 0x10, 0x01};
    frame.insert(frame.end(), c + CFG_ACCOUNT_ID_OFFSET, c + CFG_ACCOUNT_ID_OFFSET + 23);
    frame.insert(frame.end(), {0x00, static_cast<uint8_t>(counter), static_cast<uint8_t>(counter >> 8)});
    frame.insert(frame.end(), proof.begin(), proof.end());
    frame.insert(frame.end(), c + CFG_NUMERIC_SERVER_ADDRESS_OFFSET,
                 c + CFG_NUMERIC_SERVER_ADDRESS_OFFSET + 4);
    if (withPublicValue) frame.resize(frame.size() + PUBLIC_VALUE_SIZE, 0xAB);
    return frame;
}

// A silent server is asked again every 150 ticks; the first request goes 15
// ticks after validation unless the socket's first notification starts it.
TEST_F(Registration, RequestsLeaveByteExactAndTheCounterWraps) {
    start();
    const std::string_view auth = "auth-4711",
                           account = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";  // bytes 24 on are not sent
    std::copy(auth.begin(), auth.end(), state().config.bytes.begin() + CFG_AUTH_ID_OFFSET);
    std::copy(account.begin(), account.end(), state().config.bytes.begin() + CFG_ACCOUNT_ID_OFFSET);
    tick();
    engine.startRegistration();
    ASSERT_EQ(ports.frames.size(), 1u);
    EXPECT_EQ(ports.frames[0], expectedRequest(state().config, 1, true));
    state().registrationCounter = 0xFFFF;
    tick(149);
    EXPECT_EQ(ports.frames.size(), 1u);
    tick();
    ASSERT_EQ(ports.frames.size(), 2u);
    EXPECT_EQ(ports.frames[1], expectedRequest(state().config, 0, true));

    keyAgreement.dryPool = true;  // no key pair to be had: the short request
    start();
    tick(15);
    EXPECT_EQ(ports.frames.size(), 2u);
    tick();
    ASSERT_EQ(ports.frames.size(), 3u);
    EXPECT_EQ(ports.frames[2], expectedRequest(state().config, 1, false));
}

// initEngine leaves every record as in a freshly initialised engine, except
// the tick count (never reset) and the display version (which only grows, so
// the window repaints); a field nobody resets shows up here.
TEST_F(Registration, InitGivesTheFreshStateAndRestartsKeysAndMedia) {
    connectQuiet();
    deliver(dataFrame(0, 1, {{0x10, 0x03, 0x00, 0x00}, {0x90, 0x02, 0x02}, {0x80, 0x03, 0x05, 0x02}}));
    engine.queueKey(0x35);
    audio().setAudioMode(AudioMode::Voice);
    state().retryCount = 3;
    const uint32_t ticks = state().engineTicks, version = state().displayVersion;
    const int resets = keyAgreement.resets;
    ports.clear();
    engine.initEngine();

    EngineHarness fresh;
    fresh.engine.initEngine();
    EXPECT_GT(state().displayVersion, version);
    fresh.state().engineTicks = ticks;
    fresh.state().displayVersion = state().displayVersion;
    EXPECT_TRUE(state() == fresh.state());
    EXPECT_FALSE(audio().audioControl != 0 || audio().muted() || audio().trafficEncryptionInForce());
    EXPECT_EQ(ports.mediaResets, std::vector<uint32_t>{ticks});
    EXPECT_EQ(keyAgreement.resets, resets + 1);
    EXPECT_TRUE(ports.frames.empty());
}

// The settings pass shows only the first failing check; a password needs
// all of its first twelve bytes. Ticks count in every state.
TEST_F(Registration, SettingsAreCheckedInOrderAndTheFirstFaultIsShown) {
    const struct {
        std::string_view server, account, password;
        RegState state;
        const char* row6;
        const char* row7;
    } cases[] = {
        {"10.0.0.1", "4711", "twelve-chars", RegState::Registering, "", ""},
        {"", "", "", RegState::SettingsInvalid, "Velmarch IP address", "invalid!"},
        {"h", "", "", RegState::SettingsInvalid, "Velmarch Account", "invalid!"},
        {"10.0.0.1", "4711", "elevenchars", RegState::SettingsInvalid, "Velmarch Password", "too short!"},
        {"10.0.0.1", "4711", std::string_view("eleven-char\0xyz", 15), RegState::SettingsInvalid,
         "Velmarch Password", "too short!"},
    };
    uint32_t ticks = 0;
    for (const auto& c : cases) {
        start(c.server, c.account, c.password);
        tick(2);
        ticks += 2;
        EXPECT_EQ(state().regState, c.state) << c.password;
        EXPECT_EQ(trimmedLine(6), c.row6);
        EXPECT_EQ(trimmedLine(7), c.row7);
        EXPECT_EQ(state().engineTicks, ticks);
    }
    engine.startRegistration();
    engine.sendLogoff();  // nothing to log off from
    EXPECT_TRUE(ports.frames.empty());
}

TEST_F(Registration, NormalStartRegistersSynchronizesAndConnects) {
    start();
    tick();
    engine.showMessage(1, 3);  // a settings message left on row 3 is cleared by the request
    engine.startRegistration();
    EXPECT_EQ(line(6), std::string(25, ' '));

    deliver(registrationReply(0x1234));
    EXPECT_EQ(state().regState, RegState::Synchronizing);
    EXPECT_EQ(state().terminalId, 0x1234);
    EXPECT_EQ(state().keys.sessionKeyReady, 1);
    EXPECT_EQ(trimmedLine(1), "Synchronizing..");
    ASSERT_EQ(ports.frames.size(), 2u);
    EXPECT_EQ(ports.frames[1], connectRequest(0x1234));

    engine.showText("server text", 2);
    deliver({0xFF, 0x02});
    EXPECT_EQ(state().regState, RegState::Connected);
    for (unsigned n = 0; n < 8; ++n) EXPECT_EQ(line(n), std::string(25, ' '));
    EXPECT_EQ(link().slots[0].count, 10u);  // the announce waits in slot 0
    EXPECT_EQ(ports.frames.size(), 2u);
}

TEST_F(Registration, SilentServerWithoutNumericAddressIsAskedOnceTheSocketKnowsItsAddress) {
    start("host.example", "4711", "secret-secret", /*numericAddress=*/false);
    tick();
    engine.startRegistration();
    tick(2150);  // no address yet: it checks every 20 ticks
    EXPECT_EQ(ports.frames.size(), 1u);
    ports.addressKnown = true;  // the socket has learnt the server's address
    tick(20 + 150);
    EXPECT_EQ(ports.frames.size(), 3u);
}

// The text ends at a zero, at the end of the datagram or of the line.
TEST_F(Registration, RefusalHoldsOffAndShowsTheServersText) {
    start();
    tick();
    engine.startRegistration();
    Bytes refusal{0x80};
    for (char c : std::string("0123456789abcdefghijklmnopqrstuvwxyzABCD"))
        refusal.push_back(static_cast<uint8_t>(c));
    deliver(refusal);
    EXPECT_EQ(state().regState, RegState::Registering);
    EXPECT_EQ(line(7), "0123456789abcdefghijklmno");
    EXPECT_EQ(line(6), "Velmarch refused connctn!");
    tick(2999);
    EXPECT_EQ(ports.frames.size(), 1u);
    tick();
    EXPECT_EQ(ports.frames.size(), 2u);
    deliver({0x80, 'a', 'b', 0x00, 'd', 'e'});
    EXPECT_EQ(trimmedLine(7), "ab");
    deliver({0x80, 'x'});
    EXPECT_EQ(line(7), "x" + std::string(24, ' '));
}

// Registration datagrams outside their state change nothing at all.
TEST_F(Registration, RegistrationDatagramsOutOfTheirStateChangeNothing) {
    const Bytes reply = registrationReply(0x5678), refusal{0x80, 'n', 'o'}, confirm{0xFF, 0x02};
    const auto unchangedBy = [&](std::initializer_list<Bytes> datagrams) {
        const TerminalState before = state();
        const int serverValues = keyAgreement.serverValues;
        ports.clear();
        for (const Bytes& d : datagrams) deliver(d);
        return state() == before && keyAgreement.serverValues == serverValues && ports.frames.empty();
    };
    start();
    EXPECT_TRUE(unchangedBy({reply, refusal, confirm})) << "Validate";
    tick();
    EXPECT_TRUE(unchangedBy({confirm})) << "Registering";
    deliver(registrationReply(0x1234));
    ASSERT_EQ(state().regState, RegState::Synchronizing);
    EXPECT_TRUE(unchangedBy({reply, refusal, {0xFF, 0x02, 0x00}})) << "Synchronizing";
    deliver(confirm);
    tick();
    EXPECT_TRUE(unchangedBy({confirm, reply, refusal})) << "Connected";
}

TEST_F(Registration, ElevenConnectRequestsThenBackToRegistering) {
    start();
    tick();
    engine.startRegistration();
    deliver(registrationReply(0x1234));
    tick(200);
    EXPECT_EQ(ports.frames.size(), 12u);  // one registration request, 11 connect requests
    EXPECT_EQ(ports.frames.back(), connectRequest(0x1234));
    tick(19);
    EXPECT_EQ(state().regState, RegState::Synchronizing);
    tick();
    EXPECT_EQ(state().regState, RegState::Registering);
    tick(99);
    EXPECT_EQ(ports.frames.size(), 12u);
    tick();
    EXPECT_EQ(ports.frames.back()[0], 0x00);  // a registration request
}

TEST_F(Registration, LostLinkReleasesAudioAndRegistersAgain) {
    connectQuiet();
    audio().setAudioMode(AudioMode::Voice);
    state().indicators[26] = 3;
    engine.showText("call in progress", 2);
    link().linkLost = 1;
    tick();
    EXPECT_EQ(state().regState, RegState::Registering);
    EXPECT_EQ(ports.calls, (std::vector<std::string>{"closeVoiceSocket", "resetMedia"}));
    EXPECT_EQ(state().indicators[26], 0);
    EXPECT_EQ(trimmedLine(1) + trimmedLine(2), "Registering..");
    tick(99);
    EXPECT_TRUE(ports.frames.empty());  // the link upkeep does not run any more: the report stays queued
    tick();
    ASSERT_EQ(ports.frames.size(), 1u);
    EXPECT_EQ(ports.frames[0][wire::REQUEST_COUNTER_OFFSET], 2);  // same registration, next counter

    // The next reply and confirm start a fresh link.
    deliver(registrationReply(0x4321));
    deliver({0xFF, 0x02});
    tick();
    EXPECT_EQ(ports.frames.back(), (Bytes{0xFF, 0x21, 0x43, 0x10, 0x00, 0x50, 0x07, 0x00, 0x11, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace vorpel::testing
