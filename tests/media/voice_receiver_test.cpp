#include "media/voice_receiver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "media/media_path.h"
#include "media_fakes.h"
#include "test_bytes.h"

namespace vorpel {
namespace {

using fakes::RecordingSender;

// A plain voice packet of count frames (frame k filled with k + 1) at timestamp.
std::vector<uint8_t> voicePacket(uint32_t timestamp, size_t count) {
    std::vector<uint8_t> frames;
    for (size_t k = 0; k < count; ++k) frames.insert(frames.end(), 10, static_cast<uint8_t>(k + 1));
    return test::voiceDatagram(1, timestamp, frames);
}

bool allEqual(const std::vector<int16_t>& samples, int16_t value) {
    return std::all_of(samples.begin(), samples.end(), [&](int16_t s) { return s == value; });
}

class ReceiveTest : public ::testing::Test {
protected:
    ReceiveTest() : media(std::make_unique<MediaPath>(audio, sender)) {
        media->resetMedia(1);
        audio.setAudioMode(AudioMode::Voice);
    }

    std::vector<int16_t> playout(size_t frames) {
        std::vector<int16_t> out(frames * 80, 12345);
        const MutexLock lock(media->mediaLock());
        media->playoutBlock(out, frames);
        return out;
    }
    AudioState audio;
    RecordingSender sender;
    std::unique_ptr<MediaPath> media;
};

TEST_F(ReceiveTest, MelodyPlaysThePlayerAndMutedMelodyIsExactZeros) {
    std::array<uint8_t, MELODY_NOTES> notes{};
    notes.fill(0x09);
    media->startMelody(0, notes);
    audio.setAudioMode(AudioMode::Melody);
    audio.mute.store(1);
    EXPECT_TRUE(allEqual(playout(10), 0));
    EXPECT_EQ(media->receiver().ring().position(), 10u) << "the ring advances in every mode";

    // Muting does not advance the player: unmuted, the melody starts at its
    // beginning.
    audio.mute.store(0);
    MelodyPlayer reference;
    reference.startMelody(0, notes);
    const auto samples = playout(20);
    for (size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(samples[i], reference.nextMelodySample()) << i;
    EXPECT_EQ(samples[1], 326);
}

TEST_F(ReceiveTest, VoiceFramesArrivingDuringAMelodyAreDiscardedUnplayed) {
    std::array<uint8_t, MELODY_NOTES> notes{};
    media->startMelody(0, notes);
    audio.setAudioMode(AudioMode::Melody);
    ASSERT_TRUE(media->queueVoiceDatagram(voicePacket(0, 10)));
    playout(20);
    audio.setAudioMode(AudioMode::Voice);
    EXPECT_TRUE(allEqual(playout(10), -1));
}

TEST_F(ReceiveTest, ResetMediaDiscardsQueuedDatagramsAndTheRing) {
    ASSERT_TRUE(media->queueVoiceDatagram(voicePacket(0, 10)));
    playout(0);
    ASSERT_TRUE(media->queueVoiceDatagram(voicePacket(800, 10)));
    media->resetMedia(3);
    EXPECT_TRUE(allEqual(playout(30), -1));
    EXPECT_EQ(media->receiver().ring().lateCount(), 0u);
}

// One call per case: the first pass in Voice mode restarts the counts (a
// transmitted block, one packet sent), then the packets at these timestamps
// arrive and 30 frames play. Ten frames of each packet: the ring holds the
// first ten frames back, so a clean call misses its first 100 ms.
TEST_F(ReceiveTest, CallCountersCountWhatArrivedAndWhatPlayed) {
    struct Case {
        const char* name;
        std::vector<uint32_t> timestamps;
        CallStatistics expected;
    };
    const Case cases[] = {
        {"clean", {0, 800, 1600}, {.sent = 1, .received = 3, .played = 20, .missing = 10, .fill = 10}},
        {"lost", {0, 1600}, {.sent = 1, .received = 2, .played = 10, .missing = 20, .fill = 10}},
        {"late", {0, 0u - 1600}, {.sent = 1, .received = 2, .played = 10, .missing = 20, .late = 1}},
        // Off the frame grid: the ring starts again from that packet.
        {"resync", {0, 40}, {.sent = 1, .received = 2, .played = 10, .missing = 20, .resyncs = 1}},
        // Encrypted from here on: 100 bytes of payload are no whole cipher blocks.
        {"bad ciphertext", {0}, {.sent = 1, .received = 1, .missing = 30, .decryptFailures = 1}},
    };
    for (const Case& c : cases) {
        audio.setAudioMode(AudioMode::Idle);
        playout(0);  // the previous call's last pass
        if (c.expected.decryptFailures != 0) {
            media->keyTrafficCiphers(fakes::testKey());
            fakes::setEncryptionInForce(audio, true);
        }
        media->resetMedia(1);
        audio.setAudioMode(AudioMode::Voice);
        std::vector<int16_t> block(800, 100);
        {
            const MutexLock lock(media->mediaLock());
            media->transmitBlock(block, 10);
        }
        for (uint32_t timestamp : c.timestamps)
            ASSERT_TRUE(media->queueVoiceDatagram(voicePacket(timestamp, 10)));
        playout(30);
        EXPECT_EQ(media->statistics(), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace vorpel
