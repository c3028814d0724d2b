// Counts heap allocations made by the media path in steady state: this
// program replaces the global allocation functions.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "media/media_path.h"
#include "media/threaded_audio_driver.h"
#include "fake_wave_devices.h"
#include "media_fakes.h"

namespace {
std::atomic<size_t> allocationCount{0};
}  // namespace

void* operator new(std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return ::operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

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

class NoBacklight final : public BacklightPort {
public:
    void holdBacklight(bool) override {}
};

TEST(SteadyStateAllocation, AudioPassesAllocateNothing) {
    const auto signal = fakes::speechLike(8000, 3);
    AudioState audio;
    KeyMaterial keys;
    TrafficCiphers ciphers;
    fakes::keyWithTestKey(ciphers);
    fakes::setEncryptionInForce(keys, true);
    EchoSender sender;
    auto media = std::make_unique<MediaPath>(audio, keys, ciphers, sender);
    sender.media = media.get();
    fakes::FakeCaptureDevice capture;
    fakes::FakePlaybackDevice playback;
    NoBacklight backlight;
    auto driver = std::make_unique<ThreadedAudioDriver>(capture, playback, *media, backlight, audio,
                                                        media->mediaLock(), ThreadedAudioDriver::Threading::Manual);
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

    const size_t before = allocationCount.load();
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
    const size_t during = allocationCount.load() - before;

    EXPECT_EQ(during, 0u);
    EXPECT_GE(sender.sent, 450u) << "the passes did transmit";
    driver->close();
}

}  // namespace
}  // namespace vorpel
