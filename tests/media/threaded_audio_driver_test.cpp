#include "media/threaded_audio_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace vorpel {
namespace {

// A wave device, capture or playback, that records every call, keeps the
// queued buffers in order and completes them only when the test says so.
class FakeDevice final : public WaveCaptureDevice, public WavePlaybackDevice {
public:
    bool failOpen = false;
    int failPrepareAt = -1;
    std::vector<std::string> calls;
    std::deque<WaveHeader*> queue;
    bool opened = false;

    // Finishes the oldest queued buffer; false when there is none.
    bool completeNext() {
        if (queue.empty()) return false;
        WaveHeader* header = queue.front();
        queue.pop_front();
        header->flags |= WAVE_HEADER_DONE;
        listener_->waveCompleted(*header);
        return true;
    }

    bool open(const WaveFormat& format, WaveListener& listener) override {
        calls.emplace_back("open");
        listener_ = &listener;
        return opened = !failOpen && format.sampleRate == 8000 && format.channels == 1;
    }
    bool prepareHeader(WaveHeader& header) override {
        calls.emplace_back("prepare");
        if (!opened || static_cast<int>(header.user) == failPrepareAt) return false;
        header.flags |= WAVE_HEADER_PREPARED;
        return true;
    }
    bool unprepareHeader(WaveHeader& header) override {
        calls.emplace_back("unprepare");
        header.flags &= ~WAVE_HEADER_PREPARED;
        return true;
    }
    bool addBuffer(WaveHeader& header) override { return enqueue(&header, "add"); }
    bool write(WaveHeader& header) override { return enqueue(&header, "write"); }
    bool start() override { return enqueue(nullptr, "start"); }
    bool reset() override {
        calls.emplace_back("reset");
        for (WaveHeader* header : queue) header->flags |= WAVE_HEADER_DONE;
        queue.clear();
        return true;
    }
    bool close() override {
        calls.emplace_back("close");
        opened = false;
        return true;
    }

private:
    // Records the call and queues the header, if any.
    bool enqueue(WaveHeader* header, const char* call) {
        calls.emplace_back(call);
        if (header == nullptr) return true;
        if (!opened || (header->flags & WAVE_HEADER_PREPARED) == 0) return false;
        queue.push_back(header);
        return true;
    }

    WaveListener* listener_ = nullptr;
};

// Records the frame counts handed over, the playout passes and the backlight
// requests. The tests run every pass themselves, so nothing needs a lock.
class Recorder final : public AudioBlockPort, public BacklightPort {
public:
    void transmitBlock(std::span<int16_t>, size_t frameCount) override { transmits.push_back(frameCount); }
    void playoutBlock(std::span<int16_t>, size_t) override { ++passes; }
    void holdBacklight(bool on) override { requests.push_back(on); }
    std::vector<size_t> transmits;
    size_t passes = 0;
    std::vector<bool> requests;
};

size_t countOf(const std::vector<std::string>& calls, const std::string& name) {
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), name));
}

std::vector<std::string> startCalls() {
    std::vector<std::string> calls{"reset"};
    calls.insert(calls.end(), 24, "add");
    calls.push_back("start");
    return calls;
}
const std::vector<std::string> PLAYBACK_START{"reset", "write", "write"};

class AudioDriverTest : public ::testing::Test {
protected:
    void setMode(AudioMode mode) {
        audio.setAudioMode(mode);
        driver.tick();
    }

    AudioState audio;
    Mutex mediaLock;
    FakeDevice capture;
    FakeDevice playback;
    Recorder recorder;
    ThreadedAudioDriver driver{capture, playback, recorder, recorder, audio, mediaLock, nullptr};
};

