#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>

#include "openssl_reference.h"
#include "security/traffic_cipher.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using test::fromHex;
using test::toHex;

constexpr size_t RTP_HEADER = 12;

void makeReady(KeyMaterial& keys, uint8_t seed) {
    for (size_t i = 0; i < keys.sessionKey.size(); ++i) keys.sessionKey[i] = static_cast<uint8_t>(seed + i);
    keys.keyPairHeld = 1;
    keys.sessionKeyReady = 1;
}

std::array<uint8_t, 128> voicePacket(size_t frames) {
    std::array<uint8_t, 128> packet{};
    packet[0] = 0x80;
    for (size_t i = 0; i < 10 * frames; ++i) packet[RTP_HEADER + i] = static_cast<uint8_t>(i * 7 + 1);
    return packet;
}

// Keying takes the session key only while a pair is held and the key is
// ready; otherwise the contexts stay as they were.
TEST(TrafficCiphers, KeyedOnlyWithAReadySessionKeyAndThenReproduceFips197C3) {
    TrafficCiphers ciphers;
    KeyMaterial keys;
    makeReady(keys, 0);  // key 00 01 .. 1f
    keys.sessionKeyReady = 0;
    ciphers.keyTrafficCiphers(keys);
    EXPECT_FALSE(ciphers.keyed());

    keys.sessionKeyReady = 1;
    ciphers.keyTrafficCiphers(keys);
    ASSERT_TRUE(ciphers.keyed());
    makeReady(keys, 100);  // a later key, but no pair held at the next voice channel
    keys.keyPairHeld = 0;
    ciphers.keyTrafficCiphers(keys);
    auto block = fromHex("00112233445566778899aabbccddeeff");
    ciphers.encryptBlock(std::span<uint8_t, 16>(block.data(), 16));
    EXPECT_EQ(toHex(block), "8ea2b7ca516745bfeafc49904b496089");
    ciphers.decryptBlock(std::span<uint8_t, 16>(block.data(), 16));
    EXPECT_EQ(toHex(block), "00112233445566778899aabbccddeeff");
    EXPECT_FALSE(ciphers.setKey(std::vector<uint8_t>(20, 1)));
}

TEST(VoiceEnvelope, TenFramesArePaddedToSevenBlocksAndComeBack) {
    TrafficCiphers ciphers;
    KeyMaterial keys;
    makeReady(keys, 9);
    ciphers.keyTrafficCiphers(keys);
    const auto original = voicePacket(10);
    auto packet = original;
    ASSERT_EQ(encryptVoicePayload(ciphers, packet, RTP_HEADER, 100), RTP_HEADER + 112);
    EXPECT_EQ(packet[0], 0xA0);
    EXPECT_TRUE(std::equal(packet.begin() + 1, packet.begin() + RTP_HEADER, original.begin() + 1));

    // The ciphertext is what independent AES-256 makes of payload and padding.
    std::vector<uint8_t> plain(original.begin() + RTP_HEADER, original.begin() + RTP_HEADER + 100);
    plain.resize(111, 0);
    plain.push_back(12);
    EXPECT_EQ(std::vector<uint8_t>(packet.begin() + RTP_HEADER, packet.begin() + RTP_HEADER + 112),
              reference::aesEncrypt(keys.sessionKey, plain));

    ASSERT_TRUE(
        decryptVoicePayload(ciphers, std::span<uint8_t>(packet.data(), RTP_HEADER + 112), RTP_HEADER));
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), packet.begin() + RTP_HEADER));
}

