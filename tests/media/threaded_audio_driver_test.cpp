#include "media/threaded_audio_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fake_wave_devices.h"
#include "media_fakes.h"

namespace vorpel {
namespace {

using fakes::FakeCaptureDevice;
using fakes::FakePlaybackDevice;
using fakes::FakeWaveDevice;

// Records what the driver hands over; playout blocks are filled with a marker.
class RecordingBlocks final : public AudioBlockPort, public fakes::PassCounter {
public:
    struct Transmit {
        const int16_t* data;
        size_t frameCount;
        std::vector<int16_t> samples;
    };

    void transmitBlock(std::span<int16_t> samples, size_t frameCount) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        transmits_.push_back(
            {samples.data(), frameCount, std::vector<int16_t>(samples.begin(), samples.end())});
    }
    void playoutBlock(std::span<int16_t> out, size_t frameCount) override {
        std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(80 * frameCount), int16_t{1234});
        countPass();
    }
    std::vector<Transmit> transmits() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return transmits_;
    }

private:
    std::mutex mutex_;
    std::vector<Transmit> transmits_;
};

class RecordingBacklight final : public BacklightPort {
public:
    void holdBacklight(bool on) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        requests.push_back(on);
    }
    std::vector<bool> requests;

private:
    std::mutex mutex_;
};

size_t countOf(const std::vector<std::string>& calls, const std::string& name) {
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), name));
}

std::vector<std::string> startCalls(size_t adds) {
    std::vector<std::string> calls{"reset"};
    calls.insert(calls.end(), adds, "add");
    calls.push_back("start");
    return calls;
}

class AudioDriverTest : public ::testing::Test {
protected:
    void SetUp() override { driver = makeDriver(nullptr); }

    // Without an audio thread the test runs every pass itself.
    std::unique_ptr<ThreadedAudioDriver> makeDriver(AudioThreadPort* thread) {
        return std::make_unique<ThreadedAudioDriver>(capture, playback, blocks, backlight, audio, mediaLock,
                                                     thread);
    }
    void setMode(AudioMode mode) {
        audio.setAudioMode(mode);
        driver->tick();
    }
    void startVoice() {
        ASSERT_TRUE(driver->init());
        setMode(AudioMode::Voice);
        capture.clearCalls();
        playback.clearCalls();
    }
    void completeCapture(size_t count) {
        for (size_t i = 0; i < count; ++i) ASSERT_TRUE(capture.completeNext(static_cast<int16_t>(100 + i)));
    }

    AudioState audio;
    Mutex mediaLock;
    FakeCaptureDevice capture;
    FakePlaybackDevice playback;
    RecordingBlocks blocks;
    fakes::PlainAudioThread audioThread;
    RecordingBacklight backlight;
    std::unique_ptr<ThreadedAudioDriver> driver;  // declared last: closed before the devices go
};

TEST_F(AudioDriverTest, InitFailsOnAnyDeviceOrHeaderFailureAndCloseUndoesWhatWasDone) {
    struct Case {
        bool captureSide;
        bool failOpen;
        int failPrepareAt;
        size_t captureUnprepares;
        size_t playbackUnprepares;
    };
    for (const Case& c : {Case{true, true, -1, 0, 0}, Case{true, false, 7, 7, 0},
                          Case{false, true, -1, 32, 0}, Case{false, false, 31, 32, 31}}) {
        FakeCaptureDevice failingCapture;
        FakePlaybackDevice failingPlayback;
        FakeWaveDevice& failing = c.captureSide ? static_cast<FakeWaveDevice&>(failingCapture)
                                                : static_cast<FakeWaveDevice&>(failingPlayback);
        if (c.failOpen) failing.failOpen = true;
        failing.failPrepareAt = c.failPrepareAt;
        ThreadedAudioDriver failingDriver(failingCapture, failingPlayback, blocks, backlight, audio,
                                          mediaLock, nullptr);
        EXPECT_FALSE(failingDriver.init());
        audio.setAudioMode(AudioMode::Voice);
        failingDriver.tick();
        EXPECT_EQ(countOf(failingCapture.calls(), "start"), 0u) << "an uninitialised driver does not start";
        failingDriver.close();
        EXPECT_EQ(countOf(failingCapture.calls(), "unprepare"), c.captureUnprepares);
        EXPECT_EQ(countOf(failingPlayback.calls(), "unprepare"), c.playbackUnprepares);
        EXPECT_FALSE(failingCapture.isOpen());
        EXPECT_FALSE(failingPlayback.isOpen());
        audio.setAudioMode(AudioMode::Idle);
    }
    EXPECT_TRUE(backlight.requests.empty());
}