// Each case on devices of its own: what init gives, and that close unprepares
// exactly the headers that were prepared, closes both devices and leaves
// every later call without effect.
TEST_F(AudioDriverTest, InitFailureAndCloseUndoOnlyWhatWasDone) {
    struct Case {
        const char* scenario;
        bool captureSide, failOpen;
        int failPrepareAt;
        size_t captureUnprepares, playbackUnprepares;
    };
    for (const Case& c : {Case{"capture open fails", true, true, -1, 0, 0},
                          Case{"capture header 7 fails", true, false, 7, 7, 0},
                          Case{"playback open fails", false, true, -1, 32, 0},
                          Case{"playback header 31 fails", false, false, 31, 32, 31},
                          Case{"all goes well", false, false, -1, 32, 32}}) {
        FakeDevice cap;
        FakeDevice play;
        FakeDevice& failing = c.captureSide ? cap : play;
        failing.failOpen = c.failOpen;
        failing.failPrepareAt = c.failPrepareAt;
        const bool works = !c.failOpen && c.failPrepareAt < 0;
        ThreadedAudioDriver d(cap, play, recorder, recorder, audio, mediaLock, nullptr);
        EXPECT_EQ(d.init(), works) << c.scenario;
        audio.setAudioMode(AudioMode::Voice);
        d.tick();
        EXPECT_EQ(countOf(cap.calls, "start"), works ? 1u : 0u) << c.scenario;
        d.close();
        const auto captureCalls = cap.calls;
        EXPECT_EQ(countOf(captureCalls, "unprepare"), c.captureUnprepares) << c.scenario;
        EXPECT_EQ(countOf(play.calls, "unprepare"), c.playbackUnprepares) << c.scenario;
        EXPECT_FALSE(cap.opened || play.opened) << c.scenario;
        EXPECT_EQ(cap.queue.size() + play.queue.size(), 0u) << c.scenario;
        audio.setAudioMode(AudioMode::Idle);
        d.tick();
        d.runPass();
        d.close();
        EXPECT_EQ(cap.calls, captureCalls) << c.scenario;
    }
    EXPECT_EQ(recorder.requests, (std::vector<bool>{true})) << "close keeps the backlight held";
}

TEST_F(AudioDriverTest, IdleMelodyVoiceIdleGivesStartStartStop) {
    ASSERT_TRUE(driver.init());
    capture.calls.clear();
    playback.calls.clear();
    setMode(AudioMode::Idle);
    EXPECT_TRUE(capture.calls.empty());

    setMode(AudioMode::Melody);
    setMode(AudioMode::Melody);  // no change, nothing happens
    EXPECT_EQ(capture.calls, startCalls());
    EXPECT_EQ(playback.calls, PLAYBACK_START);
    EXPECT_EQ(std::count(playback.queue[1]->data, playback.queue[1]->data + 800, 0), 800) << "silence first";

    setMode(AudioMode::Voice);
    EXPECT_EQ(countOf(capture.calls, "reset"), 2u);
    EXPECT_EQ(capture.queue.size(), 24u);
    EXPECT_EQ(playback.queue.size(), 2u);

    capture.calls.clear();
    playback.calls.clear();
    setMode(AudioMode::Idle);
    EXPECT_EQ(capture.calls, (std::vector<std::string>{"reset"}));
    EXPECT_EQ(playback.calls, (std::vector<std::string>{"reset"}));
    EXPECT_EQ(recorder.requests, (std::vector<bool>{true, true, false}));
    driver.runPass();
    EXPECT_EQ(recorder.passes, 0u) << "a stopped driver runs no pass";
}

// Completed capture blocks waiting when a pass runs: up to 16 are encoded
// (two joined into one 20-frame block when more than four wait), more restart
// both devices and skip that pass's playout.
TEST_F(AudioDriverTest, CaptureBacklogDecidesTheBlockAndTheRestart) {
    struct Case {
        size_t backlog, frameCount;
        bool restarts;
    };
    ASSERT_TRUE(driver.init());
    for (const Case& c : {Case{1, 10, false}, Case{4, 10, false}, Case{5, 20, false}, Case{16, 20, false},
                          Case{17, 0, true}}) {
        setMode(AudioMode::Idle);
        setMode(AudioMode::Voice);
        for (size_t i = 0; i < c.backlog; ++i) ASSERT_TRUE(capture.completeNext());
        capture.calls.clear();
        playback.calls.clear();
        recorder.transmits.clear();
        recorder.passes = 0;
        driver.runPass();
        EXPECT_EQ(recorder.transmits, std::vector<size_t>(c.restarts ? 0 : 1, c.frameCount)) << c.backlog;
        EXPECT_EQ(recorder.passes, c.restarts ? 0u : 1u) << c.backlog;
        EXPECT_EQ(capture.calls,
                  c.restarts ? startCalls() : std::vector<std::string>(c.frameCount / 10, "add"))
            << c.backlog;
        EXPECT_EQ(playback.calls, c.restarts ? PLAYBACK_START : std::vector<std::string>{"write"})
            << c.backlog;
    }
}

}  // namespace
}  // namespace vorpel
