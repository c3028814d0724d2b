#include "media/voice_transmitter.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "codec/g729a_state.h"
#include "common/byte_io.h"
#include "media/media_path.h"
#include "media_fakes.h"

namespace vorpel {
namespace {

using fakes::RecordingSender;

// Sequence number and timestamp of a packet.
std::pair<uint16_t, uint32_t> countersOf(const std::vector<uint8_t>& packet) {
    const ByteReader reader(packet);
    return {reader.u16be(RTP_SEQUENCE_OFFSET), reader.u32be(RTP_TIMESTAMP_OFFSET)};
}

class TransmitTest : public ::testing::Test {
protected:
    TransmitTest() : media(std::make_unique<MediaPath>(audio, sender)) {}

    // Transmits frameCount frames of speech-like audio under the media lock.
    void transmit(size_t frameCount) {
        auto samples = fakes::speechLike(frameCount * 80);
        const MutexLock lock(media->mediaLock());
        media->transmitBlock(samples, frameCount);
    }
    // Both ends keyed alike: the terminal's media path and the test's ciphers,
    // which stand for the peer.
    void keyBothEnds() {
        media->keyTrafficCiphers(fakes::testKey());
        fakes::keyWithTestKey(peer);
    }

    AudioState audio;
    TrafficCiphers peer;
    RecordingSender sender;
    std::unique_ptr<MediaPath> media;
};

TEST_F(TransmitTest, PacketSizesAndPaddingWithAndWithoutEncryption) {
    struct Case {
        size_t frames;
        bool encrypted;
        size_t size;
        uint8_t first;
    };
    for (const Case& c : {Case{8, false, 92, 0x80}, Case{10, false, 112, 0x80}, Case{20, false, 212, 0x80},
                          Case{8, true, 92, 0x80}, Case{10, true, 124, 0xA0}, Case{20, true, 220, 0xA0}}) {
        SCOPED_TRACE(testing::Message() << c.frames << " frames, encrypted " << c.encrypted);
        media->resetMedia(1);
        sender.packets.clear();
        fakes::setEncryptionInForce(audio, c.encrypted);
        if (c.encrypted) keyBothEnds();
        transmit(c.frames);
        ASSERT_EQ(sender.packets.size(), 1u);
        std::vector<uint8_t> packet = sender.packets[0];
        ASSERT_EQ(packet.size(), c.size);
        EXPECT_EQ(packet[0], c.first);
        EXPECT_EQ(packet[1], 0x48);

        if (c.encrypted) {
            ASSERT_TRUE(decryptVoicePayload(peer, packet, RTP_HEADER_SIZE));
        }
        // The frames, byte 0 of each masked with 0x5A.
        auto expected = fakes::encodeScaled(fakes::speechLike(c.frames * 80));
        for (size_t i = 0; i < c.frames; ++i) expected[i * 10] ^= 0x5A;
        EXPECT_EQ(
            std::vector<uint8_t>(packet.begin() + 12, packet.begin() + 12 + 10 * static_cast<long>(c.frames)),
            expected);
        // The padding: p - 1 zeros, then p.
        const size_t padding = c.size - 12 - 10 * c.frames;
        for (size_t i = 0; i + 1 < padding; ++i) EXPECT_EQ(packet[12 + 10 * c.frames + i], 0) << i;
        if (padding > 0) {
            EXPECT_EQ(packet.back(), padding);
        }
    }
}

// Counters step per block (the timestamp by its frames) and go on while
// muted, when blocks are encoded but not sent; a new call starts them again
// under its own SSRC with the encoder reset.
TEST_F(TransmitTest, CountersStepPerBlockAndMutedBlocksAreCountedButNotSent) {
    media->resetMedia(0x01020304);
    transmit(10);
    transmit(20);
    audio.mute.store(1);
    transmit(10);
    audio.mute.store(0);
    transmit(10);
    ASSERT_EQ(sender.packets.size(), 3u);
    EXPECT_EQ(countersOf(sender.packets[0]), std::make_pair(uint16_t{0}, 0u));
    EXPECT_EQ(countersOf(sender.packets[1]), std::make_pair(uint16_t{1}, 800u));
    EXPECT_EQ(countersOf(sender.packets[2]), std::make_pair(uint16_t{3}, 3200u));
    EXPECT_EQ(std::vector<uint8_t>(sender.packets[0].begin() + 8, sender.packets[0].begin() + 12),
              (std::vector<uint8_t>{1, 2, 3, 4}));

    media->resetMedia(0x01020305);
    transmit(10);
    EXPECT_EQ(countersOf(sender.packets.back()), std::make_pair(uint16_t{0}, 0u));
    EXPECT_EQ(sender.packets.back()[11], 5);
    EXPECT_EQ(std::vector<uint8_t>(sender.packets.back().begin() + 12, sender.packets.back().end()),
              std::vector<uint8_t>(sender.packets[0].begin() + 12, sender.packets[0].end()));
}

TEST_F(TransmitTest, EncryptionInForceWithCiphersNeverKeyedSendsNothing) {
    fakes::setEncryptionInForce(audio, true);
    media->resetMedia(1);
    transmit(10);
    EXPECT_TRUE(sender.packets.empty()) << "nothing goes out in the clear while encryption is in force";
    keyBothEnds();
    transmit(10);
    ASSERT_EQ(sender.packets.size(), 1u);
    EXPECT_EQ(countersOf(sender.packets[0]).first, 1);
}

}  // namespace
}  // namespace vorpel
