// The terminal's own signalling engine, key agreement and voice ciphers
// against the call server, in-process and in virtual time. The two sides
// share no cryptographic code (the server uses OpenSSL), so a call whose
// voice each terminal decrypts correctly shows that the credential proof, the
// Diffie-Hellman exchange, the key derivation and AES agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "call_server.h"
#include "media/rtp_voice_packet.h"
#include "security/key_agreement.h"
#include "security/traffic_cipher.h"
#include "seeded_draw.h"
#include "server_harness.h"
#include "settings/settings_record.h"
#include "signalling/engine.h"
#include "test_bytes.h"

namespace vorpel::callserver::test {
namespace {

class EnginePhone final : public EnginePorts {
public:
    EnginePhone(Endpoint signalling, Endpoint voice, const FakeAccount& account)
        : signallingEndpoint(signalling),
          voiceEndpoint(voice),
          draw(voice.port),
          keyAgreement(draw),
          engine(*this, keyAgreement) {
        engine.initEngine();
        SettingsRecord record;
        record.setText(ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_SIZE,
                       SERVER_ADDRESS_USED, "127.0.0.1");
        const uint8_t address[4] = {127, 0, 0, 1};
        std::copy(address, address + 4,
                  record.bytes.begin() + ACCOUNT_BLOCK_OFFSET + CFG_NUMERIC_SERVER_ADDRESS_OFFSET);
        record.setText(ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET, ACCOUNT_ID_SIZE, ACCOUNT_ID_USED,
                       account.accountId);
        record.setText(ACCOUNT_BLOCK_OFFSET + CFG_AUTH_ID_OFFSET, AUTH_ID_SIZE, AUTH_ID_USED, account.authId);
        record.setText(ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET, PASSWORD_SIZE, PASSWORD_USED,
                       account.password);
        record.copyTo(engine.state().config);
        engine.engineTick();         // the settings pass
        engine.startRegistration();  // the signalling socket's first send notification
    }

    size_t sendSignalling(std::span<const uint8_t> frame) override {
        outbox.emplace_back(frame.begin(), frame.end());
        return frame.size();
    }
    void resetMedia(uint32_t) override {}
    void startMelody(uint8_t, std::span<const uint8_t, MELODY_NOTE_COUNT>) override { ++melodies; }
    void openVoiceChannel(uint16_t port, uint32_t address) override {
        voicePort = port;
        voiceAddress = address;
    }
    void closeVoiceSocket() override { voicePort.reset(); }
    void keyTrafficCiphers(const KeyMaterial& keys) override { ciphers.keyTrafficCiphers(keys); }
    void raisePhoneWindow() override {}
    bool serverAddressKnown() const override { return true; }

    std::string line(unsigned n) const {
        const auto text = engine.lineText(n);
        std::string s(text.begin(), text.end());
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }
    bool encrypting() { return trafficEncryptionInForce(engine.state().keys); }

    // A packet of ten frames as the terminal's transmit path builds it.
    std::vector<uint8_t> voicePacket(uint16_t sequence, uint32_t timestamp,
                                     const std::vector<uint8_t>& frames) {
        std::vector<uint8_t> packet = vorpel::test::voiceDatagram(sequence, timestamp, frames);
        for (size_t i = 12; i < packet.size(); i += 10) packet[i] ^= 0x5A;
        packet.resize(256);
        size_t length = 12 + frames.size();
        if (encrypting()) length = encryptVoicePayload(ciphers, packet, 12, frames.size());
        packet.resize(length);
        return packet;
    }
    // The frames of a received packet, as the terminal's receive path finds them.
    std::vector<uint8_t> openVoice(std::vector<uint8_t> packet) {
        if (packet.size() >= 128) return {};
        if (encrypting() && !decryptVoicePayload(ciphers, packet, 12)) return {};
        size_t length = packet.size() - 12;
        if (packet[0] & 0x20) length -= packet.back();
        std::vector<uint8_t> frames(packet.begin() + 12,
                                    packet.begin() + 12 + static_cast<long>(length / 10 * 10));
        for (size_t i = 0; i < frames.size(); i += 10) frames[i] ^= 0x5A;
        return frames;
    }

