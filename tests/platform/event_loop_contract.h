// What every EventLoop promises, as a typed suite: a loop's own test file
// instantiates it with INSTANTIATE_TYPED_TEST_SUITE_P(Name, EventLoopContract, LoopType).
// A watchdog quits a run after a generous deadline, so that a lost wake-up
// fails the test (the messages it waited for are missing) instead of hanging it.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/event_loop.h"

namespace vorpel::testing {

// A connected pair of datagram sockets: a is watched, b writes to it.
struct SocketPair {
    SocketPair() { ::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds); }
    ~SocketPair() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    int a() const { return fds[0]; }
    void send() const { [[maybe_unused]] const auto n = ::write(fds[1], "x", 1); }
    int fds[2] = {-1, -1};
};

struct FdReports {
    explicit FdReports(EventLoop* owner) : loop(owner) {}
    EventLoop* loop;
    int readable = 0, writable = 0;
    int unwatch = -1;  // a descriptor the handler unwatches
    std::vector<std::thread::id> threads;
    static void handler(void* self, unsigned readiness) {
        auto& me = *static_cast<FdReports*>(self);
        (readiness == FD_READABLE ? me.readable : me.writable)++;
        me.threads.push_back(std::this_thread::get_id());
        if (me.unwatch >= 0) me.loop->unwatchFd(me.unwatch);
        me.loop->quit();
    }
};

template <class Loop>
class EventLoopContract : public ::testing::Test, public LoopMessageHandler {
protected:
    EventLoopContract() { loop.setMessageHandler(this); }
    void handleMessage(const LoopMessage& message) override {
        ids.push_back(message.id);
        threads.push_back(std::this_thread::get_id());
        if (onMessage) onMessage(message.id);
        if (ids.size() == quitAfter) loop.quit();
    }
    void runGuarded() {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false, hung = false;
        std::thread watchdog([&] {
            std::unique_lock lock(mutex);
            if (ended.wait_for(lock, std::chrono::seconds(20), [&] { return done; })) return;
            hung = true;
            loop.quit();
        });
        EXPECT_TRUE(loop.run());
        {
            const std::lock_guard lock(mutex);
            done = true;
        }
        ended.notify_one();
        watchdog.join();
        EXPECT_FALSE(hung) << "the run waited for the watchdog: a wake-up was lost";
    }
    // Lets the loop go some twenty rounds: each handled message posts the next.
    void spin() {
        onMessage = [this](uint32_t id) { loop.post(LoopMessage{id}); };
        quitAfter = ids.size() + 20;
        loop.post(LoopMessage{0});
        runGuarded();
        onMessage = nullptr;
    }
    void watch(const SocketPair& pair) { EXPECT_TRUE(loop.watchFd(pair.a(), &FdReports::handler, &reports)); }

    Loop loop;
    std::vector<uint32_t> ids;
    std::vector<std::thread::id> threads;
    std::function<void(uint32_t)> onMessage;
    size_t quitAfter = 0;
    FdReports reports{&loop};
};

TYPED_TEST_SUITE_P(EventLoopContract);

