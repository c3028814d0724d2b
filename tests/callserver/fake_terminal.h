// An in-process stand-in for a terminal, for driving the call server in
// tests: it builds registration requests with a real credential proof and
// Diffie-Hellman value (through OpenSSL's big numbers, not the server's
// code), keeps the terminal's side of the link, interprets the server's
// elements into a display, lamps and an audio mode, and packs and opens
// voice packets with its own session key.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "endpoint.h"
#include "server_crypto.h"

namespace vorpel::callserver::test {

struct FakeAccount {
    std::string accountId;
    std::string authId;
    std::string password;
};

// Key codes of the terminal's keypad and buttons.
uint16_t digitKey(char digit);
inline constexpr uint16_t KEY_OK = 0xFDDF;
inline constexpr uint16_t KEY_ESC = 0xFD7F;
inline constexpr uint16_t KEY_DEL = 0xFDF7;

class FakeTerminal {
public:
    FakeTerminal(Endpoint signalling, Endpoint voice, FakeAccount account, bool withKey = true);

    // Frames the terminal sends; each goes to the outbox.
    void sendRegistration();
    void sendConnectRequest();
    void pressKey(uint16_t code);
    void dial(const std::string& digits);
    void hook();
    void sendLogoff();
    void sendCallState();
    std::vector<std::vector<uint8_t>> takeOutbox();

    // One signalling datagram from the server.
    void receive(std::span<const uint8_t> datagram);

    // Voice: packs codec frames (10 bytes each, unmasked) into a packet as
    // the terminal does (mask, padding, encryption when keyed), and opens a
    // packet from the relay back into unmasked frames.
    std::vector<uint8_t> voicePacket(uint16_t sequence, uint32_t timestamp,
                                     std::span<const uint8_t> frames) const;
    bool openVoice(std::span<const uint8_t> packet, std::vector<uint8_t>& frames, uint32_t& timestamp) const;

    // What the server made of the terminal.
    std::string line(int n) const;
    uint8_t indicator(int n) const { return indicators_[static_cast<size_t>(n)]; }
    uint8_t audioMode() const { return audioMode_; }
    bool registered() const { return registered_; }
    bool connected() const { return connected_; }
    bool hasKey() const { return hasKey_; }
    const SessionKey& sessionKey() const { return key_; }
    uint16_t terminalId() const { return terminalId_; }
    const std::string& refusal() const { return refusal_; }
    std::optional<uint16_t> voicePort() const { return voicePort_; }
    uint32_t voiceAddress() const { return voiceAddress_; }
    int melodies() const { return melodies_; }
    int releases(uint8_t command) const { return releases_[command & 7]; }
    uint16_t syncExpected() const { return syncExpected_; }
    int echoReplies() const { return echoReplies_; }
    const Endpoint& signalling() const { return signalling_; }
    const Endpoint& voice() const { return voice_; }

    // Link behaviour switches for tests.
    bool answerSyncChecks = true;
    bool acknowledge = true;

private:
    void handleData(std::span<const uint8_t> frame);
    void interpret(std::span<const uint8_t> frame, size_t pos);
    void queueElement(std::span<const uint8_t> element);
    void flush();
    void sendAck();
    void releaseAudio();
    void emit(std::vector<uint8_t> frame) { outbox_.push_back(std::move(frame)); }

    Endpoint signalling_;
    Endpoint voice_;
    FakeAccount account_;
    bool withKey_;
    DhPrivate privateKey_{};
    DhPublic publicValue_{};
    uint16_t counter_ = 0;
    bool registered_ = false;
    bool connected_ = false;
    bool hasKey_ = false;
    SessionKey key_{};
    uint16_t terminalId_ = 0;
    std::string refusal_;
    std::array<char, 200> display_{};
    std::array<uint8_t, 64> indicators_{};
    uint8_t audioMode_ = 0;
    std::optional<uint16_t> voicePort_;
    uint32_t voiceAddress_ = 0;
    int melodies_ = 0;
    std::array<int, 8> releases_{};
    uint16_t syncExpected_ = 0;
    int echoReplies_ = 0;
    uint8_t sendSeq_ = 0;
    uint8_t ackedSeq_ = 0;
    uint8_t recvSeq_ = 0;
    std::vector<uint8_t> pending_;
    std::vector<std::vector<uint8_t>> outbox_;
};

}  // namespace vorpel::callserver::test
