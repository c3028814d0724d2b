// Thousands of malformed, truncated, mutated and random datagrams: none is
// fatal, each is ignored and counted, and the server still connects a call
// afterwards. Run under AddressSanitizer and UndefinedBehaviorSanitizer.
#include <gtest/gtest.h>

#include <random>

#include "server_harness.h"
#include "test_bytes.h"

namespace vorpel::callserver::test {
namespace {

using vorpel::test::randomBytes;

// A datagram that begins like a real frame and then goes wrong.
std::vector<uint8_t> mutated(std::mt19937& rng, const std::vector<uint8_t>& good) {
    std::vector<uint8_t> bytes = good;
    switch (rng() % 4) {
    case 0:
        bytes.resize(rng() % (bytes.size() + 1));
        break;
    case 1:
        for (int i = 0; i < 3 && !bytes.empty(); ++i)
            bytes[rng() % bytes.size()] ^= static_cast<uint8_t>(1 << (rng() % 8));
        break;
    case 2: {
        const auto tail = randomBytes(rng, rng() % 300);
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        break;
    }
    default:
        if (!bytes.empty()) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
        break;
    }
    return bytes;
}

TEST(Robustness, SurvivesMalformedSignallingAndVoice) {
    ServerHarness h;
    FakeTerminal& a = h.connect(alice(), 40000);
    FakeTerminal& b = h.connect(bob(), 40002);
    a.dial("202");
    h.pump();
    b.hook();
    h.pump();
    ASSERT_EQ(h.server.phaseOf("201"), CallPhase::Talking);
    h.sendVoice(b, b.voicePacket(0, 0, std::vector<uint8_t>(100, 1)));

    std::mt19937 rng(12345);
    const uint16_t idA = a.terminalId();
    const std::vector<std::vector<uint8_t>> shapes{
        {0x00, 0x10, 0x01},
        {0x01, static_cast<uint8_t>(idA), static_cast<uint8_t>(idA >> 8)},
        {0xFF, static_cast<uint8_t>(idA), static_cast<uint8_t>(idA >> 8), 0x01},
        {0xFF, static_cast<uint8_t>(idA), static_cast<uint8_t>(idA >> 8), 0x03, 0x10},
        {0xFF, static_cast<uint8_t>(idA), static_cast<uint8_t>(idA >> 8), 0x10, 0x00, 0x60, 0x03, 0xFB, 0xF7},
        {0xFF, static_cast<uint8_t>(idA), static_cast<uint8_t>(idA >> 8), 0x10, 0x00, 0x30, 0x03, 0x00},
    };
    const auto voice = a.voicePacket(1, 800, std::vector<uint8_t>(100, 2));
    const Endpoint strangers[] = {at(50000), a.signalling(), b.signalling()};
    const uint64_t malformedBefore = h.server.counters().malformed + h.server.counters().unknownSource;
    for (int i = 0; i < 20000; ++i) {
        std::vector<uint8_t> datagram;
        switch (rng() % 3) {
        case 0:
            datagram = randomBytes(rng, rng() % 300);
            break;
        case 1:
            datagram = mutated(rng, shapes[rng() % shapes.size()]);
            break;
        default: {
            std::vector<uint8_t> body = randomBytes(rng, rng() % 40);
            datagram = {0xFF, static_cast<uint8_t>(idA), static_cast<uint8_t>(idA >> 8), 0x10,
                        static_cast<uint8_t>(rng() & 0x77)};
            datagram.insert(datagram.end(), body.begin(), body.end());
        }
        }
        // Registration requests from strangers may not take a's place.
        if (!datagram.empty() && datagram[0] == 0x00 && datagram.size() != 41 && datagram.size() != 137) {
            h.server.handleSignalling(datagram, strangers[rng() % 3], h.now);
        } else {
            h.server.handleSignalling(datagram, strangers[rng() % 2 + 1], h.now);
        }
        h.server.handleVoice(rng() % (h.server.slotCount() + 2), mutated(rng, voice), a.voice(), h.now);
        if (i % 500 == 0) h.server.tick(h.now += 50);
    }
    EXPECT_GT(h.server.counters().malformed + h.server.counters().unknownSource, malformedBefore + 5000);
    EXPECT_GT(h.server.counters().voiceDropped + h.server.counters().voiceForeign, 5000u);
    h.ports.sent.clear();

    // The server still works: a fresh pair registers and completes a call.
    ServerHarness& fresh = h;
    FakeTerminal& c = fresh.connect(carol(), 41000);
    FakeTerminal& a2 = fresh.connect(alice(), 41002);
    ASSERT_TRUE(c.connected());
    ASSERT_TRUE(a2.connected());
    c.dial("201");
    fresh.pump();
    EXPECT_EQ(a2.line(1), "Call from 203");
    a2.hook();
    fresh.pump();
    EXPECT_EQ(fresh.server.phaseOf("203"), CallPhase::Talking);
}

TEST(Robustness, ElementsThatRunPastTheFrameAreNotRead) {
    ServerHarness h;
    FakeTerminal& a = h.connect(alice(), 40000);
    const uint8_t lo = static_cast<uint8_t>(a.terminalId()), hi = static_cast<uint8_t>(a.terminalId() >> 8);
    const uint64_t before = h.server.counters().malformed;
    // In sequence after the announce (0) and the echo reply (1): a key event whose length byte claims more
    // than the frame holds, then a call-state report cut short, then an unknown element.
    h.server.handleSignalling(std::vector<uint8_t>{0xFF, lo, hi, 0x10, 0x02, 0x60, 0x09, 0xFB},
                              a.signalling(), h.now);
    h.server.handleSignalling(std::vector<uint8_t>{0xFF, lo, hi, 0x10, 0x03, 0x30, 0x03}, a.signalling(),
                              h.now);
    h.server.handleSignalling(std::vector<uint8_t>{0xFF, lo, hi, 0x10, 0x04, 0x70, 0x03, 0, 0},
                              a.signalling(), h.now);
    EXPECT_EQ(h.server.counters().malformed, before + 3);
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Idle);
}

}  // namespace
}  // namespace vorpel::callserver::test
