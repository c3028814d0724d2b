#include "platform/thread_periodic_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace vorpel {
namespace {

using Clock = std::chrono::steady_clock;

// Records when each callback starts and, optionally, takes a while over it.
class TickLog : public TimerCallback {
public:
    explicit TickLog(std::chrono::milliseconds work = {}) : work_(work) {}
    void onTimer() override {
        {
            std::lock_guard lock(mutex_);
            starts_.push_back(Clock::now());
            thread_ = std::this_thread::get_id();
        }
        inCallback.store(true);
        changed_.notify_all();
        if (work_.count() > 0) std::this_thread::sleep_for(work_);
        inCallback.store(false);
    }
    // Waits (at most 10 s) until count callbacks have started.
    bool waitFor(size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return starts_.size() >= count; });
    }
    std::vector<Clock::time_point> starts() {
        std::lock_guard lock(mutex_);
        return starts_;
    }
    std::thread::id thread() {
        std::lock_guard lock(mutex_);
        return thread_;
    }
    std::atomic<bool> inCallback{false};

private:
    std::chrono::milliseconds work_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Clock::time_point> starts_;
    std::thread::id thread_;
};

TEST(ThreadPeriodicTimer, LongCallbacksDoNotDelayLaterTicks) {
    // Each callback takes 40 of the 50 ms. A timer that slept a period after
    // each callback could never start two ticks less than 90 ms apart, so
    // nine gaps would take at least 810 ms; on absolute deadlines they take
    // 450 ms, and a loaded machine that makes it skip a few deadlines still
    // stays well below the bound.
    constexpr auto PERIOD = std::chrono::milliseconds(50);
    constexpr auto WORK = std::chrono::milliseconds(40);
    TickLog log(WORK);
    ThreadPeriodicTimer timer;
    const auto created = Clock::now();
    ASSERT_TRUE(timer.create(50, log));
    ASSERT_TRUE(log.waitFor(10));
    timer.kill();
    const auto starts = log.starts();
    EXPECT_NE(log.thread(), std::this_thread::get_id());
    for (size_t k = 0; k < starts.size(); ++k)
        EXPECT_GE(starts[k] - created, PERIOD * static_cast<int>(k + 1)) << "tick " << k << " came early";
    EXPECT_LT(starts[9] - starts[0], (PERIOD + WORK) * 9);
}

TEST(ThreadPeriodicTimer, NoCallbackStartsAfterKillReturns) {
    TickLog log(std::chrono::milliseconds(5));
    ThreadPeriodicTimer timer;
    ASSERT_TRUE(timer.create(10, log));
    ASSERT_TRUE(log.waitFor(3));
    timer.kill();
    EXPECT_FALSE(log.inCallback.load());
    const size_t count = log.starts().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(log.starts().size(), count);
    timer.kill();  // a second kill does nothing
}

TEST(ThreadPeriodicTimer, RefusesAZeroPeriodAndASecondCreateButRestartsAfterKill) {
    TickLog log;
    ThreadPeriodicTimer timer;
    EXPECT_FALSE(timer.create(0, log));
    ASSERT_TRUE(timer.create(10, log));
    EXPECT_FALSE(timer.create(10, log));
    timer.kill();
    ASSERT_TRUE(timer.create(10, log));
    EXPECT_TRUE(log.waitFor(2));
    timer.kill();
}

class SelfKiller : public TimerCallback {
public:
    ThreadPeriodicTimer timer;
    std::atomic<int> calls{0};
    void onTimer() override {
        if (++calls == 2) timer.kill();
    }
};

TEST(ThreadPeriodicTimer, KillFromItsOwnCallbackEndsTheTicks) {
    SelfKiller killer;
    ASSERT_TRUE(killer.timer.create(10, killer));
    for (int i = 0; i < 200 && killer.calls.load() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(killer.calls.load(), 2);
}

}  // namespace
}  // namespace vorpel
