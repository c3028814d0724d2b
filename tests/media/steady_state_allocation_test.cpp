// Counts heap allocations made by the media path in steady state.
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "allocation_counter.h"
#include "fake_wave_devices.h"
#include "media/media_path.h"
#include "media/threaded_audio_driver.h"
#include "media_fakes.h"

namespace vorpel {
namespace {

// Sends each packet straight back into the receive queue, as a peer echoing
// our voice would.
class EchoSender final : public VoiceSender {
public:
    size_t sendVoice(std::span<const uint8_t> packet) override {
        ++sent;
        return media != nullptr && media->queueVoiceDatagram(packet) ? packet.size() : 0;
    }
    MediaPath* media = nullptr;
    size_t sent = 0;
};

TEST(SteadyStateAllocation, AudioPassesAllocateNothing) {
    const auto signal = fakes::speechLike(8000, 3);
    AudioState audio;
    fakes::setEncryptionInForce(audio, true);
    EchoSender sender;
    auto media = std::make_unique<MediaPath>(audio, sender);
    media->keyTrafficCiphers(fakes::testKey());
    sender.media = media.get();
    fakes::FakeCaptureDevice capture;
    fakes::FakePlaybackDevice playback;
    fakes::NoBacklight backlight;
    auto driver = std::make_unique<ThreadedAudioDriver>(capture, playback, *media, backlight, audio,
                                                        media->mediaLock(), nullptr);
    ASSERT_TRUE(driver->init());
    media->resetMedia(5);
    audio.setAudioMode(AudioMode::Voice);
    driver->tick();

    auto pass = [&] {
        capture.complete(signal);
        playback.completeNext();
        driver->runPass();
    };
    for (int i = 0; i < 20; ++i) pass();

    const size_t before = test::allocationCount();
    for (int i = 0; i < 300; ++i) pass();
    // A melody, muted and not, and back to voice with a restart.
    std::array<uint8_t, MELODY_NOTES> notes{};
    notes.fill(0x29);
    media->startMelody(3, notes);
    audio.setAudioMode(AudioMode::Melody);
    driver->tick();
    for (int i = 0; i < 50; ++i) pass();
    audio.mute.store(1);
    for (int i = 0; i < 50; ++i) pass();
    audio.mute.store(0);
    audio.setAudioMode(AudioMode::Voice);
    driver->tick();
    media->resetMedia(6);
    for (int i = 0; i < 100; ++i) pass();
    const size_t during = test::allocationCount() - before;

    EXPECT_EQ(during, 0u);
    EXPECT_GE(sender.sent, 450u) << "the passes did transmit";
    driver->close();
}

}  // namespace
}  // namespace vorpel