    Endpoint signallingEndpoint;
    Endpoint voiceEndpoint;
    vorpel::testing::SeededDraw draw;
    KeyAgreement keyAgreement;
    SignallingEngine engine;
    TrafficCiphers ciphers;
    std::vector<std::vector<uint8_t>> outbox;
    std::optional<uint16_t> voicePort;
    uint32_t voiceAddress = 0;
    int melodies = 0;
};

class TerminalEngineTest : public ::testing::Test {
protected:
    // Lets virtual time pass: engine ticks every 100 ms, server ticks every
    // 50 ms, datagrams delivered at once.
    void run(int64_t ms) {
        for (int64_t passed = 0; passed < ms; passed += 50) {
            now += 50;
            server.tick(now);
            if (passed % 100 == 0) {
                for (EnginePhone* p : phones) p->engine.engineTick();
            }
            deliver();
        }
    }
    void deliver() {
        for (int round = 0; round < 100; ++round) {
            bool moved = false;
            for (EnginePhone* p : phones) {
                for (auto& frame : std::exchange(p->outbox, {})) {
                    moved = true;
                    if (!dropToServer || !dropToServer(frame))
                        server.handleSignalling(frame, p->signallingEndpoint, now);
                }
            }
            for (auto& d : std::exchange(ports.sent, {})) {
                moved = true;
                if (d.channel != SIGNALLING_CHANNEL) {
                    voice.push_back(std::move(d));
                    continue;
                }
                for (EnginePhone* p : phones) {
                    if (p->signallingEndpoint == d.to) p->engine.handleDatagram(d.bytes);
                }
            }
            if (!moved) return;
        }
    }
    void press(EnginePhone& p, const std::string& digits) {
        for (char d : digits) p.engine.queueKey(digitKey(d));
        deliver();
    }
    void sendVoice(EnginePhone& p, const std::vector<uint8_t>& packet) {
        server.handleVoice(*p.voicePort - ServerHarness::RELAY_BASE, packet, p.voiceEndpoint, now);
        deliver();
    }
    std::vector<std::vector<uint8_t>> voiceTo(const EnginePhone& p) {
        std::vector<std::vector<uint8_t>> mine;
        std::vector<SentDatagram> rest;
        for (auto& d : voice) {
            if (d.to == p.voiceEndpoint)
                mine.push_back(std::move(d.bytes));
            else
                rest.push_back(std::move(d));
        }
        voice = std::move(rest);
        return mine;
    }

