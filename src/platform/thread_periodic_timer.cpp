#include "platform/thread_periodic_timer.h"

#include <cerrno>
#include <ctime>

namespace vorpel {
namespace {

constexpr long NANOS_PER_SECOND = 1'000'000'000L;

// The timer whose thread this is (none on other threads): lets kill tell a
// call from the timer's own callback.
thread_local const ThreadPeriodicTimer* timerOfThisThread = nullptr;

void addNanos(timespec& t, long long nanos) {
    long long total = static_cast<long long>(t.tv_nsec) + nanos;
    t.tv_sec += static_cast<time_t>(total / NANOS_PER_SECOND);
    t.tv_nsec = static_cast<long>(total % NANOS_PER_SECOND);
}

long long nanosBetween(const timespec& from, const timespec& to) {
    return (static_cast<long long>(to.tv_sec) - from.tv_sec) * NANOS_PER_SECOND + (to.tv_nsec - from.tv_nsec);
}

}  // namespace

ThreadPeriodicTimer::~ThreadPeriodicTimer() { kill(); }

bool ThreadPeriodicTimer::create(uint32_t periodMs, TimerCallback& callback) {
    if (periodMs == 0) return false;
    if (threadStarted_) {
        if (!stopRequested_.load(std::memory_order_acquire)) return false;  // still running
        kill();  // killed from its own callback: wait for that thread first
    }
    periodMs_ = periodMs;
    callback_ = &callback;
    stopRequested_.store(false, std::memory_order_release);
    threadStarted_ = true;
    if (::pthread_create(&thread_, nullptr, &ThreadPeriodicTimer::threadMain, this) != 0) {
        threadStarted_ = false;
        return false;
    }
    return true;
}

void ThreadPeriodicTimer::kill() {
    if (!threadStarted_) return;
    stopRequested_.store(true, std::memory_order_release);
    if (timerOfThisThread == this) return;
    // At most one period: the thread notices the request when its sleep ends.
    ::pthread_join(thread_, nullptr);
    threadStarted_ = false;
}

void* ThreadPeriodicTimer::threadMain(void* self) {
    timerOfThisThread = static_cast<ThreadPeriodicTimer*>(self);
    static_cast<ThreadPeriodicTimer*>(self)->runTicks();
    return nullptr;
}

void ThreadPeriodicTimer::runTicks() {
    const long long period = static_cast<long long>(periodMs_) * 1'000'000LL;
    timespec deadline{};
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    addNanos(deadline, period);
    while (!stopRequested_.load(std::memory_order_acquire)) {
        const int rc = ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
        if (rc == EINTR) continue;
        if (stopRequested_.load(std::memory_order_acquire)) break;
        callback_->onTimer();
        // Next deadline on the original grid; deadlines that have already
        // passed during a long callback are skipped, not made up.
        addNanos(deadline, period);
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const long long behind = nanosBetween(deadline, now);
        if (behind > 0) addNanos(deadline, (behind / period + 1) * period);
    }
}

}  // namespace vorpel
