// The media path with the real audio thread, while a "window thread" queues
// voice datagrams and an "engine thread" resets the media path, loads melodies
// and changes the audio mode. Bounded and without sleeps; its purpose is to
// give ThreadSanitizer every kind of crossing the program has.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "fake_wave_devices.h"
#include "media/media_path.h"
#include "media/threaded_audio_driver.h"
#include "media_fakes.h"

namespace vorpel {
namespace {

// Forwards to the media path and counts the passes.
class CountingBlocks final : public AudioBlockPort, public fakes::PassCounter {
public:
    explicit CountingBlocks(MediaPath& media) : media_(media) {}
    void transmitBlock(std::span<int16_t> samples, size_t frameCount) override {
        media_.transmitBlock(samples, frameCount);
    }
    void playoutBlock(std::span<int16_t> out, size_t frameCount) override {
        media_.playoutBlock(out, frameCount);
        countPass();
    }

private:
    MediaPath& media_;
};

// Hands each packet to the window thread's queue, as the voice socket would
// after a round trip.
class LoopSender final : public VoiceSender {
public:
    size_t sendVoice(std::span<const uint8_t> packet) override {
        const std::lock_guard<std::mutex> lock(mutex);
        if (packet.size() < 128) pending.emplace_back(packet.begin(), packet.end());
        return packet.size();
    }
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> pending;
};

TEST(MediaThreads, AudioThreadWindowThreadAndEngineThreadTogether) {
    AudioState audio;
    fakes::setEncryptionInForce(audio, true);
    LoopSender sender;
    auto media = std::make_unique<MediaPath>(audio, sender);
    media->keyTrafficCiphers(fakes::testKey());
    CountingBlocks blocks(*media);
    fakes::FakeCaptureDevice capture;
    fakes::FakePlaybackDevice playback;
    fakes::NoBacklight backlight;
    fakes::PlainAudioThread audioThread;
    auto driver = std::make_unique<ThreadedAudioDriver>(capture, playback, blocks, backlight, audio,
                                                        media->mediaLock(), &audioThread);
    ASSERT_TRUE(driver->init());
    media->resetMedia(1);
    audio.setAudioMode(AudioMode::Voice);
    driver->tick();

    std::atomic<bool> done{false};
    std::thread window([&] {
        while (!done.load()) {
            std::vector<std::vector<uint8_t>> packets;
            {
                const std::lock_guard<std::mutex> lock(sender.mutex);
                packets.swap(sender.pending);
            }
            for (const auto& packet : packets) media->queueVoiceDatagram(packet);
            std::this_thread::yield();
        }
    });
    std::thread engine([&] {
        std::array<uint8_t, MELODY_NOTES> notes{};
        notes.fill(0x2B);
        for (uint32_t round = 0; round < 6; ++round) {
            media->startMelody(static_cast<uint8_t>(round), notes);
            audio.setAudioMode(round % 2 == 0 ? AudioMode::Melody : AudioMode::Voice);
            driver->tick();
            audio.mute.store(round % 3 == 0 ? 1 : 0);
            media->resetMedia(10 + round);
            media->keyTrafficCiphers(fakes::testKey());  // a new voice channel keys again
            std::this_thread::yield();
        }
    });

    // The audio system completes whatever is queued while the engine works.
    for (int i = 0; i < 200; ++i) {
        capture.completeNext(static_cast<int16_t>(i * 100));
        playback.completeNext();
        std::this_thread::yield();
    }
    engine.join();

    // Then a fresh start: every completion is answered by exactly one pass.
    audio.setAudioMode(AudioMode::Idle);
    driver->tick();
    audio.setAudioMode(AudioMode::Voice);
    driver->tick();
    for (size_t i = 0; i < 10; ++i) {
        const size_t before = blocks.passes();
        ASSERT_TRUE(capture.completeNext(1));
        ASSERT_TRUE(playback.completeNext());
        ASSERT_TRUE(blocks.waitForPasses(before + 1)) << i;
        const MutexLock passOver(media->mediaLock());  // the pass ends with its write
        EXPECT_EQ(playback.queued(), 2u);
    }
    done.store(true);
    window.join();
    driver->close();
    EXPECT_FALSE(capture.isOpen());
}

}  // namespace
}  // namespace vorpel
