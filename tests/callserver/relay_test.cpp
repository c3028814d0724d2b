// The voice relay: each leg decrypted with its own terminal's key and
// re-encrypted with the other's, its own numbering per outgoing leg, long
// packets split, the echo extension, and packets from elsewhere refused.

#include <gtest/gtest.h>

#include "allocation_counter.h"
#include "server_harness.h"

namespace vorpel::callserver::test {
namespace {

std::vector<uint8_t> frames(size_t count, uint8_t seed) {
    std::vector<uint8_t> bytes(count * 10);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

class RelayTest : public ::testing::Test {
protected:
    void call(bool aKeyed, bool bKeyed) {
        a = &h.connect(alice(), 40000, aKeyed);
        b = &h.connect(bob(), 40002, bKeyed);
        a->dial("202");
        h.pump();
        b->hook();
        h.pump();
        ASSERT_EQ(h.server.phaseOf("201"), CallPhase::Talking);
    }
    // Sends n packets of ten frames from one terminal.
    void talk(FakeTerminal& from, int n, uint32_t firstTimestamp = 0) {
        for (int i = 0; i < n; ++i) {
            h.sendVoice(from,
                        from.voicePacket(static_cast<uint16_t>(i),
                                         firstTimestamp + 800 * static_cast<uint32_t>(i), frames(10, 1)));
        }
    }
    ServerHarness h;
    FakeTerminal* a = nullptr;
    FakeTerminal* b = nullptr;
};

TEST_F(RelayTest, ReencryptsBetweenTheTwoLegsKeys) {
    call(true, true);
    ASSERT_NE(a->sessionKey(), b->sessionKey());
    // b's voice address is unknown until b sends: a's first packet has nowhere to go.
    const auto sent = a->voicePacket(0, 0, frames(10, 3));
    h.sendVoice(*a, sent);
    EXPECT_TRUE(h.takeVoiceTo(*b).empty());
    EXPECT_EQ(h.server.counters().voiceDropped, 1u);

    h.sendVoice(*b, b->voicePacket(0, 0, frames(10, 5)));
    auto toA = h.takeVoiceTo(*a);
    ASSERT_EQ(toA.size(), 1u);
    EXPECT_EQ(toA[0].channel, relayChannel(0));  // from a's own relay port
    std::vector<uint8_t> heard;
    uint32_t timestamp = 0;
    ASSERT_TRUE(a->openVoice(toA[0].bytes, heard, timestamp));
    EXPECT_EQ(heard, frames(10, 5));
    EXPECT_EQ(toA[0].bytes.size(), 124u);
    EXPECT_EQ(toA[0].bytes[0], 0xA0);

    h.sendVoice(*a, sent);
    auto toB = h.takeVoiceTo(*b);
    ASSERT_EQ(toB.size(), 1u);
    EXPECT_EQ(toB[0].channel, relayChannel(1));
    ASSERT_TRUE(b->openVoice(toB[0].bytes, heard, timestamp));
    EXPECT_EQ(heard, frames(10, 3));
    // Not a copy: the payload was re-encrypted.
    EXPECT_FALSE(std::equal(sent.begin() + 12, sent.end(), toB[0].bytes.begin() + 12));
    // And a's key alone does not open what b gets.
    if (a->openVoice(toB[0].bytes, heard, timestamp)) {
        EXPECT_NE(heard, frames(10, 3));
    }
}

TEST_F(RelayTest, ClearLegAndEncryptedLegMeet) {
    call(true, false);
    h.sendVoice(*b, b->voicePacket(0, 0, frames(10, 9)));
    h.sendVoice(*a, a->voicePacket(0, 0, frames(10, 4)));
    auto toB = h.takeVoiceTo(*b);
    ASSERT_EQ(toB.size(), 1u);
    EXPECT_EQ(toB[0].bytes.size(), 112u);  // in the clear, no padding
    EXPECT_EQ(toB[0].bytes[0], 0x80);
    std::vector<uint8_t> heard;
    uint32_t timestamp = 0;
    ASSERT_TRUE(b->openVoice(toB[0].bytes, heard, timestamp));
    EXPECT_EQ(heard, frames(10, 4));
}

TEST_F(RelayTest, EachOutgoingLegHasItsOwnNumbering) {
    call(true, true);
    h.sendVoice(*b, b->voicePacket(0, 0, frames(10, 1)));
    h.takeVoiceTo(*a);
    // a's stream starts at a large timestamp; b hears it from 0 on, 800 apart,
    // with a gap kept where a skipped a packet (muted).
    for (uint32_t ts : {500000u, 500800u, 502400u}) h.sendVoice(*a, a->voicePacket(7, ts, frames(10, 2)));
    auto toB = h.takeVoiceTo(*b);
    ASSERT_EQ(toB.size(), 3u);
    const auto ts = [](const SentDatagram& d) {
        return static_cast<uint32_t>(d.bytes[4] << 24 | d.bytes[5] << 16 | d.bytes[6] << 8 | d.bytes[7]);
    };
    const auto seq = [](const SentDatagram& d) { return d.bytes[2] << 8 | d.bytes[3]; };
    EXPECT_EQ(ts(toB[0]), 0u);
    EXPECT_EQ(ts(toB[1]), 800u);
    EXPECT_EQ(ts(toB[2]), 2400u);
    EXPECT_EQ(seq(toB[0]), 0);
    EXPECT_EQ(seq(toB[2]), 2);
    // A new source (the terminal reset its media) continues the stream.
    auto packet = a->voicePacket(0, 0, frames(10, 2));
    packet[11] ^= 0xFF;  // another SSRC
    h.sendVoice(*a, packet);
    toB = h.takeVoiceTo(*b);
    ASSERT_EQ(toB.size(), 1u);
    EXPECT_EQ(ts(toB[0]), 3200u);
    // The SSRCs of the two outgoing legs differ.
    h.sendVoice(*b, b->voicePacket(1, 800, frames(10, 1)));
    auto toA = h.takeVoiceTo(*a);
    ASSERT_EQ(toA.size(), 1u);
    EXPECT_NE(std::vector<uint8_t>(toA[0].bytes.begin() + 8, toA[0].bytes.begin() + 12),
              std::vector<uint8_t>(toB[0].bytes.begin() + 8, toB[0].bytes.begin() + 12));
}

TEST_F(RelayTest, TwentyFramePacketsAreSplitToWhatTerminalsPlay) {
    call(true, true);
    h.sendVoice(*b, b->voicePacket(0, 0, frames(10, 1)));
    const auto twenty = frames(20, 6);
    const auto big = a->voicePacket(0, 1600, twenty);
    ASSERT_EQ(big.size(), 220u);
    h.sendVoice(*a, big);
    auto toB = h.takeVoiceTo(*b);
    ASSERT_EQ(toB.size(), 2u);
    std::vector<uint8_t> heard, all;
    uint32_t t0 = 0, t1 = 0;
    ASSERT_TRUE(b->openVoice(toB[0].bytes, heard, t0));
    all = heard;
    ASSERT_TRUE(b->openVoice(toB[1].bytes, heard, t1));
    all.insert(all.end(), heard.begin(), heard.end());
    EXPECT_EQ(all, twenty);
    EXPECT_EQ(t1 - t0, 800u);
    EXPECT_LT(toB[1].bytes.size(), 128u);
}

TEST_F(RelayTest, EchoExtensionPlaysTheCallersVoiceBack) {
    a = &h.connect(alice(), 40000);
    a->dial("9");
    h.pump();
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Talking);
    EXPECT_EQ(a->line(1), "Echo test");
    ASSERT_TRUE(a->voicePort());
    EXPECT_EQ(a->audioMode(), 3);
    for (int i = 0; i < 3; ++i) {
        h.sendVoice(*a, a->voicePacket(static_cast<uint16_t>(i), 800 * static_cast<uint32_t>(i),
                                       frames(10, static_cast<uint8_t>(i))));
    }
    auto back = h.takeVoiceTo(*a);
    ASSERT_EQ(back.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> heard;
        uint32_t timestamp = 0;
        ASSERT_TRUE(a->openVoice(back[static_cast<size_t>(i)].bytes, heard, timestamp));
        EXPECT_EQ(heard, frames(10, static_cast<uint8_t>(i)));
        EXPECT_EQ(timestamp, 800u * static_cast<uint32_t>(i));
    }
    a->hook();
    h.pump();
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Idle);
    h.server.handleVoice(0, a->voicePacket(9, 0, frames(10, 1)), a->voice(), h.now);
    EXPECT_TRUE(h.takeVoiceTo(*a).empty());
}

TEST_F(RelayTest, RefusesPacketsFromElsewhereAndUndecodablePayloads) {
    call(true, true);
    talk(*b, 1);
    talk(*a, 1);
    h.takeVoiceTo(*a);
    h.takeVoiceTo(*b);
    const uint64_t foreign = h.server.counters().voiceForeign;
    const auto packet = a->voicePacket(1, 800, frames(10, 1));
    h.server.handleVoice(0, packet, {0x7F000002, a->voice().port}, h.now);  // another host
    h.server.handleVoice(0, packet, {a->voice().address, 5}, h.now);        // another port
    h.server.handleVoice(1, packet, a->voice(), h.now);                     // b's port
    EXPECT_EQ(h.server.counters().voiceForeign, foreign + 3);
    const uint64_t dropped = h.server.counters().voiceDropped;
    auto cut = packet;
    cut.pop_back();  // not whole blocks
    h.server.handleVoice(0, cut, a->voice(), h.now);
    h.server.handleVoice(0, a->voicePacket(1, 800, frames(8, 1)), a->voice(), h.now);  // 80 bytes: fine
    h.pump();
    EXPECT_EQ(h.takeVoiceTo(*b).size(), 1u);
    auto pt18 = packet;
    pt18[1] = 18;
    h.server.handleVoice(0, pt18, a->voice(), h.now);
    EXPECT_EQ(h.server.counters().voiceDropped, dropped + 2);
    EXPECT_TRUE(h.takeVoiceTo(*b).empty());
}

TEST_F(RelayTest, RelayPathAllocatesNothing) {
    call(true, true);
    talk(*b, 1);
    talk(*a, 1);
    const auto packet = a->voicePacket(1, 800, frames(20, 1));
    h.ports.sent.reserve(1000);
    const size_t before = vorpel::test::allocationCount();
    for (int i = 0; i < 100; ++i) h.server.handleVoice(0, packet, a->voice(), h.now);
    EXPECT_EQ(vorpel::test::allocationCount() - before, 200u);  // only the recording of 200 sent packets
}

}  // namespace
}  // namespace vorpel::callserver::test
