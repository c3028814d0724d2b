// The audio driver: 32 capture and 32 playback buffers of 800 samples
// (100 ms) cycling through the wave devices, and an audio thread that runs
// one pass per playback completion: it hands the captured block before the
// newest one to transmitBlock (two joined blocks when it has fallen 5 to 16
// blocks behind, a restart of both devices beyond 16), fetches one block from
// playoutBlock and writes it to the playback device. Two playback buffers stay
// queued, so the speaker plays 200 ms behind the pass.
//
// Threads and locks:
// - init and close: the window thread. tick: the timer thread. The pass: the
//   audio thread, which the platform makes (AudioThreadPort), or the caller
//   of runPass when the driver has no audio thread.
// - The media lock (owned by MediaPath, shared with resetMedia) serialises
//   start, stop, a pass and close's device work; a pass holds it throughout,
//   an overflow restart included. Every device operation happens under it.
// - The wave completion callbacks touch only atomic counters and the wake
//   event.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "common/audio_state.h"
#include "common/mutex.h"
#include "media/audio_block_port.h"
#include "media/audio_driver.h"
#include "media/audio_thread_port.h"
#include "media/audio_wake_event.h"
#include "media/media_ports.h"
#include "media/wave_device.h"

namespace vorpel {

class ThreadedAudioDriver final : public AudioDriver {
public:
    static constexpr uint32_t BUFFER_COUNT = 32;
    static constexpr uint32_t CAPTURE_BUFFERS_AT_START = 24;
    static constexpr uint32_t SILENT_BUFFERS_AT_START = 2;
    static constexpr uint32_t JOIN_BACKLOG = 5;       // from this backlog on two blocks are joined
    static constexpr uint32_t OVERFLOW_BACKLOG = 16;  // beyond this backlog both devices restart

    // Without an audioThread the caller runs each pass with runPass (tests
    // drive the driver that way, step by step).
    ThreadedAudioDriver(WaveCaptureDevice& capture, WavePlaybackDevice& playback, AudioBlockPort& blocks,
                        BacklightPort& backlight, const AudioState& audio, Mutex& mediaLock,
                        AudioThreadPort* audioThread);
    ~ThreadedAudioDriver() override;
    ThreadedAudioDriver(const ThreadedAudioDriver&) = delete;
    ThreadedAudioDriver& operator=(const ThreadedAudioDriver&) = delete;

    bool init() override EXCLUDES(mediaLock_);
    void close() override EXCLUDES(mediaLock_);
    void tick() override EXCLUDES(mediaLock_);

    // One pass of the audio thread, taking the media lock; does nothing unless
    // the driver is running.
    void runPass() EXCLUDES(mediaLock_);

private:
    class CaptureListener final : public WaveListener {
    public:
        explicit CaptureListener(ThreadedAudioDriver& driver) : driver_(driver) {}
        void waveCompleted(WaveHeader& header) override;

    private:
        ThreadedAudioDriver& driver_;
    };
    class PlaybackListener final : public WaveListener {
    public:
        explicit PlaybackListener(ThreadedAudioDriver& driver) : driver_(driver) {}
        void waveCompleted(WaveHeader& header) override;

    private:
        ThreadedAudioDriver& driver_;
    };
    using Block = std::array<int16_t, WAVE_BUFFER_SAMPLES>;

    static void threadBody(void* self);
    void clearState() REQUIRES(mediaLock_);
    void start() REQUIRES(mediaLock_);
    void stop() REQUIRES(mediaLock_);
    void pass() REQUIRES(mediaLock_);
    void queueCaptureBuffer() REQUIRES(mediaLock_);
    void writePlaybackBuffer() REQUIRES(mediaLock_);

    WaveCaptureDevice& capture_;
    WavePlaybackDevice& playback_;
    AudioBlockPort& blocks_;
    BacklightPort& backlight_;
    const AudioState& audio_;
    Mutex& mediaLock_;
    AudioThreadPort* const audioThread_;
    CaptureListener captureListener_{*this};
    PlaybackListener playbackListener_{*this};

    // Handed to the devices between start and reset; otherwise under the media lock.
    std::array<Block, BUFFER_COUNT> captureBuffers_{};
    std::array<Block, BUFFER_COUNT> playbackBuffers_{};
    std::array<WaveHeader, BUFFER_COUNT> captureHeaders_{};
    std::array<WaveHeader, BUFFER_COUNT> playbackHeaders_{};
    std::array<int16_t, 2 * WAVE_BUFFER_SAMPLES> joining_ GUARDED_BY(mediaLock_){};

    // Written by the completion callbacks (last completed before the count,
    // so a nonzero count always comes with its index).
    std::atomic<uint32_t> captureCompletions_{0};
    std::atomic<uint32_t> captureLastCompleted_{0};
    std::atomic<uint32_t> playbackCompletions_{0};
    std::atomic<uint32_t> playbackLastCompleted_{0};
    // Counts starts; a completion of an earlier start wakes no pass.
    std::atomic<uint32_t> generation_{0};
    AudioWakeEvent wake_;
    bool threadStarted_ = false;  // window thread only

    bool initialised_ GUARDED_BY(mediaLock_) = false;
    bool running_ GUARDED_BY(mediaLock_) = false;
    bool captureOpen_ GUARDED_BY(mediaLock_) = false;
    bool playbackOpen_ GUARDED_BY(mediaLock_) = false;
    uint32_t capturePrepared_ GUARDED_BY(mediaLock_) = 0;  // headers prepared, in index order
    uint32_t playbackPrepared_ GUARDED_BY(mediaLock_) = 0;
    uint32_t captureNextToQueue_ GUARDED_BY(mediaLock_) = 0;
    uint32_t captureNextToEncode_ GUARDED_BY(mediaLock_) = 0;
    uint32_t playbackNextToWrite_ GUARDED_BY(mediaLock_) = 0;
    AudioMode previousMode_ GUARDED_BY(mediaLock_) = AudioMode::Idle;
    AudioMode currentMode_ GUARDED_BY(mediaLock_) = AudioMode::Idle;
};

}  // namespace vorpel
