// The voice payload envelope of the RTP packet: padding to whole AES blocks
// and encryption on the way out, decryption on the way in, compared with
// OpenSSL's AES.
#include "media/rtp_voice_packet.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "openssl_reference.h"

namespace vorpel {
namespace {

constexpr size_t RTP_HEADER = RTP_HEADER_SIZE;

std::array<uint8_t, 128> voicePacket(size_t frames) {
    std::array<uint8_t, 128> packet{};
    packet[0] = RTP_VERSION_2;
    for (size_t i = 0; i < 10 * frames; ++i) packet[RTP_HEADER + i] = static_cast<uint8_t>(i * 7 + 1);
    return packet;
}

TEST(VoiceEnvelope, TenFramesArePaddedToSevenBlocksAndComeBack) {
    TrafficCiphers ciphers;
    std::vector<uint8_t> key(32);
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(9 + i);
    ciphers.setKey(key);
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
              reference::aesEncrypt(key, plain));

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

}  // namespace
}  // namespace vorpel