TEST_F(AudioDriverTest, IdleMelodyVoiceIdleGivesStartStartStop) {
    ASSERT_TRUE(driver->init());
    capture.clearCalls();
    playback.clearCalls();
    setMode(AudioMode::Idle);
    EXPECT_TRUE(capture.calls().empty());

    setMode(AudioMode::Melody);
    EXPECT_EQ(capture.calls(), startCalls(24));
    EXPECT_EQ(capture.queuedIndices().front(), 0u);
    EXPECT_EQ(capture.queuedIndices().back(), 23u);
    EXPECT_EQ(playback.calls(), (std::vector<std::string>{"reset", "write", "write"}));
    EXPECT_EQ(playback.queuedIndices(), (std::vector<uint32_t>{0, 1}));
    for (uint32_t i = 0; i < 2; ++i) {
        const WaveHeader* header = playback.header(i);
        EXPECT_TRUE(std::all_of(header->data, header->data + 800, [](int16_t s) { return s == 0; }));
    }

    setMode(AudioMode::Melody);  // no change, nothing happens
    EXPECT_EQ(countOf(capture.calls(), "reset"), 1u);

    setMode(AudioMode::Voice);
    EXPECT_EQ(countOf(capture.calls(), "reset"), 2u);
    EXPECT_EQ(capture.queued(), 24u);
    EXPECT_EQ(playback.queued(), 2u);

    capture.clearCalls();
    playback.clearCalls();
    setMode(AudioMode::Idle);
    EXPECT_EQ(capture.calls(), (std::vector<std::string>{"reset"}));
    EXPECT_EQ(playback.calls(), (std::vector<std::string>{"reset"}));
    EXPECT_EQ(backlight.requests, (std::vector<bool>{true, true, false}));

    driver->runPass();
    EXPECT_EQ(blocks.passes(), 0u) << "a stopped driver runs no pass";
}

TEST_F(AudioDriverTest, FirstBlockAfterAStartIsBuffer31AndPassesKeepTwoPlaybackBuffersQueued) {
    startVoice();
    capture.header(31)->data[0] = 31;
    driver->runPass();  // nothing captured yet: playout only
    EXPECT_TRUE(blocks.transmits().empty());
    EXPECT_EQ(blocks.passes(), 1u);
    EXPECT_EQ(playback.queuedIndices(), (std::vector<uint32_t>{0, 1, 2}));

    completeCapture(1);  // buffer 0 completed: pending 1
    ASSERT_TRUE(playback.completeNext());
    driver->runPass();
    auto transmits = blocks.transmits();
    ASSERT_EQ(transmits.size(), 1u);
    EXPECT_EQ(transmits[0].data, capture.header(31)->data);
    EXPECT_EQ(transmits[0].frameCount, 10u);
    EXPECT_EQ(transmits[0].samples.size(), 800u);
    EXPECT_EQ(transmits[0].samples[0], 31);
    EXPECT_EQ(capture.queuedIndices().back(), 24u);
    EXPECT_EQ(playback.queuedIndices(), (std::vector<uint32_t>{1, 2, 3}));
    const WaveHeader* written = playback.header(3);
    EXPECT_EQ(written->data[0], 1234);

    // The newest completed block waits for the next pass.
    completeCapture(1);  // buffer 1: pending (1 - 0) = 1, encodes buffer 0
    driver->runPass();
    transmits = blocks.transmits();
    ASSERT_EQ(transmits.size(), 2u);
    EXPECT_EQ(transmits[1].data, capture.header(0)->data);
    EXPECT_EQ(transmits[1].samples[0], 100);
}

TEST_F(AudioDriverTest, BacklogOfFourEncodesOneBlockAndFiveJoinsTwo) {
    startVoice();
    completeCapture(4);  // last completed 3: pending 4
    driver->runPass();
    ASSERT_EQ(blocks.transmits().size(), 1u);
    EXPECT_EQ(blocks.transmits()[0].frameCount, 10u);
    EXPECT_EQ(capture.queued(), 24u - 4u + 1u);

    // Same again from a fresh start, with one more: pending 5 joins 31 and 0.
    setMode(AudioMode::Melody);
    std::fill(capture.header(31)->data, capture.header(31)->data + 800, int16_t{-7});
    completeCapture(5);
    driver->runPass();
    const auto transmits = blocks.transmits();
    ASSERT_EQ(transmits.size(), 2u);
    EXPECT_EQ(transmits[1].frameCount, 20u);
    ASSERT_EQ(transmits[1].samples.size(), 1600u);
    EXPECT_EQ(transmits[1].samples[0], -7);
    EXPECT_EQ(transmits[1].samples[799], -7);
    EXPECT_EQ(transmits[1].samples[800], 100);
    EXPECT_EQ(transmits[1].samples[1599], 100);
    const auto queued = capture.queuedIndices();
    EXPECT_EQ(queued.size(), 24u - 5u + 2u);
    EXPECT_EQ(queued[queued.size() - 2], 24u);
    EXPECT_EQ(queued.back(), 25u);

    // Next pass: last completed 4, next to encode 1: pending 3, one block (1).
    driver->runPass();
    EXPECT_EQ(blocks.transmits().back().data, capture.header(1)->data);
}

