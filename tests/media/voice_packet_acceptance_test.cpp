#include "media/voice_packet_acceptance.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "media/rtp_voice_packet.h"
#include "media_fakes.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using test::voiceDatagram;

// count frames, frame k holding bytes 10k+1 ... 10k+10.
std::vector<uint8_t> frames(size_t count) {
    std::vector<uint8_t> bytes(count * G729_FRAME_BYTES);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i + 1);
    return bytes;
}

class AcceptanceTest : public ::testing::Test {
protected:
    void encryptionInForce(bool on) { encrypted = on; }
    void keyCiphers() { fakes::keyWithTestKey(ciphers); }
    bool accept(std::vector<uint8_t> datagram) {
        return acceptVoicePacket(ring, datagram, encrypted ? &ciphers : nullptr);
    }
    // Frames stored from the slot of timestamp 0 on (ring freshly reset: P 0).
    size_t storedFrames() const {
        size_t count = 0;
        while (count < 20 && ring.slot(count).present) ++count;
        return count;
    }
    std::vector<uint8_t> storedBytes(size_t count) const {
        std::vector<uint8_t> bytes;
        for (size_t k = 0; k < count; ++k) {
            const auto& frame = ring.slot(k).frame;
            bytes.insert(bytes.end(), frame.begin(), frame.end());
        }
        return bytes;
    }

    bool encrypted = false;
    TrafficCiphers ciphers;
    JitterRing ring;
};

TEST_F(AcceptanceTest, VersionAndPayloadTypeAreChecked) {
    EXPECT_FALSE(accept(voiceDatagram(1, 0, frames(10), 0x40)));      // version 1
    EXPECT_FALSE(accept(voiceDatagram(1, 0, frames(10), 0x00)));      // version 0
    EXPECT_FALSE(accept(voiceDatagram(1, 0, frames(10), 0x80, 18)));  // static G.729 type
    EXPECT_EQ(storedFrames(), 0u);
    EXPECT_TRUE(accept(voiceDatagram(1, 0, frames(10), 0xC0, 0xC8)));  // version 3, marker set
    EXPECT_EQ(storedFrames(), 10u);
    EXPECT_EQ(storedBytes(10), frames(10)) << "frames are filed as received, mask still applied";
    EXPECT_FALSE(accept({}));
    EXPECT_FALSE(accept({0x80}));
}

TEST_F(AcceptanceTest, CsrcListAndExtensionLengthenTheHeader) {
    // Two CSRC words and an extension of one word: 12 + 8 + 8 = 28 bytes.
    const std::vector<uint8_t> tail{1, 2, 3, 4, 5, 6, 7, 8, 0xBE, 0xDE, 0x00, 0x01, 9, 9, 9, 9};
    EXPECT_FALSE(accept(voiceDatagram(1, 0, {}, 0x92, 0x48, tail))) << "nothing after a 28-byte header";
    EXPECT_TRUE(accept(voiceDatagram(1, 0, frames(1), 0x92, 0x48, tail)));
    EXPECT_EQ(storedBytes(1), frames(1));
}

TEST_F(AcceptanceTest, ExtensionThatLiesBeyondTheDatagramIsDropped) {
    // The extension header itself is cut off after two bytes.
    EXPECT_FALSE(accept(voiceDatagram(1, 0, {}, 0x90, 0x48, {0xBE, 0xDE})));
    // Its length claims 65535 words.
    EXPECT_FALSE(accept(voiceDatagram(1, 0, frames(10), 0x90, 0x48, {0xBE, 0xDE, 0xFF, 0xFF})));
    // Fifteen CSRC words claimed, none present.
    EXPECT_FALSE(accept(voiceDatagram(1, 0, frames(5), 0x8F)));
    EXPECT_EQ(ring.position(), 0u) << "dropped before placement";
}

TEST_F(AcceptanceTest, PlacementHappensBeforeThePayloadChecks) {
    // Off the frame grid: resynchronises, then dropped for a payload of 9 bytes.
    EXPECT_FALSE(accept(voiceDatagram(1, 1234, std::vector<uint8_t>(9, 1))));
    EXPECT_EQ(ring.position(), 10u);
    EXPECT_EQ(ring.expectedTimestamp(), 1234u);
    EXPECT_FALSE(ring.slot(10).present);
    // 19 bytes carry one frame; the remainder is ignored.
    auto oneFrame = voiceDatagram(1, 1234, frames(1));
    oneFrame.insert(oneFrame.end(), 9, 0xEE);
    EXPECT_TRUE(accept(oneFrame));
    EXPECT_TRUE(ring.slot(10).present);
    EXPECT_FALSE(ring.slot(11).present);
}

TEST_F(AcceptanceTest, PaddingIsRemovedAndAnOversizedCountIsDropped) {
    auto padded = voiceDatagram(1, 0, frames(10));
    padded[0] |= 0x20;
    padded.insert(padded.end(), {0, 0, 0, 4});
    EXPECT_TRUE(accept(padded));
    EXPECT_EQ(storedFrames(), 10u);

    ring.reset();
    auto fullPadding = voiceDatagram(1, 0, std::vector<uint8_t>(112, 0));
    fullPadding[0] |= 0x20;
    fullPadding.back() = 112;  // leaves nothing
    EXPECT_FALSE(accept(fullPadding));
    fullPadding.back() = 113;  // more than the payload
    EXPECT_FALSE(accept(fullPadding));
    fullPadding.back() = 255;
    EXPECT_FALSE(accept(fullPadding));
    EXPECT_EQ(storedFrames(), 0u);
}

TEST_F(AcceptanceTest, EncryptedPayloadIsDecryptedAndMustBeWholeBlocks) {
    keyCiphers();
    encryptionInForce(true);
    // Our own transmit envelope: 100 frame bytes + 12 padding, encrypted.
    auto datagram = voiceDatagram(1, 0, frames(10));
    datagram.resize(12 + 112);
    ASSERT_EQ(encryptVoicePayload(ciphers, datagram, RTP_HEADER_SIZE, 100), 124u);
    EXPECT_EQ(datagram[0], 0xA0);
    EXPECT_TRUE(accept(datagram));
    EXPECT_EQ(storedFrames(), 10u);
    EXPECT_EQ(storedBytes(10), frames(10));

    ring.reset();
    auto odd = voiceDatagram(1, 0, std::vector<uint8_t>(113, 5));
    EXPECT_FALSE(accept(odd)) << "113 bytes are not whole blocks";
    encryptionInForce(false);
    EXPECT_TRUE(accept(odd)) << "in the clear: 11 frames, remainder ignored";
    EXPECT_EQ(storedFrames(), 11u);
}

TEST_F(AcceptanceTest, EncryptionInForceWithCiphersNeverKeyedDropsEveryPacket) {
    encryptionInForce(true);
    EXPECT_FALSE(accept(voiceDatagram(1, 0, std::vector<uint8_t>(112, 5))));
    EXPECT_EQ(storedFrames(), 0u);
    keyCiphers();
    EXPECT_TRUE(accept(voiceDatagram(1, 0, std::vector<uint8_t>(112, 5))));
}

}  // namespace
}  // namespace vorpel
