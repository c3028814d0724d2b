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

// Ticks on absolute deadlines on a thread of their own, never early even
// when each callback takes most of the period; none starts after kill()
// returns; a second kill, a zero period and a second create are harmless.
TEST(ThreadPeriodicTimer, TicksNeverEarlyOnItsOwnThreadAndNoneAfterKill) {
    constexpr auto PERIOD = std::chrono::milliseconds(50);
    TickLog log(std::chrono::milliseconds(40));
    ThreadPeriodicTimer timer;
    EXPECT_FALSE(timer.create(0, log));
    const auto created = Clock::now();
    ASSERT_TRUE(timer.create(50, log));
    EXPECT_FALSE(timer.create(10, log));
    ASSERT_TRUE(log.waitFor(5));
    timer.kill();
    EXPECT_FALSE(log.inCallback.load());
    const auto starts = log.starts();
    EXPECT_NE(log.thread(), std::this_thread::get_id());
    for (size_t k = 0; k < starts.size(); ++k)
        EXPECT_GE(starts[k] - created, PERIOD * static_cast<int>(k + 1)) << "tick " << k << " came early";
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(log.starts().size(), starts.size());
    timer.kill();
    ASSERT_TRUE(timer.create(10, log));  // restarts after kill
    EXPECT_TRUE(log.waitFor(starts.size() + 2));
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