TEST_F(AudioDriverTest, BacklogOf17RestartsWithoutPlaybackAnd16DoesNot) {
    startVoice();
    completeCapture(16);  // pending 16: joined, no restart
    driver->runPass();
    EXPECT_EQ(blocks.transmits().size(), 1u);
    EXPECT_EQ(blocks.passes(), 1u);
    EXPECT_EQ(countOf(capture.calls(), "reset"), 0u);

    setMode(AudioMode::Melody);
    completeCapture(17);  // pending 17
    capture.clearCalls();
    playback.clearCalls();
    driver->runPass();
    EXPECT_EQ(blocks.transmits().size(), 1u);
    EXPECT_EQ(blocks.passes(), 1u) << "no playback block on the restarting pass";
    EXPECT_EQ(capture.calls(), startCalls(24));
    EXPECT_EQ(playback.calls(), (std::vector<std::string>{"reset", "write", "write"}));
    EXPECT_EQ(backlight.requests.back(), true);

    // The restarted driver begins again at buffer 31.
    completeCapture(1);
    driver->runPass();
    EXPECT_EQ(blocks.transmits().back().data, capture.header(31)->data);
    EXPECT_EQ(blocks.passes(), 2u);
}

TEST_F(AudioDriverTest, CloseLeavesNoDeviceInUseAndLaterCallsDoNothing) {
    startVoice();
    completeCapture(1);
    driver->runPass();
    driver->close();
    const auto captureCalls = capture.calls();
    const auto playbackCalls = playback.calls();
    EXPECT_EQ(countOf(captureCalls, "unprepare"), 32u);
    EXPECT_EQ(countOf(playbackCalls, "unprepare"), 32u);
    EXPECT_EQ(captureCalls.back(), "close");
    EXPECT_EQ(playbackCalls.back(), "close");
    EXPECT_EQ(capture.queued(), 0u);
    EXPECT_EQ(playback.queued(), 0u);

    setMode(AudioMode::Idle);
    setMode(AudioMode::Voice);
    driver->runPass();
    driver->close();
    EXPECT_EQ(capture.calls(), captureCalls);
    EXPECT_EQ(playback.calls(), playbackCalls);
    EXPECT_EQ(backlight.requests, (std::vector<bool>{true})) << "close keeps the backlight held";
}

// The real audio thread, paced by playback completions from this thread,
// with start/stop ticks from a third one. Run under ThreadSanitizer in CI.
TEST_F(AudioDriverTest, DedicatedThreadRunsOnePassPerPlaybackCompletion) {
    driver = makeDriver(&audioThread);
    ASSERT_TRUE(driver->init());
    audio.setAudioMode(AudioMode::Voice);
    std::thread timer([&] { driver->tick(); });
    timer.join();

    constexpr size_t PASSES = 40;
    for (size_t i = 0; i < PASSES; ++i) {
        ASSERT_TRUE(capture.completeNext(static_cast<int16_t>(i)));
        ASSERT_TRUE(playback.completeNext());
        ASSERT_TRUE(blocks.waitForPasses(i + 1)) << "pass " << i;
        const MutexLock passOver(mediaLock);  // the pass ends with its write
        EXPECT_EQ(playback.queued(), 2u);
    }
    EXPECT_EQ(blocks.transmits().size(), PASSES);

    // Stop from the timer thread while completions keep arriving.
    audio.setAudioMode(AudioMode::Idle);
    std::thread stopper([&] { driver->tick(); });
    for (int i = 0; i < 5; ++i) {
        capture.completeNext();
        playback.completeNext();
    }
    stopper.join();
    driver->close();
    EXPECT_FALSE(capture.isOpen());
    EXPECT_FALSE(playback.isOpen());
    EXPECT_LE(blocks.passes(), PASSES + 5);
}

}  // namespace
}  // namespace vorpel