TEST(VoiceEnvelope, SizesOfEightAndTwentyFrames) {
    TrafficCiphers ciphers;
    ASSERT_TRUE(ciphers.setKey(std::vector<uint8_t>(32, 0x42)));
    auto eight = voicePacket(8);
    EXPECT_EQ(encryptVoicePayload(ciphers, eight, RTP_HEADER, 80), RTP_HEADER + 80);
    EXPECT_EQ(eight[0], 0x80);
    EXPECT_EQ(eight[RTP_HEADER + 80], 0);  // nothing appended

    std::array<uint8_t, RTP_HEADER + 208> twenty{};
    twenty[0] = 0x80;
    EXPECT_EQ(encryptVoicePayload(ciphers, twenty, RTP_HEADER, 200), RTP_HEADER + 208);
    EXPECT_EQ(twenty[0], 0xA0);
    // One byte short of room for the padding: refused, untouched.
    std::array<uint8_t, RTP_HEADER + 207> tooSmall{};
    EXPECT_EQ(encryptVoicePayload(ciphers, tooSmall, RTP_HEADER, 200), 0u);
    EXPECT_EQ(tooSmall[0], 0);
    EXPECT_EQ(encryptVoicePayload(ciphers, tooSmall, 300, 0), 0u);
}

TEST(VoiceEnvelope, PayloadsOfPartialBlocksAreDroppedOnReceipt) {
    TrafficCiphers ciphers;
    ASSERT_TRUE(ciphers.setKey(std::vector<uint8_t>(32, 5)));
    std::array<uint8_t, RTP_HEADER + 113> datagram{};
    datagram[RTP_HEADER] = 0x77;
    EXPECT_FALSE(decryptVoicePayload(ciphers, datagram, RTP_HEADER));
    EXPECT_EQ(datagram[RTP_HEADER], 0x77);
    EXPECT_FALSE(decryptVoicePayload(ciphers, datagram, datagram.size() + 1));
    EXPECT_TRUE(
        decryptVoicePayload(ciphers, std::span<uint8_t>(datagram).first(RTP_HEADER + 112), RTP_HEADER));
}

// Nothing has keyed the contexts since start-up: voice is dropped both ways,
// never sent in the clear or decrypted with an empty schedule.
TEST(VoiceEnvelope, UnkeyedContextsDropPacketsInBothDirections) {
    const TrafficCiphers ciphers;
    auto packet = voicePacket(10);
    const auto original = packet;
    EXPECT_EQ(encryptVoicePayload(ciphers, packet, RTP_HEADER, 100), 0u);
    EXPECT_EQ(packet, original);
    EXPECT_FALSE(
        decryptVoicePayload(ciphers, std::span<uint8_t>(packet).first(RTP_HEADER + 112), RTP_HEADER));
    EXPECT_EQ(packet, original);
}

// Keying on one thread while the audio thread encrypts and decrypts: every
// run of blocks comes out under one of the two keys, never under a
// half-written schedule.
TEST(TrafficCiphers, RekeyingWhileAnotherThreadEncryptsNeverMixesSchedules) {
    TrafficCiphers ciphers;
    const std::vector<uint8_t> keyA(32, 0xA5);
    const std::vector<uint8_t> keyB(32, 0x5A);
    ASSERT_TRUE(ciphers.setKey(keyA));
    std::vector<uint8_t> plain(64);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i);
    const auto underA = reference::aesEncrypt(keyA, plain);
    const auto underB = reference::aesEncrypt(keyB, plain);
    const auto backUnderA = reference::aesDecrypt(keyA, plain);
    const auto backUnderB = reference::aesDecrypt(keyB, plain);

    std::atomic<bool> stop{false};
    std::atomic<int> mismatches{0};
    std::atomic<int> rounds{0};
    std::thread audio([&] {
        while (!stop.load() || rounds.load() < 200) {
            auto data = plain;
            ciphers.encryptBlocks(data);
            if (data != underA && data != underB) mismatches.fetch_add(1);
            data = plain;
            ciphers.decryptBlocks(data);
            if (data != backUnderA && data != backUnderB) mismatches.fetch_add(1);
            rounds.fetch_add(1);
        }
    });
    for (int i = 0; i < 2000; ++i) ASSERT_TRUE(ciphers.setKey(i % 2 ? keyA : keyB));
    stop = true;
    audio.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace vorpel
