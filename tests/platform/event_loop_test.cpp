// The poll loop: messages from any thread, fd watches armed once. A loop that
// a broken implementation never leaves fails through the test timeout.
#include "platform/poll_event_loop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <atomic>
#include <thread>
#include <vector>

namespace vorpel {
namespace {

class Recorder : public LoopMessageHandler {
public:
    explicit Recorder(EventLoop& loop, size_t quitAfter) : loop_(loop), quitAfter_(quitAfter) {}
    void handleMessage(const LoopMessage& message) override {
        threads.push_back(std::this_thread::get_id());
        messages.push_back(message);
        if (messages.size() == quitAfter_) loop_.quit();
    }
    std::vector<LoopMessage> messages;
    std::vector<std::thread::id> threads;

private:
    EventLoop& loop_;
    size_t quitAfter_;
};

struct Pipe {
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
            readFd = fds[0];
            writeFd = fds[1];
        }
    }
    ~Pipe() {
        if (readFd >= 0) ::close(readFd);
        if (writeFd >= 0) ::close(writeFd);
    }
    void put() const { ASSERT_EQ(::write(writeFd, "x", 1), 1); }
    int readFd = -1;
    int writeFd = -1;
};

TEST(PollEventLoopMessages, PostedFromManyThreadsArriveOnTheLoopThreadInEachSendersOrder) {
    PollEventLoop loop;
    ASSERT_TRUE(loop.valid());
    constexpr size_t SENDERS = 4;
    constexpr size_t PER_SENDER = 200;
    Recorder recorder(loop, SENDERS * PER_SENDER);
    loop.setMessageHandler(&recorder);

    std::vector<std::thread> senders;
    for (size_t s = 0; s < SENDERS; ++s)
        senders.emplace_back([&loop, s] {
            for (size_t i = 0; i < PER_SENDER; ++i)
                while (!loop.post(LoopMessage{static_cast<uint32_t>(s * PER_SENDER + i)}))
                    std::this_thread::yield();
        });
    EXPECT_TRUE(loop.run());
    for (auto& t : senders) t.join();

    ASSERT_EQ(recorder.messages.size(), SENDERS * PER_SENDER);
    std::vector<size_t> next(SENDERS, 0);
    for (size_t i = 0; i < recorder.messages.size(); ++i) {
        const size_t sender = recorder.messages[i].id / PER_SENDER;
        ASSERT_LT(sender, SENDERS);
        EXPECT_EQ(recorder.messages[i].id % PER_SENDER, next[sender])
            << "sender " << sender << " out of order";
        ++next[sender];
        EXPECT_EQ(recorder.threads[i], std::this_thread::get_id());
    }
}

TEST(PollEventLoopMessages, FullQueueRefusesWithoutLosingWhatItHolds) {
    PollEventLoop loop;
    Recorder recorder(loop, PollEventLoop::MESSAGE_CAPACITY);
    loop.setMessageHandler(&recorder);
    for (size_t i = 0; i < PollEventLoop::MESSAGE_CAPACITY; ++i)
        ASSERT_TRUE(loop.post(LoopMessage{static_cast<uint32_t>(i)}));
    EXPECT_FALSE(loop.post(LoopMessage{9999}));
    loop.run();
    ASSERT_EQ(recorder.messages.size(), PollEventLoop::MESSAGE_CAPACITY);
    for (size_t i = 0; i < recorder.messages.size(); ++i) EXPECT_EQ(recorder.messages[i].id, i);
    // Room again once handled.
    EXPECT_TRUE(loop.post(LoopMessage{1}));
}

TEST(PollEventLoopMessages, QuitBeforeRunReturnsAtOnceAndTheLoopCanRunAgain) {
    PollEventLoop loop;
    loop.quit();
    EXPECT_TRUE(loop.run());
    Recorder recorder(loop, 1);
    loop.setMessageHandler(&recorder);
    std::thread poster([&loop] { loop.post(LoopMessage{3}); });
    loop.run();
    poster.join();
    EXPECT_EQ(recorder.messages.size(), 1u);
}

struct FdLog {
    explicit FdLog(EventLoop* owner, int unwatch = -1, size_t quitAt = 1, bool post = false)
        : loop(owner), unwatchOnEvent(unwatch), quitAfter(quitAt), postOnEvent(post) {}
    EventLoop* loop = nullptr;
    std::vector<unsigned> events;
    int unwatchOnEvent = -1;  // fd to unwatch from inside the handler
    size_t quitAfter = 1;
    bool postOnEvent = false;  // lets the next round end the loop through a message
};

