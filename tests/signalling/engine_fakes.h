// Recording fakes of the engine's ports and a harness that drives the engine
// in virtual time (one engineTick per 100 ms tick).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "key_agreement_fake.h"
#include "signalling/engine.h"

namespace vorpel::testing {

using Bytes = std::vector<uint8_t>;

// Records every call; frames in `frames`, the other calls by name in `calls`
// and, when given one, in a journal shared with the shell's fakes.
class RecordingPorts : public EnginePorts {
public:
    RecordingPorts() = default;
    explicit RecordingPorts(std::vector<std::string>& journal) : journal_(&journal) {}

    std::vector<Bytes> frames;
    std::vector<uint32_t> mediaResets;
    std::vector<std::pair<uint16_t, uint32_t>> voiceChannels;  // port, address
    std::vector<std::string> calls;
    uint8_t melodyTempo = 0;
    Bytes melodyNotes;

    size_t sendSignalling(std::span<const uint8_t> frame) override {
        frames.emplace_back(frame.begin(), frame.end());
        if (journal_ != nullptr) journal_->push_back("send");
        return frame.size();
    }
    void resetMedia(uint32_t engineTicks) override {
        mediaResets.push_back(engineTicks);
        record("resetMedia");
    }
    void startMelody(uint8_t tempo, std::span<const uint8_t, MELODY_NOTE_COUNT> notes) override {
        melodyTempo = tempo;
        melodyNotes.assign(notes.begin(), notes.end());
        record("startMelody");
    }
    void openVoiceChannel(uint16_t port, uint32_t address) override {
        voiceChannels.push_back({port, address});
        record("openVoiceChannel");
    }
    void closeVoiceSocket() override { record("closeVoiceSocket"); }
    void keyTrafficCiphers(const KeyMaterial&) override { record("keyTrafficCiphers"); }
    void raisePhoneWindow() override { record("raisePhoneWindow"); }
    bool serverAddressKnown() const override { return addressKnown; }
    bool addressKnown = false;  // what the signalling socket has learnt
    void clear() {
        frames.clear();
        mediaResets.clear();
        voiceChannels.clear();
        calls.clear();
    }

private:
    void record(const char* call) {
        calls.emplace_back(call);
        if (journal_ != nullptr) journal_->push_back(std::string("engine ") + call);
    }
    std::vector<std::string>* journal_ = nullptr;
};

using test::FakeKeyAgreement;

inline Bytes connectRequest(uint16_t id) {
    return {0xFF, static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), 0x01};
}

class EngineHarness {
public:
    static constexpr uint16_t TERMINAL_ID = 0x1234;

    RecordingPorts ports;
    FakeKeyAgreement keyAgreement;
    SignallingEngine engine{ports, keyAgreement};

    TerminalState& state() { return engine.state(); }
    LinkState& link() { return engine.state().link; }
    AudioState& audio() { return engine.audio(); }

    // initEngine, then the shell's copy of the settings into the snapshot.
    void start(std::string_view server = "10.0.0.1", std::string_view account = "4711",
               std::string_view password = "secret-secret", bool numericAddress = true) {
        engine.initEngine();
        SettingsRecord record;
        record.setText(ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_SIZE,
                       SERVER_ADDRESS_SIZE, server);
        record.setText(ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET, ACCOUNT_ID_SIZE, ACCOUNT_ID_USED,
                       account);
        record.setText(ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET, PASSWORD_SIZE, PASSWORD_USED, password);
        if (numericAddress) {
            const uint8_t address[4] = {10, 0, 0, 1};
            std::copy(std::begin(address), std::end(address),
                      record.bytes.begin() + ACCOUNT_BLOCK_OFFSET + CFG_NUMERIC_SERVER_ADDRESS_OFFSET);
        }
        record.copyTo(state().config);
    }
    void tick(unsigned count = 1) {
        for (unsigned i = 0; i < count; ++i) engine.engineTick();
    }
    void deliver(std::initializer_list<uint8_t> bytes) { deliver(Bytes(bytes)); }
    void deliver(const Bytes& bytes) { engine.handleDatagram(bytes); }

    static Bytes registrationReply(uint16_t id) {
        Bytes reply(wire::REPLY_PUBLIC_VALUE_OFFSET, 0);
        reply[1] = static_cast<uint8_t>(id);
        reply[2] = static_cast<uint8_t>(id >> 8);
        reply.resize(reply.size() + PUBLIC_VALUE_SIZE, 0x42);
        return reply;
    }

    // Start, first tick, socket writable, reply, connect confirm, then the
    // tick that sends the announce and the server's ack of it.
    void connectQuiet() {
        start();
        tick();
        engine.startRegistration();
        deliver(registrationReply(TERMINAL_ID));
        deliver({0xFF, 0x02});
        tick();
        deliver({0xFF, 0x03, 0x10});
        ASSERT_EQ(link().ackedSeq, 1);
        ports.clear();
    }

    std::string line(unsigned n) const {
        return std::string(engine.lineText(n).begin(), engine.lineText(n).end());
    }
    // A line's text without its trailing spaces.
    std::string trimmedLine(unsigned n) const {
        std::string text = line(n);
        text.erase(text.find_last_not_of(' ') + 1);
        return text;
    }

    // A server data frame: 0xFF, 0x10, sequence byte, elements.
    static Bytes dataFrame(uint8_t sequence, uint8_t expected, std::initializer_list<Bytes> elements = {}) {
        Bytes frame{0xFF, 0x10, static_cast<uint8_t>((sequence & 7) | ((expected & 7) << 4))};
        for (const Bytes& e : elements) frame.insert(frame.end(), e.begin(), e.end());
        return frame;
    }
    // The terminal's data frame with the given sequence byte and elements.
    static Bytes terminalData(uint8_t sequenceByte, std::initializer_list<Bytes> elements = {}) {
        Bytes frame{0xFF, 0x34, 0x12, 0x10, sequenceByte};
        for (const Bytes& e : elements) frame.insert(frame.end(), e.begin(), e.end());
        return frame;
    }
    static Bytes terminalAck(uint8_t ackByte) { return {0xFF, 0x34, 0x12, 0x03, ackByte}; }
};

inline Bytes displayRowElement(uint8_t row, char fill) {
    Bytes e{0x40, 52, row};
    e.resize(53, static_cast<uint8_t>(fill));
    return e;
}

inline const Bytes ANNOUNCE_ELEMENT{0x50, 0x07, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00};

}  // namespace vorpel::testing
