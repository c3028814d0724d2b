// Runs a CallServer in virtual time with fake terminals around it: every
// datagram the server sends is recorded and handed to the terminal it is
// addressed to; the terminals' frames go back to the server.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "call_server.h"
#include "fake_terminal.h"

namespace vorpel::callserver::test {

struct SentDatagram {
    size_t channel = 0;
    Endpoint to;
    std::vector<uint8_t> bytes;
};

class RecordingPorts final : public CallServerPorts {
public:
    void send(size_t channel, const Endpoint& to, std::span<const uint8_t> bytes) override {
        sent.push_back({channel, to, {bytes.begin(), bytes.end()}});
    }
    std::time_t wallClock() override { return wall; }
    void trace(std::string_view line) override { traces.emplace_back(line); }

    std::vector<SentDatagram> sent;
    std::vector<std::string> traces;
    std::time_t wall = 1'700'000'000;  // 22:13 UTC
};

inline AccountTable testAccounts() {
    std::string error;
    auto table = AccountTable::parse(
        "# extension account auth password\n"
        "201 alice alice-auth secret-pass-12\n"
        "202 bob bob-auth bobs-password\n"
        "203 carol carol-auth carols-secret\n"
        "2041 dave dave-auth daves-secret1\n",
        error);
    return *table;
}

inline FakeAccount alice() { return {"alice", "alice-auth", "secret-pass-12"}; }
inline FakeAccount bob() { return {"bob", "bob-auth", "bobs-password"}; }
inline FakeAccount carol() { return {"carol", "carol-auth", "carols-secret"}; }

inline Endpoint at(uint16_t port) { return {0x7F000001, port}; }

class ServerHarness {
public:
    static constexpr uint16_t RELAY_BASE = 19880;

    explicit ServerHarness(CallServerConfig config = defaultConfig())
        : server(testAccounts(), config, ports) {}

    static CallServerConfig defaultConfig() {
        CallServerConfig config;
        config.relayAddress = 0x7F000001;
        config.relayBasePort = RELAY_BASE;
        config.maxTerminals = 8;
        config.echoExtension = "9";
        return config;
    }

    // Hands datagrams back and forth until nothing moves. Voice packets from
    // the relay are kept in voiceOut; a filter may drop signalling datagrams
    // (return false) to simulate loss.
    void pump() {
        for (int round = 0; round < 1000; ++round) {
            bool moved = false;
            for (FakeTerminal* t : terminals) {
                for (auto& frame : t->takeOutbox()) {
                    moved = true;
                    if (!dropToServer || !dropToServer(*t, frame))
                        server.handleSignalling(frame, t->signalling(), now);
                }
            }
            std::vector<SentDatagram> sent = std::exchange(ports.sent, {});
            for (auto& d : sent) {
                moved = true;
                log.push_back(d);
                if (d.channel != SIGNALLING_CHANNEL) {
                    voiceOut.push_back(d);
                    continue;
                }
                for (FakeTerminal* t : terminals) {
                    if (t->signalling() == d.to && (!dropToTerminal || !dropToTerminal(*t, d.bytes)))
                        t->receive(d.bytes);
                }
            }
            if (!moved) return;
        }
    }

    // Lets virtual time pass in ticks of 50 ms.
    void advance(int64_t ms) {
        for (int64_t passed = 0; passed < ms; passed += 50) {
            now += 50;
            server.tick(now);
            pump();
        }
    }

    FakeTerminal& add(FakeAccount account, uint16_t port, bool withKey = true) {
        owned.push_back(std::make_unique<FakeTerminal>(at(port), at(static_cast<uint16_t>(port + 1)),
                                                       std::move(account), withKey));
        terminals.push_back(owned.back().get());
        return *owned.back();
    }

    // Registers and connects a terminal, as far as the server lets it.
    FakeTerminal& connect(FakeAccount account, uint16_t port, bool withKey = true) {
        FakeTerminal& t = add(std::move(account), port, withKey);
        t.sendRegistration();
        pump();
        return t;
    }

    // Sends one voice packet from a terminal's voice address to its relay port.
    void sendVoice(FakeTerminal& t, const std::vector<uint8_t>& packet) {
        const size_t slot = *t.voicePort() - RELAY_BASE;
        server.handleVoice(slot, packet, t.voice(), now);
        pump();
    }

    std::vector<SentDatagram> takeVoiceTo(const FakeTerminal& t) {
        std::vector<SentDatagram> mine, rest;
        for (auto& d : voiceOut) (d.to == t.voice() ? mine : rest).push_back(std::move(d));
        voiceOut = std::move(rest);
        return mine;
    }

    RecordingPorts ports;
    CallServer server;
    int64_t now = 1'000'000;
    std::vector<std::unique_ptr<FakeTerminal>> owned;
    std::vector<FakeTerminal*> terminals;
    std::vector<SentDatagram> log;
    std::vector<SentDatagram> voiceOut;
    std::function<bool(FakeTerminal&, const std::vector<uint8_t>&)> dropToServer;
    std::function<bool(FakeTerminal&, const std::vector<uint8_t>&)> dropToTerminal;
};

}  // namespace vorpel::callserver::test