void logFd(void* context, unsigned readiness) {
    auto* log = static_cast<FdLog*>(context);
    log->events.push_back(readiness);
    if (log->unwatchOnEvent >= 0) log->loop->unwatchFd(log->unwatchOnEvent);
    if (log->postOnEvent) log->loop->post(LoopMessage{});
    if (log->events.size() >= log->quitAfter) log->loop->quit();
}

TEST(PollEventLoopWatches, ReadabilityIsReportedOnceUntilRearmed) {
    PollEventLoop loop;
    Pipe pipe;
    FdLog log{&loop};
    ASSERT_TRUE(loop.watchFd(pipe.readFd, &logFd, &log));
    pipe.put();
    loop.run();
    ASSERT_EQ(log.events, std::vector<unsigned>{FD_READABLE});

    // Still readable but not re-armed: only the message shows up.
    Recorder recorder(loop, 1);
    loop.setMessageHandler(&recorder);
    loop.post(LoopMessage{});
    loop.run();
    EXPECT_EQ(log.events.size(), 1u);

    // Re-armed while the byte still waits: reported again.
    log.quitAfter = 2;
    loop.armReadable(pipe.readFd);
    loop.run();
    EXPECT_EQ(log.events, (std::vector<unsigned>{FD_READABLE, FD_READABLE}));
}

TEST(PollEventLoopWatches, WritabilityIsReportedOnlyWhenArmedAndOnlyOnce) {
    PollEventLoop loop;
    Pipe pipe;
    FdLog log{&loop};
    ASSERT_TRUE(loop.watchFd(pipe.writeFd, &logFd, &log));
    loop.armWritable(pipe.writeFd);
    loop.run();
    EXPECT_EQ(log.events, std::vector<unsigned>{FD_WRITABLE});

    Recorder recorder(loop, 1);
    loop.setMessageHandler(&recorder);
    loop.post(LoopMessage{});
    loop.run();
    EXPECT_EQ(log.events.size(), 1u);
}

TEST(PollEventLoopWatches, ArmingFromAnotherThreadWakesTheLoop) {
    PollEventLoop loop;
    Pipe pipe;
    FdLog log{&loop};
    ASSERT_TRUE(loop.watchFd(pipe.writeFd, &logFd, &log));
    std::thread armer([&loop, &pipe] { loop.armWritable(pipe.writeFd); });
    loop.run();
    armer.join();
    EXPECT_EQ(log.events, std::vector<unsigned>{FD_WRITABLE});
}

TEST(PollEventLoopWatches, UnwatchedInsideAnotherHandlerIsNotCalledInTheSameRound) {
    PollEventLoop loop;
    Pipe first;
    Pipe second;
    // Whichever of the two is handled first unwatches the other; the message
    // it posts ends the loop on the next round.
    FdLog firstLog{&loop, second.readFd, 100, true};
    FdLog secondLog{&loop, first.readFd, 100, true};
    ASSERT_TRUE(loop.watchFd(first.readFd, &logFd, &firstLog));
    ASSERT_TRUE(loop.watchFd(second.readFd, &logFd, &secondLog));
    first.put();
    second.put();
    Recorder recorder(loop, 1);
    loop.setMessageHandler(&recorder);
    loop.run();
    EXPECT_EQ(firstLog.events.size() + secondLog.events.size(), 1u);
}

TEST(PollEventLoopWatches, RefusesBadDuplicateAndExcessWatches) {
    PollEventLoop loop;
    FdLog log{&loop};
    EXPECT_FALSE(loop.watchFd(-1, &logFd, &log));
    std::vector<Pipe> pipes(PollEventLoop::WATCH_CAPACITY + 1);
    for (size_t i = 0; i < PollEventLoop::WATCH_CAPACITY; ++i)
        ASSERT_TRUE(loop.watchFd(pipes[i].readFd, &logFd, &log));
    EXPECT_FALSE(loop.watchFd(pipes[0].readFd, &logFd, &log));
    EXPECT_FALSE(loop.watchFd(pipes.back().readFd, &logFd, &log));
    loop.unwatchFd(pipes[3].readFd);
    EXPECT_TRUE(loop.watchFd(pipes.back().readFd, &logFd, &log));
}

}  // namespace
}  // namespace vorpel