TYPED_TEST_P(EventLoopContract, MessagesFromAnyThreadArriveInEachSendersOrderOnTheLoopThread) {
    constexpr uint32_t FROM_THREAD = 500;
    for (uint32_t id = 1; id <= 3; ++id) EXPECT_TRUE(this->loop.post(LoopMessage{id}));
    std::thread poster([this] {
        for (uint32_t id = 100; id < 100 + FROM_THREAD; ++id)
            while (!this->loop.post(LoopMessage{id})) std::this_thread::yield();
    });
    this->quitAfter = 3 + FROM_THREAD;
    this->runGuarded();
    poster.join();
    ASSERT_EQ(this->ids.size(), 3 + FROM_THREAD);
    std::vector<uint32_t> mine, theirs;
    for (uint32_t id : this->ids) (id < 100 ? mine : theirs).push_back(id);
    EXPECT_EQ(mine, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_TRUE(std::is_sorted(theirs.begin(), theirs.end()));
    for (auto thread : this->threads) EXPECT_EQ(thread, std::this_thread::get_id());
}

TYPED_TEST_P(EventLoopContract, AMessagePostedByAHandlerWhileAnotherWaitsIsHandled) {
    this->onMessage = [this](uint32_t id) {
        if (id == 1) this->loop.post(LoopMessage{3});
    };
    this->loop.post(LoopMessage{1});
    this->loop.post(LoopMessage{2});
    this->quitAfter = 3;
    this->runGuarded();
    EXPECT_EQ(this->ids, (std::vector<uint32_t>{1, 2, 3}));
}

TYPED_TEST_P(EventLoopContract, QuitBeforeRunEndsThatRunOnlyAndAFullQueueLosesNothing) {
    this->loop.quit();
    this->runGuarded();
    constexpr size_t CAPACITY = TypeParam::MESSAGE_CAPACITY;
    for (uint32_t i = 0; i < CAPACITY; ++i) ASSERT_TRUE(this->loop.post(LoopMessage{i}));
    EXPECT_FALSE(this->loop.post(LoopMessage{9999}));
    this->quitAfter = CAPACITY;
    this->runGuarded();
    ASSERT_EQ(this->ids.size(), CAPACITY);
    for (uint32_t i = 0; i < CAPACITY; ++i) EXPECT_EQ(this->ids[i], i);
    EXPECT_TRUE(this->loop.post(LoopMessage{1}));  // room again once handled
}

TYPED_TEST_P(EventLoopContract, ReadinessIsReportedOnceUntilReArmedAndAgainWhileItHolds) {
    SocketPair pair;
    this->watch(pair);
    pair.send();
    this->runGuarded();
    EXPECT_EQ(this->reports.readable, 1);
    this->spin();  // the datagram still waits, but once is all
    this->loop.armReadable(pair.a());
    this->loop.armWritable(pair.a());
    this->loop.armWritable(pair.a());  // twice armed is still one report
    this->runGuarded();
    if (this->reports.readable + this->reports.writable < 3) this->runGuarded();
    this->spin();
    EXPECT_EQ(this->reports.readable, 2);
    EXPECT_EQ(this->reports.writable, 1);
    for (auto thread : this->reports.threads) EXPECT_EQ(thread, std::this_thread::get_id());
}

TYPED_TEST_P(EventLoopContract, WatchTableRulesAndUnwatchingFromAHandler) {
    EXPECT_FALSE(this->loop.watchFd(-1, &FdReports::handler, &this->reports));
    std::vector<SocketPair> pairs(TypeParam::WATCH_CAPACITY + 1);
    for (size_t i = 0; i < TypeParam::WATCH_CAPACITY; ++i)
        ASSERT_TRUE(this->loop.watchFd(pairs[i].a(), &FdReports::handler, &this->reports));
    EXPECT_FALSE(this->loop.watchFd(pairs[0].a(), &FdReports::handler, &this->reports));      // already
    EXPECT_FALSE(this->loop.watchFd(pairs.back().a(), &FdReports::handler, &this->reports));  // full
    for (size_t i = 0; i < TypeParam::WATCH_CAPACITY; ++i) this->loop.unwatchFd(pairs[i].a());
    ASSERT_TRUE(this->loop.watchFd(pairs.back().a(), &FdReports::handler, &this->reports));
    // Both kinds of readiness pending; the handler unwatches after the first.
    this->reports.unwatch = pairs.back().a();
    pairs.back().send();
    this->loop.armWritable(pairs.back().a());
    this->runGuarded();
    this->spin();
    EXPECT_EQ(this->reports.readable + this->reports.writable, 1);
}

TYPED_TEST_P(EventLoopContract, ArmingFromAnotherThreadWakesTheLoop) {
    SocketPair pair;
    this->watch(pair);
    std::thread armer([&] { this->loop.armWritable(pair.a()); });
    this->runGuarded();
    armer.join();
    EXPECT_EQ(this->reports.writable, 1);
}

REGISTER_TYPED_TEST_SUITE_P(EventLoopContract, MessagesFromAnyThreadArriveInEachSendersOrderOnTheLoopThread,
                            AMessagePostedByAHandlerWhileAnotherWaitsIsHandled,
                            QuitBeforeRunEndsThatRunOnlyAndAFullQueueLosesNothing,
                            ReadinessIsReportedOnceUntilReArmedAndAgainWhileItHolds,
                            WatchTableRulesAndUnwatchingFromAHandler, ArmingFromAnotherThreadWakesTheLoop);

}  // namespace vorpel::testing
