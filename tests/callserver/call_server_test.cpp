// The call server against the terminal's own signalling engine, key
// agreement and voice ciphers, in-process and in virtual time. The two sides
// share no cryptographic code (the server uses OpenSSL), so a call whose
// voice each terminal decrypts shows that the credential proof, the
// Diffie-Hellman exchange, the key derivation and AES agree. Times are the
// ones docs/protocol.md states.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>

#include "allocation_counter.h"
#include "call_server.h"
#include "media/rtp_voice_packet.h"
#include "phone/phone_keys.h"
#include "security/key_agreement.h"
#include "security/traffic_cipher.h"
#include "seeded_draw.h"
#include "settings/settings_record.h"
#include "signalling/engine.h"
#include "test_bytes.h"

namespace vorpel::callserver {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint16_t RELAY_BASE = 19880;
constexpr uint16_t KEY_ESC = buttonInfo(PhoneButton::Esc).keyCode;
constexpr uint16_t KEY_OK = buttonInfo(PhoneButton::Ok).keyCode;

struct SentDatagram {
    size_t channel;
    Endpoint to;
    Bytes bytes;
};

Endpoint at(uint16_t port) { return {0x7F000001, port}; }

Bytes someFrames(size_t count, uint8_t seed) {
    Bytes frames(count * 10);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<uint8_t>(seed * 31 + i * 3);
    return frames;
}

// A terminal: the real engine with its settings for an account of the server.
class Phone final : public EnginePorts {
public:
    Phone(uint16_t port, const std::string& account, const std::string& password)
        : signalling(at(port)),
          voice(at(static_cast<uint16_t>(port + 1))),
          draw(port),
          keys(draw),
          engine(*this, keys) {
        const auto set = [&](size_t offset, size_t size, size_t used, const std::string& text) {
            record.setText(ACCOUNT_BLOCK_OFFSET + offset, size, used, text);
        };
        set(CFG_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_SIZE, SERVER_ADDRESS_USED, "127.0.0.1");
        const uint8_t address[4] = {127, 0, 0, 1};
        std::copy(address, address + 4,
                  record.bytes.begin() + ACCOUNT_BLOCK_OFFSET + CFG_NUMERIC_SERVER_ADDRESS_OFFSET);
        set(CFG_ACCOUNT_ID_OFFSET, ACCOUNT_ID_SIZE, ACCOUNT_ID_USED, account);
        set(CFG_AUTH_ID_OFFSET, AUTH_ID_SIZE, AUTH_ID_USED, account + "-auth");
        set(CFG_PASSWORD_OFFSET, PASSWORD_SIZE, PASSWORD_USED, password);
        start();
    }
    // As the shell starts (and restarts) the engine.
    void start() {
        engine.initEngine();
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
        voicePort = port, voiceAddress = address;
    }
    void closeVoiceSocket() override { voicePort.reset(); }
    void keyTrafficCiphers(const KeyMaterial& material) override { ciphers.keyTrafficCiphers(material); }
    void raisePhoneWindow() override {}
    bool serverAddressKnown() const override { return true; }

    std::string line(unsigned n) const {
        const auto text = engine.lineText(n);
        std::string s(text.begin(), text.end());
        return s.erase(s.find_last_not_of(' ') + 1);
    }
    bool encrypting() { return trafficEncryptionInForce(engine.state().keys); }
    // A packet of `frames` as the terminal's transmit path builds it.
    Bytes voicePacket(uint16_t sequence, uint32_t timestamp, const Bytes& frames) {
        Bytes packet = vorpel::test::voiceDatagram(sequence, timestamp, frames);
        for (size_t i = 12; i < packet.size(); i += 10) packet[i] ^= 0x5A;
        packet.resize(256);
        packet.resize(encrypting() ? encryptVoicePayload(ciphers, packet, 12, frames.size())
                                   : 12 + frames.size());
        return packet;
    }
    // The frames of a received packet, as the terminal's receive path finds them.
    Bytes openVoice(Bytes packet) {
        if (packet.size() >= 128 || (encrypting() && !decryptVoicePayload(ciphers, packet, 12))) return {};
        const size_t length = packet.size() - 12 - ((packet[0] & 0x20) ? packet.back() : 0);
        Bytes frames(packet.begin() + 12, packet.begin() + 12 + static_cast<long>(length / 10 * 10));
        for (size_t i = 0; i < frames.size(); i += 10) frames[i] ^= 0x5A;
        return frames;
    }

