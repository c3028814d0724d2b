// The media timer on Linux: a thread that sleeps to absolute deadlines on the
// monotonic clock (clock_nanosleep with TIMER_ABSTIME), so that the period
// does not drift however long each callback takes.
//
// A callback that overruns one or more deadlines is not made up for: the
// timer resumes at the next deadline of the original grid, the way the shell
// expects missed ticks to be lost rather than bunched.
#pragma once

#include <pthread.h>
#include <atomic>
#include <cstdint>

#include "platform/periodic_timer.h"

namespace vorpel {

class ThreadPeriodicTimer final : public PeriodicTimer {
public:
    ThreadPeriodicTimer() = default;
    ~ThreadPeriodicTimer() override;
    ThreadPeriodicTimer(const ThreadPeriodicTimer&) = delete;
    ThreadPeriodicTimer& operator=(const ThreadPeriodicTimer&) = delete;

    bool create(uint32_t periodMs, TimerCallback& callback) override;
    // Called from the timer's own callback, kill only asks the thread to end
    // (it cannot wait for itself); the next kill, create or the destructor,
    // on another thread, then waits for it.
    void kill() override;

private:
    static void* threadMain(void* self);
    void runTicks();

    pthread_t thread_{};
    bool threadStarted_ = false;  // written only outside the timer's thread
    uint32_t periodMs_ = 0;
    TimerCallback* callback_ = nullptr;
    std::atomic<bool> stopRequested_{false};
};

}  // namespace vorpel