    RecordingPorts ports;
    CallServer server{testAccounts(), ServerHarness::defaultConfig(), ports};
    int64_t now = 1'000'000;
    std::vector<EnginePhone*> phones;
    std::vector<SentDatagram> voice;
    std::function<bool(const std::vector<uint8_t>&)> dropToServer;  // true: lost on the way
};

std::vector<uint8_t> someFrames(uint8_t seed) {
    std::vector<uint8_t> frames(100);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<uint8_t>(seed * 31 + i * 3);
    return frames;
}

TEST_F(TerminalEngineTest, TwoTerminalsCallEachOtherAndHearEachOther) {
    EnginePhone a(at(40000), at(40001), alice());
    EnginePhone b(at(40002), at(40003), bob());
    phones = {&a, &b};
    run(500);
    ASSERT_EQ(a.engine.state().regState, RegState::Connected);
    ASSERT_EQ(b.engine.state().regState, RegState::Connected);
    EXPECT_TRUE(a.encrypting());
    EXPECT_EQ(a.line(0), "Extension 201");
    EXPECT_EQ(a.line(1), "22:13 UTC");
    EXPECT_EQ(a.engine.state().indicators[9], 3);

    press(a, "202");
    run(200);
    EXPECT_EQ(a.line(1), "Calling 202");
    EXPECT_EQ(b.line(1), "Call from 201");
    EXPECT_EQ(b.engine.audioMode(), AudioMode::Melody);
    EXPECT_EQ(b.engine.state().indicators[24], 1);
    b.engine.hookKey();
    run(300);
    ASSERT_EQ(a.engine.audioMode(), AudioMode::Voice);
    ASSERT_TRUE(a.voicePort && b.voicePort);
    EXPECT_EQ(a.line(1), "Connected 202");
    EXPECT_EQ(a.voiceAddress, 0x7F000001u);

    // Both talk; each hears the other through the relay's two keys.
    std::vector<uint8_t> heardByA, heardByB;
    for (uint16_t i = 0; i < 3; ++i) {
        sendVoice(a, a.voicePacket(i, i * 800u, someFrames(1)));
        sendVoice(b, b.voicePacket(i, i * 800u, someFrames(2)));
    }
    const auto toA = voiceTo(a), toB = voiceTo(b);
    ASSERT_FALSE(toA.empty());
    ASSERT_FALSE(toB.empty());
    EXPECT_EQ(a.openVoice(toA.back()), someFrames(2));
    EXPECT_EQ(b.openVoice(toB.back()), someFrames(1));
    EXPECT_EQ(toA.back().size(), 124u);

    // The link stays up through sync checks and keep-alives.
    run(30'000);
    EXPECT_EQ(server.phaseOf("201"), CallPhase::Talking);
    EXPECT_GE(server.counters().syncAnswered, 10u);
    EXPECT_EQ(server.counters().terminalsDropped, 0u);
    EXPECT_EQ(a.engine.state().link.linkLost, 0);

    a.engine.hookKey();
    run(300);
    EXPECT_EQ(b.engine.audioMode(), AudioMode::Idle);
    EXPECT_FALSE(b.voicePort);
    EXPECT_EQ(b.line(6), "Call ended");
    EXPECT_EQ(server.phaseOf("202"), CallPhase::Idle);
}

// A week of virtual time with a call every hour crosses every wrap: the link
// numbers, the sync counter (past 65535 after about four days of checks
// every 5 s), and the voice of a terminal whose RTP numbers start just short
// of 65535 and 2^32. Nothing registers again, every digit arrives once (the
// call reaches 202), and every call's voice arrives whole both ways.
TEST_F(TerminalEngineTest, AWeekOfHourlyCallsCrossesEveryWrap) {
    EnginePhone a(at(40000), at(40001), alice());
    EnginePhone b(at(40002), at(40003), bob());
    phones = {&a, &b};
    run(500);
    uint16_t sequence = 65'400;
    uint32_t timestamp = 0u - 200u * 800u;
    constexpr int64_t HOUR = 3'600'000;
    for (int hour = 0; hour < 7 * 24; ++hour) {
        const int64_t start = now;
        press(a, "202");
        run(200);
        ASSERT_EQ(b.line(1), "Call from 201") << "hour " << hour;
        b.engine.hookKey();
        run(300);
        ASSERT_TRUE(a.voicePort && b.voicePort) << "hour " << hour;
        for (int k = 0; k < 3; ++k, ++sequence, timestamp += 800) {
            sendVoice(b, b.voicePacket(sequence, timestamp, someFrames(2)));
            sendVoice(a, a.voicePacket(sequence, timestamp, someFrames(1)));
        }
        const auto toA = voiceTo(a), toB = voiceTo(b);
        ASSERT_EQ(toB.size(), 3u) << "hour " << hour;  // b spoke first: a's voice has somewhere to go
        for (const auto& packet : toB) ASSERT_EQ(b.openVoice(packet), someFrames(1)) << "hour " << hour;
        for (const auto& packet : toA) ASSERT_EQ(a.openVoice(packet), someFrames(2)) << "hour " << hour;
        a.engine.hookKey();
        run(HOUR - (now - start));
    }
    EXPECT_EQ(server.counters().registrations, 2u);
    EXPECT_EQ(server.counters().terminalsDropped, 0u);
    EXPECT_GT(server.counters().syncAnswered, 2u * 65'536u);
    EXPECT_EQ(server.phaseOf("201"), CallPhase::Idle);
    EXPECT_EQ(a.engine.state().regState, RegState::Connected);
}

TEST_F(TerminalEngineTest, WrongPasswordIsRefusedOnTheTerminalsDisplay) {
    EnginePhone a(at(40000), at(40001), {"alice", "alice-auth", "not-the-pass"});
    phones = {&a};
    run(300);
    EXPECT_EQ(a.engine.state().regState, RegState::Registering);
    EXPECT_EQ(a.line(6), "Velmarch refused connctn!");
    EXPECT_EQ(a.line(7), "Wrong credentials");
}

// The terminal answers each sync check once and sends nothing again unless
// asked: when its answer is lost as its last frame, the server must fetch it
// (and take it late) rather than check again and again and then drop a
// healthy terminal.
TEST_F(TerminalEngineTest, LostSyncAnswerIsFetchedAndTheTerminalStays) {
    EnginePhone a(at(40000), at(40001), alice());
    phones = {&a};
    run(500);
    ASSERT_EQ(a.engine.state().regState, RegState::Connected);
    int answers = 0;
    dropToServer = [&](const std::vector<uint8_t>& frame) {
        const std::array<uint8_t, 2> syncReply{0x10, 0x03};
        const bool carriesReply =
            frame.size() > 5 && frame[3] == 0x10 &&
            std::search(frame.begin() + 5, frame.end(), syncReply.begin(), syncReply.end()) != frame.end();
        return carriesReply && answers++ < 2;  // the next two answers are lost
    };
    run(40000);
    EXPECT_GE(answers, 6);
    EXPECT_EQ(server.counters().terminalsDropped, 0u);
    EXPECT_EQ(server.phaseOf("201"), CallPhase::Idle);
    EXPECT_EQ(a.engine.state().regState, RegState::Connected);
    EXPECT_EQ(server.counters().registrations, 1u);
    EXPECT_GE(server.counters().syncAnswered, 6u);
}

// A key whose frame is lost is fetched by the link's probe within seconds,
// not when the terminal's next frame (a keep-alive, 10 s later) shows the gap.
TEST_F(TerminalEngineTest, LostLastFrameIsFetchedSoon) {
    EnginePhone a(at(40000), at(40001), alice());
    phones = {&a};
    run(500);
    ASSERT_EQ(a.engine.state().regState, RegState::Connected);
    bool lost = false;
    dropToServer = [&](const std::vector<uint8_t>&) { return !std::exchange(lost, true); };
    press(a, "5");
    EXPECT_TRUE(lost);
    EXPECT_EQ(a.line(6), "");
    run(3000);  // before the first sync check (5 s after the link came up)
    EXPECT_EQ(a.line(6), "Dial 5");
}

// The same for the terminal's first data frame (the announce), which the
// server waits for before it shows the idle screen.
TEST_F(TerminalEngineTest, LostAnnounceIsFetchedSoon) {
    EnginePhone a(at(40000), at(40001), alice());
    phones = {&a};
    dropToServer = [](const std::vector<uint8_t>& frame) {
        return frame.size() > 5 && frame[3] == 0x10 && frame[5] == 0x50;
    };
    run(500);
    ASSERT_EQ(a.engine.state().regState, RegState::Connected);
    EXPECT_EQ(a.line(0), "");
    dropToServer = nullptr;
    run(3000);
    EXPECT_EQ(a.line(0), "Extension 201");
}

// A server that has lost its state (restarted, or the terminal's address
// changed) gets data frames from a terminal it does not know; it drives the
// terminal to give the link up at once and register again.
TEST_F(TerminalEngineTest, TerminalTheServerDoesNotKnowRegistersAgainSoon) {
    EnginePhone a(at(40000), at(40001), alice());
    phones = {&a};
    run(500);
    ASSERT_EQ(a.engine.state().regState, RegState::Connected);
    a.signallingEndpoint = at(40010);  // from now on a stranger to the server
    run(11000);                        // the terminal's keep-alive comes within 10 s
    EXPECT_GE(server.counters().strangersNudged, 7u);
    EXPECT_EQ(a.engine.state().regState, RegState::Registering);
    run(12000);  // it registers again after its restart time
    EXPECT_EQ(a.engine.state().regState, RegState::Connected);
    EXPECT_EQ(server.counters().registrations, 2u);
    EXPECT_EQ(a.line(0), "Extension 201");
    EXPECT_EQ(server.phaseOf("201"), CallPhase::Idle);
}

}  // namespace
}  // namespace vorpel::callserver::test