    Endpoint signalling, voice;
    SettingsRecord record;
    vorpel::testing::SeededDraw draw;
    KeyAgreement keys;
    SignallingEngine engine;
    TrafficCiphers ciphers;
    std::vector<Bytes> outbox;
    std::optional<uint16_t> voicePort;
    uint32_t voiceAddress = 0;
    int melodies = 0;
    bool off = false;  // the program has ended: no ticks, nothing received
};

class CallServerTest : public ::testing::Test, public CallServerPorts {
protected:
    CallServerTest() { restart(8); }
    void send(size_t channel, const Endpoint& to, std::span<const uint8_t> bytes) override {
        sent.push_back({channel, to, {bytes.begin(), bytes.end()}});
    }
    std::time_t wallClock() override { return 1'700'000'000; }  // 22:13 UTC
    void trace(std::string_view line) override { traces.emplace_back(line); }

    void restart(size_t maxTerminals, bool trace = false) {
        std::string error;
        auto accounts = AccountTable::parse(
            "# extension account auth password\n201 alice alice-auth secret-pass-12\n"
            "202 bob bob-auth bobs-password\n203 carol carol-auth carols-secret\n"
            "2041 dave dave-auth daves-secret1\n",
            error);
        CallServerConfig config;
        config.relayAddress = 0x7F000001;
        config.relayBasePort = RELAY_BASE;
        config.maxTerminals = maxTerminals;
        config.echoExtension = "9";
        config.trace = trace;
        server = std::make_unique<CallServer>(*accounts, config, *this);
    }
    Phone& phone(const std::string& account, const std::string& password) {
        auto& p = *phones.emplace_back(
            std::make_unique<Phone>(static_cast<uint16_t>(40000 + 2 * phones.size()), account, password));
        run(500);
        return p;
    }
    Phone& alice() { return phone("alice", "secret-pass-12"); }
    Phone& bob() { return phone("bob", "bobs-password"); }
    Phone& carol() { return phone("carol", "carols-secret"); }

    // Lets virtual time pass: engine ticks every 100 ms, server ticks every
    // 50 ms, datagrams delivered at once.
    void run(int64_t ms) {
        for (int64_t passed = 0; passed < ms; passed += 50) {
            now += 50;
            server->tick(now);
            if (passed % 100 == 0)
                for (auto& p : phones)
                    if (!p->off) p->engine.engineTick();
            deliver();
        }
    }
    void deliver() {
        for (bool moved = true; moved;) {
            moved = false;
            for (auto& p : phones) {
                for (auto& frame : std::exchange(p->outbox, {})) {
                    moved = true;
                    if (toServer && !toServer(*p, frame)) continue;
                    server->handleSignalling(frame, p->signalling, now);
                }
            }
            for (auto& d : std::exchange(sent, {})) {
                moved = true;
                if (d.channel != SIGNALLING_CHANNEL) voice.push_back(d);
                if (d.channel == SIGNALLING_CHANNEL && toPhones.size() < 100) toPhones.push_back(d);
                for (auto& p : phones)
                    if (d.channel == SIGNALLING_CHANNEL && p->signalling == d.to && !p->off)
                        p->engine.handleDatagram(d.bytes);
            }
        }
    }
    void press(Phone& p, const std::string& keys) {
        for (char k : keys)
            p.engine.queueKey(k == '#' ? POUND_KEY_CODE : DIGIT_KEY_CODES[static_cast<size_t>(k - '0')]);
        deliver();
    }
    void key(Phone& p, uint16_t code) {
        p.engine.queueKey(code);
        deliver();
    }
    void hook(Phone& p) {
        p.engine.hookKey();
        run(100);
    }
    void sendVoice(Phone& p, const Bytes& packet) {
        server->handleVoice(*p.voicePort - RELAY_BASE, packet, p.voice, now);
        deliver();
    }
    std::vector<Bytes> voiceTo(const Phone& p) {
        std::vector<Bytes> mine;
        std::erase_if(voice, [&](SentDatagram& d) {
            if (d.to == p.voice) mine.push_back(std::move(d.bytes));
            return d.to == p.voice;
        });
        return mine;
    }
    // Alice calls Bob and Bob answers.
    std::pair<Phone*, Phone*> talking() {
        Phone& a = alice();
        Phone& b = bob();
        press(a, "202");
        hook(b);
        EXPECT_EQ(server->phaseOf("201"), CallPhase::Talking);
        return {&a, &b};
    }

    std::unique_ptr<CallServer> server;
    int64_t now = 1'000'000;
    std::vector<std::unique_ptr<Phone>> phones;
    std::vector<SentDatagram> sent, voice, toPhones;  // toPhones: the first signalling datagrams
    std::vector<std::string> traces;
    std::function<bool(Phone&, Bytes&)> toServer;  // false: lost on the way
};

TEST_F(CallServerTest, TwoTerminalsCallEachOtherAndHearEachOther) {
    Phone& a = alice();
    Phone& b = bob();
    ASSERT_EQ(a.engine.state().regState, RegState::Connected);
    EXPECT_TRUE(a.encrypting());
    EXPECT_EQ(a.line(0), "Extension 201");
    EXPECT_EQ(a.line(1), "22:13 UTC");
    EXPECT_EQ(a.engine.state().indicators[9], 3);
    press(a, "20");
    EXPECT_EQ(a.line(6), "Dial 20");
    press(a, "2");
    run(200);
    EXPECT_EQ(a.line(1), "Calling 202");
    EXPECT_EQ(a.line(6), "Ringing");
    EXPECT_EQ(b.line(1), "Call from 201");
    EXPECT_EQ(b.line(6), "Hook key to answer");
    EXPECT_EQ(b.engine.audioMode(), AudioMode::Melody);
    EXPECT_EQ(a.melodies, 1);  // the ringback
    EXPECT_EQ(b.engine.state().indicators[24], 1);
    hook(b);
    ASSERT_EQ(a.engine.audioMode(), AudioMode::Voice);
    ASSERT_TRUE(a.voicePort && b.voicePort);
    EXPECT_EQ(a.line(1), "Connected 202");
    EXPECT_EQ(a.voiceAddress, 0x7F000001u);

    // Both talk through the relay's two keys; a packet of twenty frames
    // arrives as two that a terminal plays, each leg numbered on its own.
    for (uint16_t i = 0; i < 2; ++i) {
        sendVoice(b, b.voicePacket(i, i * 800u, someFrames(10, 2)));
        sendVoice(a, a.voicePacket(i, 500000u + i * 800u, someFrames(10, 1)));
    }
    sendVoice(a, a.voicePacket(9, 499200u, someFrames(10, 5)));  // late: the mapping stays
    sendVoice(a, a.voicePacket(2, 502400u, someFrames(20, 3)));
    const auto toA = voiceTo(a), toB = voiceTo(b);
    ASSERT_GE(toB.size(), 4u);
    ASSERT_EQ(toA.size(), 1u);  // b's first went before a had sent: nowhere to go
    EXPECT_EQ(b.openVoice(toB[0]), someFrames(10, 1));
    EXPECT_EQ(a.openVoice(toA[0]), someFrames(10, 2));
    Bytes both = b.openVoice(toB.end()[-2]), second = b.openVoice(toB.back());
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(both, someFrames(20, 3));
    const auto timestamp = [](const Bytes& p) {
        return uint32_t(p[4] << 24 | p[5] << 16 | p[6] << 8 | p[7]);
    };
    EXPECT_EQ(timestamp(toB[0]), 0u);
    EXPECT_EQ(timestamp(toB.end()[-2]), 2400u);  // a's gap is kept
    EXPECT_EQ(timestamp(toB.back()), 3200u);
    EXPECT_NE(Bytes(toA[0].begin() + 8, toA[0].begin() + 12), Bytes(toB[0].begin() + 8, toB[0].begin() + 12));

    // A packet from elsewhere, or one that does not decrypt, goes nowhere.
    const auto packet = a.voicePacket(3, 503200u, someFrames(10, 1));
    server->handleVoice(0, packet, at(5), now);
    server->handleVoice(1, packet, a.voice, now);
    auto cut = packet;
    cut.pop_back();
    server->handleVoice(0, cut, a.voice, now);
    deliver();
    EXPECT_TRUE(voiceTo(b).empty());
    EXPECT_EQ(server->counters().voiceForeign, 2u);
    sent.reserve(sent.size() + 100);
    const size_t before = vorpel::test::allocationCount();
    for (int i = 0; i < 100; ++i) server->handleVoice(0, packet, a.voice, now);
    EXPECT_EQ(vorpel::test::allocationCount() - before, 100u);  // only the recording of 100 sent packets

    // The link stays up through sync checks (every 5 s) and keep-alives.
    run(30'000);
    EXPECT_EQ(server->phaseOf("201"), CallPhase::Talking);
    EXPECT_GE(server->counters().syncAnswered, 10u);
    EXPECT_EQ(server->counters().terminalsDropped, 0u);
    hook(a);
    EXPECT_EQ(b.engine.audioMode(), AudioMode::Idle);
    EXPECT_FALSE(b.voicePort);
    EXPECT_EQ(b.line(6), "Call ended");
    EXPECT_EQ(a.line(6), "Call ended");
    EXPECT_EQ(server->phaseOf("202"), CallPhase::Idle);
}

// A week of virtual time with a call every hour crosses every wrap: the link
// numbers, the sync counter (past 65535 after about four days of checks
// every 5 s), and the voice of a terminal whose RTP numbers start just short
// of 65535 and 2^32. Nothing registers again, every digit arrives once (the
// call reaches 202), and every call's voice arrives whole both ways.
TEST_F(CallServerTest, AWeekOfHourlyCallsCrossesEveryWrap) {
    Phone& a = alice();
    Phone& b = bob();
    uint16_t sequence = 65'400;
    uint32_t timestamp = 0u - 200u * 800u;
    constexpr int64_t HOUR = 3'600'000;
    for (int hour = 0; hour < 7 * 24; ++hour) {
        const int64_t start = now;
        press(a, "202");
        run(200);
        ASSERT_EQ(b.line(1), "Call from 201") << "hour " << hour;
        hook(b);
        run(200);
        ASSERT_TRUE(a.voicePort && b.voicePort) << "hour " << hour;
        for (int k = 0; k < 3; ++k, ++sequence, timestamp += 800) {
            sendVoice(b, b.voicePacket(sequence, timestamp, someFrames(10, 2)));
            sendVoice(a, a.voicePacket(sequence, timestamp, someFrames(10, 1)));
        }
        const auto toA = voiceTo(a), toB = voiceTo(b);
        ASSERT_EQ(toB.size(), 3u) << "hour " << hour;  // b spoke first: a's voice has somewhere to go
        for (const auto& packet : toB) ASSERT_EQ(b.openVoice(packet), someFrames(10, 1)) << "hour " << hour;
        for (const auto& packet : toA) ASSERT_EQ(a.openVoice(packet), someFrames(10, 2)) << "hour " << hour;
        a.engine.hookKey();
        run(HOUR - (now - start));
    }
    EXPECT_EQ(server->counters().registrations, 2u);
    EXPECT_EQ(server->counters().terminalsDropped, 0u);
    EXPECT_GT(server->counters().syncAnswered, 2u * 65'536u);
    EXPECT_EQ(server->phaseOf("201"), CallPhase::Idle);
    EXPECT_EQ(a.engine.state().regState, RegState::Connected);
}

// How a call ends: what each side sees, and both idle (or gone) afterwards.
TEST_F(CallServerTest, CallsEndByCancelRejectTimeoutHangUpLogoffOrReRegistration) {
    const struct {
        const char* name;
        bool answered;
        std::function<void(Phone& a, Phone& b)> end;
        const char* callerSees;
        const char* calleeSees;
    } cases[] = {
        {"caller cancels", false, [&](Phone& a, Phone&) { key(a, KEY_ESC); }, "Call cancelled",
         "Missed call"},
        {"callee rejects", false, [&](Phone&, Phone& b) { key(b, KEY_ESC); }, "Busy", "Call rejected"},
        {"no answer in 45 s", false, [&](Phone&, Phone&) { run(45'200); }, "No answer", "Missed call"},
        {"callee hangs up", true, [&](Phone&, Phone& b) { hook(b); }, "Call ended", "Call ended"},
        {"callee logs off", true,
         [&](Phone&, Phone& b) {
             b.engine.sendLogoff();
             b.off = true;
         },
         "Call ended", ""},
        {"caller registers again", true, [&](Phone& a, Phone&) { a.start(); }, "", "Call ended"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        phones.clear();
        restart(8);
        Phone& a = alice();
        Phone& b = bob();
        press(a, "202");
        if (c.answered) hook(b);
        ASSERT_EQ(server->phaseOf("202"), c.answered ? CallPhase::Talking : CallPhase::Ringing);
        c.end(a, b);
        run(500);
        if (*c.callerSees) {
            EXPECT_EQ(a.line(6), c.callerSees);
        }
        if (*c.calleeSees) {
            EXPECT_EQ(b.line(6), c.calleeSees);
        }
        if (!b.off) {
            EXPECT_EQ(b.engine.audioMode(), AudioMode::Idle);
        }
        EXPECT_NE(server->phaseOf("201"), CallPhase::Talking);
        EXPECT_NE(server->phaseOf("202"), CallPhase::Ringing);
    }
}

TEST_F(CallServerTest, NumbersThatPlaceNoCall) {
    auto [a, b] = talking();
    Phone& c = carol();
    const std::pair<const char*, const char*> cases[] = {
        {"201", "Busy 201"},
        {"555#", "Unknown number 555"},
        {"2041", "Not available 2041"},
        {"203", "Busy 203"},
        {"204", "Dial 204"},  // a prefix of 2041: waits for more
        {"#", "Unknown number 204"}};
    for (auto [dialled, shown] : cases) {
        press(c, dialled);
        EXPECT_EQ(c.line(6), shown) << dialled;
    }
    EXPECT_EQ(server->phaseOf("201"), CallPhase::Talking);
    // Dialling off hook places the call without a ringback; OK dials too.
    key(c, KEY_ESC);
    hook(*a);
    hook(c);
    EXPECT_EQ(c.line(6), "Dial number");
    press(c, "20");
    key(c, KEY_OK);
    EXPECT_EQ(c.line(6), "Unknown number 20");
}

TEST_F(CallServerTest, RegistrationIsRefusedForWrongCredentialsAndWhenFull) {
    restart(1, /*trace=*/true);
    toServer = [](Phone&, Bytes& frame) {
        if (frame.size() == 137) frame[2] = 0x02;  // a wrong constant byte: ignored
        return true;
    };
    EXPECT_EQ(phone("alice", "secret-pass-12").engine.state().regState, RegState::Registering);
    toServer = nullptr;
    phones.clear();
    EXPECT_EQ(phone("alice", "not-the-pass").line(7), "Wrong credentials");
    EXPECT_EQ(phone("nobody", "some-password").line(6), "Velmarch refused connctn!");
    EXPECT_EQ(alice().engine.state().regState, RegState::Connected);
    EXPECT_EQ(bob().engine.state().regState, RegState::Registering);  // one terminal at most
    EXPECT_EQ(server->counters().refusals, 3u);
    Bytes refusal{0x80};
    for (char c : std::string_view("Wrong credentials")) refusal.push_back(static_cast<uint8_t>(c));
    refusal.push_back(0);  // zero-ended when shorter than 25
    EXPECT_EQ(toPhones[0].bytes, refusal);
    std::string all;
    for (const auto& line : traces) all += line + "\n";
    EXPECT_NE(all.find("registration request account 'alice' counter 1 with public value"),
              std::string::npos);
    EXPECT_NE(all.find("row 0 'Extension 201' '22:13 UTC'"), std::string::npos) << all;
}

// Three sync checks unanswered for 5 s each drop a terminal: 15 s after the
// first answer that does not come.
TEST_F(CallServerTest, ATerminalThatStopsAnsweringSyncChecksIsDroppedAfterFifteenSeconds) {
    auto [a, b] = talking();
    int64_t firstMissed = 0;
    toServer = [&](Phone& p, Bytes& frame) {
        const Bytes reply{0x10, 0x03};
        auto at = std::search(frame.begin() + std::min<size_t>(frame.size(), 5), frame.end(), reply.begin(),
                              reply.end());
        if (&p == b && at != frame.end() && frame.end() - at >= 4) {
            at[2] ^= 0x55;  // a wrong value answers nothing
            if (firstMissed == 0) firstMissed = now;
        }
        return true;
    };
    while (server->counters().terminalsDropped == 0 && now < 1'100'000) run(50);
    ASSERT_NE(firstMissed, 0);
    EXPECT_GE(now - firstMissed, 14'000);
    EXPECT_LE(now - firstMissed, 16'000);
    EXPECT_EQ(server->phaseOf("202"), CallPhase::Offline);
    EXPECT_EQ(a->line(6), "Call ended");
}

// A lost last frame (a key, a sync answer, the announce) is fetched within
// seconds by the server's ack frame after 2 s of quiet, not at the
// terminal's next report 10 s later.
TEST_F(CallServerTest, LostLastFramesAreFetchedSoon) {
    int lose = 0;
    toServer = [&](Phone&, Bytes& frame) {
        const bool announce = frame.size() > 5 && frame[3] == 0x10 && frame[5] == 0x50;
        return !(announce || (lose > 0 && lose--));
    };
    Phone& a = alice();
    ASSERT_EQ(a.engine.state().regState, RegState::Connected);
    EXPECT_EQ(a.line(0), "");
    toServer = [&](Phone&, Bytes&) { return !(lose > 0 && lose--); };
    run(3000);
    EXPECT_EQ(a.line(0), "Extension 201");
    lose = 1;
    press(a, "5");
    EXPECT_EQ(a.line(6), "");
    run(3000);
    EXPECT_EQ(a.line(6), "Dial 5");
    int answersLost = 2;  // and the next two sync answers
    toServer = [&](Phone&, Bytes& frame) {
        const Bytes reply{0x10, 0x03};
        return !(std::search(frame.begin(), frame.end(), reply.begin(), reply.end()) != frame.end() &&
                 answersLost-- > 0);
    };
    run(40'000);
    EXPECT_LT(answersLost, 0);
    EXPECT_EQ(server->counters().terminalsDropped, 0u);
    EXPECT_EQ(server->counters().registrations, 1u);
}

}  // namespace
}  // namespace vorpel::callserver
