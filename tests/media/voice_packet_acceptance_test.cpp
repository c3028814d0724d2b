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
    bool accept(std::vector<uint8_t> datagram) {
        return acceptVoicePacket(ring, datagram, encrypted ? &ciphers : nullptr) == VoiceVerdict::Filed;
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

// Each datagram on a freshly reset ring: whether it is taken and how many
// frames it files from the slot of timestamp 0 on (as received, mask and all).
TEST_F(AcceptanceTest, HeaderFieldsDecideWhereThePayloadStarts) {
    const std::vector<uint8_t> csrcAndExtension{1, 2, 3, 4, 5, 6, 7, 8, 0xBE, 0xDE, 0x00, 0x01, 9, 9, 9, 9};
    const auto padded = [](std::vector<uint8_t> payload, uint8_t count) {
        auto d = voiceDatagram(1, 0, payload, 0xA0);
        d.back() = count;
        return d;
    };
    const struct {
        const char* scenario;
        std::vector<uint8_t> datagram;
        size_t frames;  // 0: dropped
    } cases[] = {
        {"version 2", voiceDatagram(1, 0, frames(10)), 10},
        {"version 3 with the marker", voiceDatagram(1, 0, frames(10), 0xC0, 0xC8), 10},
        {"version 1", voiceDatagram(1, 0, frames(10), 0x40), 0},
        {"version 0", voiceDatagram(1, 0, frames(10), 0x00), 0},
        {"static payload type", voiceDatagram(1, 0, frames(10), 0x80, 18), 0},
        {"empty", {}, 0},
        {"one byte", {0x80}, 0},
        {"28-byte header", voiceDatagram(1, 0, frames(1), 0x92, 0x48, csrcAndExtension), 1},
        {"nothing after the header", voiceDatagram(1, 0, {}, 0x92, 0x48, csrcAndExtension), 0},
        {"extension header cut off", voiceDatagram(1, 0, {}, 0x90, 0x48, {0xBE, 0xDE}), 0},
        {"extension of 65535 words", voiceDatagram(1, 0, frames(10), 0x90, 0x48, {0xBE, 0xDE, 0xFF, 0xFF}),
         0},
        {"fifteen CSRC words claimed", voiceDatagram(1, 0, frames(5), 0x8F), 0},
        {"padding of 4",
         padded(
             [] {
                 auto f = frames(10);
                 f.insert(f.end(), {0, 0, 0, 0});
                 return f;
             }(),
             4),
         10},
        {"padding of all", padded(std::vector<uint8_t>(112, 0), 112), 0},
        {"padding past the payload", padded(std::vector<uint8_t>(112, 0), 113), 0},
        {"padding of 255", padded(std::vector<uint8_t>(112, 0), 255), 0},
    };
    for (const auto& c : cases) {
        ring.reset();
        EXPECT_EQ(accept(c.datagram), c.frames > 0) << c.scenario;
        EXPECT_EQ(storedFrames(), c.frames) << c.scenario;
        EXPECT_EQ(storedBytes(c.frames), frames(c.frames)) << c.scenario;
    }
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

TEST_F(AcceptanceTest, EncryptedPayloadIsDecryptedAndMustBeWholeBlocks) {
    encrypted = true;
    EXPECT_FALSE(accept(voiceDatagram(1, 0, std::vector<uint8_t>(112, 5)))) << "ciphers never keyed";
    fakes::keyWithTestKey(ciphers);
    // Our own transmit envelope: 100 frame bytes + 12 padding, encrypted.
    auto datagram = voiceDatagram(1, 0, frames(10));
    datagram.resize(12 + 112);
    ASSERT_EQ(encryptVoicePayload(ciphers, datagram, RTP_HEADER_SIZE, 100), 124u);
    EXPECT_EQ(datagram[0], 0xA0);
    EXPECT_TRUE(accept(datagram));
    EXPECT_EQ(storedFrames(), 10u);
    EXPECT_EQ(storedBytes(10), frames(10));
    ring.reset();
    EXPECT_FALSE(accept(voiceDatagram(1, 0, std::vector<uint8_t>(113, 5)))) << "not whole blocks";
}

}  // namespace
}  // namespace vorpel
