// A queue of wave buffers that completes them on a clock of its own, the way
// a sound card does: a buffer of 800 samples completes 100 ms after the one
// before it, on a thread of the queue's own, whatever the caller does.
//
// Two kinds of clock:
// - Capture: the clock runs from start() until reset(); at every tick the
//   front buffer (if any) is filled and completed. Without a queued buffer the
//   tick's audio is lost, as a microphone's is.
// - Playback: the clock starts when a buffer is written to an idle queue and
//   buffers then complete back to back; once the queue runs dry the clock
//   stops until the next write.
// Deadlines are absolute on the monotonic clock, so a slow listener does not
// make the device drift.
//
// Threads: every operation may be called from any thread but one at a time
// (the audio driver's media lock). The transfer hook and the listener run on
// the queue's thread.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>

#include "media/wave_device.h"

namespace vorpel {

class PacedBufferQueue {
public:
    enum class Clock { Capture, Playback };
    static constexpr size_t CAPACITY = 64;

    // Moves one block between a buffer and the file (fill for capture, take
    // for playback). Called on the queue's thread with samples empty for a
    // block that no buffer took (capture audio that is lost).
    class Transfer {
    public:
        virtual ~Transfer() = default;
        virtual void transferBlock(std::span<int16_t> samples, size_t sampleCount) = 0;
    };

    PacedBufferQueue(Clock clock, Transfer& transfer) : clock_(clock), transfer_(transfer) {}
    ~PacedBufferQueue() { stop(); }
    PacedBufferQueue(const PacedBufferQueue&) = delete;
    PacedBufferQueue& operator=(const PacedBufferQueue&) = delete;

    // Starts the thread; completions go to listener. False when the thread
    // cannot start or the queue already runs.
    bool begin(WaveListener& listener, uint32_t sampleRate);
    // Queues a prepared buffer. False when it is not prepared or the queue is
    // full. A playback buffer written to an idle queue starts the clock.
    bool queue(WaveHeader& header);
    // Starts the capture clock (does nothing for playback or when running).
    void startClock();
    // Stops the clock and hands back every queued buffer with the done flag
    // and no completion. When it returns no completion is running.
    void reset();
    // reset(), then ends the thread.
    void stop();

private:
    using SteadyClock = std::chrono::steady_clock;
    SteadyClock::duration blockDuration(size_t samples) const;
    void run();
    // Caller holds mutex_.
    void giveBackAll();

    const Clock clock_;
    Transfer& transfer_;
    WaveListener* listener_ = nullptr;
    uint32_t sampleRate_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    bool running_ = false;  // the thread exists
    bool closing_ = false;
    bool clockRunning_ = false;
    bool inCompletion_ = false;
    uint64_t generation_ = 0;  // changes with every reset
    SteadyClock::time_point deadline_{};
    std::array<WaveHeader*, CAPACITY> headers_{};
    size_t head_ = 0;
    size_t count_ = 0;
};

}  // namespace vorpel
