// After construction the engine allocates nothing: registration, the link,
// server commands, keys and thousands of ticks run on fixed records.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "allocation_counter.h"
#include "key_agreement_fake.h"
#include "signalling/engine.h"

namespace vorpel {
namespace {

// Ports that only count, so that the fakes themselves allocate nothing.
class CountingPorts : public EnginePorts {
public:
    size_t frames = 0;
    size_t bytes = 0;
    size_t other = 0;
    size_t sendSignalling(std::span<const uint8_t> frame) override {
        ++frames;
        bytes += frame.size();
        return frame.size();
    }
    void resetMedia(uint32_t) override { ++other; }
    void startMelody(uint8_t, std::span<const uint8_t, MELODY_NOTE_COUNT>) override { ++other; }
    void openVoiceChannel(uint16_t, uint32_t) override { ++other; }
    void closeVoiceSocket() override { ++other; }
    void keyTrafficCiphers(const KeyMaterial&) override { ++other; }
    void raisePhoneWindow() override { ++other; }
    bool serverAddressKnown() const override { return true; }
};

template <size_t N>
void deliver(SignallingEngine& engine, const std::array<uint8_t, N>& datagram) {
    engine.handleDatagram(datagram);
}

TEST(SignallingEngine, AllocatesNothingAfterConstruction) {
    CountingPorts ports;
    test::FakeKeyAgreement keyAgreement;
    SignallingEngine engine(ports, keyAgreement);
    std::mt19937 random(7);
    std::array<uint8_t, 300> noise{};
    std::array<uint8_t, 113> reply{};
    reply[1] = 0x34;
    reply[2] = 0x12;
    reply.back() = 1;
    std::array<uint8_t, 3 + 53 + 35 + 9 + 4 + 4 + 3> commands{};

    const size_t before = test::allocationCount();
    engine.initEngine();
    auto& config = engine.state().config.bytes;
    config[CFG_NUMERIC_SERVER_ADDRESS_OFFSET] = 10;
    config[CFG_SERVER_ADDRESS_OFFSET] = 'h';
    config[CFG_ACCOUNT_ID_OFFSET] = 'a';
    for (size_t i = 0; i < PASSWORD_USED; ++i) config[CFG_PASSWORD_OFFSET + i] = 'p';
    uint8_t serverSeq = 0;
    for (int cycle = 0; cycle < 3; ++cycle) {
        engine.engineTick();
        engine.startRegistration();
        deliver(engine, std::array<uint8_t, 6>{0x80, 'n', 'o', 0, 0, 0});
        deliver(engine, reply);
        engine.engineTick();
        deliver(engine, std::array<uint8_t, 2>{0xFF, 0x02});
        serverSeq = 0;
        for (int t = 0; t < 1500; ++t) {
            engine.engineTick();
            if (t % 7 == 0) engine.queueKey(static_cast<uint16_t>(t));
            if (t % 11 == 0) engine.hookKey();
            if (t % 5 == 0) {
                // One frame of every kind of command, numbered in sequence.
                size_t p = 0;
                const auto put = [&](std::initializer_list<uint8_t> bytes) {
                    for (uint8_t b : bytes) commands[p++] = b;
                };
                put({0xFF, 0x10, static_cast<uint8_t>(serverSeq | 0x10)});
                put({0x40, 52, static_cast<uint8_t>(t % 4)});
                p += 50;
                put({0x50, 34, 0x20});
                p += 32;
                put({0xA0, 8, 0, 0x10, 0x27, 4, 3, 2, 1});
                put({0x10, 3, static_cast<uint8_t>(engine.state().link.syncExpected),
                     static_cast<uint8_t>(engine.state().link.syncExpected >> 8)});
                put({0x20, 3, 1, 2});
                put({0x90, 2, static_cast<uint8_t>(t % 5)});
                engine.handleDatagram(commands);
                serverSeq = static_cast<uint8_t>((serverSeq + 1) & 7);
                const uint8_t ack[3] = {0xFF, 0x03, static_cast<uint8_t>(engine.state().link.sendSeq << 4)};
                engine.handleDatagram(ack);
            }
            if (t % 13 == 0) {
                const size_t length = random() % noise.size();
                for (size_t i = 0; i < length; ++i) noise[i] = static_cast<uint8_t>(random());
                noise[0] = 0xFF;
                engine.handleDatagram(std::span<const uint8_t>(noise).first(length));
            }
        }
        engine.state().link.linkLost = 1;
        engine.engineTick();
        engine.sendLogoff();
        engine.initEngine();
        for (size_t i = 0; i < PASSWORD_USED; ++i) config[CFG_PASSWORD_OFFSET + i] = 'p';
        config[CFG_NUMERIC_SERVER_ADDRESS_OFFSET] = 10;
        config[CFG_SERVER_ADDRESS_OFFSET] = 'h';
        config[CFG_ACCOUNT_ID_OFFSET] = 'a';
    }
    EXPECT_EQ(test::allocationCount() - before, 0u);
    // The run did real work: frames went out and commands reached the ports.
    EXPECT_GT(ports.frames, 1000u);
    EXPECT_GT(ports.other, 1000u);
    EXPECT_GT(engine.state().engineTicks, 4500u);
}

}  // namespace
}  // namespace vorpel
