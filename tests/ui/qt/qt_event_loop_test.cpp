// The window thread's loop on the Qt event loop: posted messages in order
// from any thread, quit, the one-shot readiness of watched descriptors, and
// messages held back while a dialog runs.
#include "ui/qt/qt_event_loop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <thread>
#include <vector>

namespace vorpel {
namespace {

// A connected pair of datagram sockets: a is watched, b writes to it.
class SocketPair {
public:
    SocketPair() { ::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_); }
    ~SocketPair() {
        closeA();
        ::close(fds_[1]);
    }
    int a() const { return fds_[0]; }
    void send() const { [[maybe_unused]] ssize_t n = ::write(fds_[1], "x", 1); }
    bool receive() const {
        char byte = 0;
        return ::read(fds_[0], &byte, 1) == 1;
    }
    void closeA() {
        if (fds_[0] >= 0) ::close(fds_[0]);
        fds_[0] = -1;
    }

private:
    int fds_[2] = {-1, -1};
};

struct Reports {
    int readable = 0;
    int writable = 0;
    std::vector<std::thread::id> threads;
    QtEventLoop* unwatchOn = nullptr;  // set: the handler unwatches its descriptor
    int fd = -1;

    static void handler(void* self, unsigned readiness) {
        auto& me = *static_cast<Reports*>(self);
        (readiness == FD_READABLE ? me.readable : me.writable)++;
        me.threads.push_back(std::this_thread::get_id());
        if (me.unwatchOn != nullptr) me.unwatchOn->unwatchFd(me.fd);
    }
};

// Several rounds of the Qt loop: each handles what is posted and polls the
// descriptors once.
void rounds(int n = 30) {
    for (int i = 0; i < n; ++i) QCoreApplication::processEvents();
}

class Recorder : public LoopMessageHandler {
public:
    Recorder(EventLoop& loop, size_t quitAfter) : loop_(loop), quitAfter_(quitAfter) {}
    void handleMessage(const LoopMessage& message) override {
        ids.push_back(message.id);
        threads.push_back(std::this_thread::get_id());
        if (ids.size() == quitAfter_) loop_.quit();
    }
    std::vector<uint32_t> ids;
    std::vector<std::thread::id> threads;

private:
    EventLoop& loop_;
    size_t quitAfter_;
};

// Ends a run that a fault would never end, so that the test fails instead of hanging.
void guard(QtEventLoop& loop) {
    QTimer::singleShot(10000, &loop, [&loop] { loop.quit(); });
}

TEST(QtEventLoopTest, PostedMessagesArriveInOrderOnTheLoopThreadFromAnyThread) {
    QtEventLoop loop;
    constexpr uint32_t FROM_THREAD = 500;
    Recorder recorder(loop, 3 + FROM_THREAD);
    loop.setMessageHandler(&recorder);
    for (uint32_t id = 1; id <= 3; ++id) EXPECT_TRUE(loop.post(LoopMessage{id}));
    std::thread poster;
    QTimer::singleShot(0, &loop, [&] {
        poster = std::thread([&] {
            for (uint32_t id = 0; id < FROM_THREAD; ++id) loop.post(LoopMessage{100 + id});
        });
    });
    guard(loop);
    EXPECT_TRUE(loop.run());
    poster.join();
    ASSERT_EQ(recorder.ids.size(), 3 + FROM_THREAD);
    for (uint32_t i = 0; i < recorder.ids.size(); ++i) {
        EXPECT_EQ(recorder.ids[i], i < 3 ? i + 1 : 100 + (i - 3));
        EXPECT_EQ(recorder.threads[i], std::this_thread::get_id());
    }
}

TEST(QtEventLoopTest, QuitBeforeRunEndsItAtOnceAndDoesNotEndTheNextRun) {
    QtEventLoop loop;
    Recorder recorder(loop, 2);
    loop.setMessageHandler(&recorder);
    loop.quit();  // as the shell does when the audio fails before the window runs
    guard(loop);
    EXPECT_TRUE(loop.run());
    EXPECT_TRUE(recorder.ids.empty());
    loop.post(LoopMessage{7});
    loop.post(LoopMessage{8});
    EXPECT_TRUE(loop.run());
    EXPECT_EQ(recorder.ids, (std::vector<uint32_t>{7, 8}));
}

TEST(QtEventLoopTest, AFullQueueRefusesMessagesWithoutAHandlerAreDroppedSuspendedOnesWait) {
    QtEventLoop loop;
    for (size_t i = 0; i < QtEventLoop::MESSAGE_CAPACITY; ++i) ASSERT_TRUE(loop.post(LoopMessage{1}));
    EXPECT_FALSE(loop.post(LoopMessage{2}));
    rounds();  // no handler: all dropped
    Recorder recorder(loop, 0);
    loop.setMessageHandler(&recorder);
    loop.suspendMessages(true);  // a modal dialog runs
    loop.post(LoopMessage{3});
    loop.post(LoopMessage{4});
    rounds();
    EXPECT_TRUE(recorder.ids.empty());
    loop.suspendMessages(false);
    loop.post(LoopMessage{5});
    rounds();
    EXPECT_EQ(recorder.ids, (std::vector<uint32_t>{3, 4, 5}));
}

TEST(QtEventLoopTest, ReadinessIsReportedOnceUntilReArmedAndAgainWhileItHolds) {
    QtEventLoop loop;
    SocketPair pair;
    Reports reports;
    pair.send();
    ASSERT_TRUE(loop.watchFd(pair.a(), &Reports::handler, &reports));
    rounds();
    EXPECT_EQ(reports.readable, 1);  // the datagram still waits, but once is all
    EXPECT_EQ(reports.writable, 0);  // writability is not armed by the watch
    loop.armReadable(pair.a());
    rounds();
    EXPECT_EQ(reports.readable, 2);  // still readable when re-armed: reported again
    ASSERT_TRUE(pair.receive());
    loop.armReadable(pair.a());
    rounds();
    EXPECT_EQ(reports.readable, 2);  // armed, but nothing to read
    pair.send();
    rounds();
    EXPECT_EQ(reports.readable, 3);
    loop.armWritable(pair.a());
    loop.armWritable(pair.a());  // twice armed is still one report
    rounds();
    EXPECT_EQ(reports.writable, 1);
    for (std::thread::id id : reports.threads) EXPECT_EQ(id, std::this_thread::get_id());
    loop.unwatchFd(pair.a());
}

TEST(QtEventLoopTest, WatchTableRulesAndUnwatchingFromAHandler) {
    QtEventLoop loop;
    Reports reports;
    EXPECT_FALSE(loop.watchFd(-1, &Reports::handler, &reports));
    std::vector<std::unique_ptr<SocketPair>> pairs;
    for (size_t i = 0; i < QtEventLoop::WATCH_CAPACITY; ++i) {
        pairs.push_back(std::make_unique<SocketPair>());
        ASSERT_TRUE(loop.watchFd(pairs.back()->a(), &Reports::handler, &reports)) << i;
    }
    EXPECT_FALSE(loop.watchFd(pairs[0]->a(), &Reports::handler, &reports));  // already watched
    SocketPair extra;
    EXPECT_FALSE(loop.watchFd(extra.a(), &Reports::handler, &reports));  // table full
    // A freed slot is taken again, and a descriptor number that comes back
    // for a new socket is watched afresh.
    const int reused = pairs[5]->a();
    loop.unwatchFd(reused);
    pairs[5]->closeA();
    SocketPair fresh;
    EXPECT_EQ(fresh.a(), reused);
    ASSERT_TRUE(loop.watchFd(fresh.a(), &Reports::handler, &reports));
    fresh.send();
    rounds();
    EXPECT_EQ(reports.readable, 1);
    // A handler that unwatches its descriptor hears nothing more of it,
    // though both kinds of readiness were pending.
    reports.readable = reports.writable = 0;
    reports.unwatchOn = &loop;
    reports.fd = fresh.a();
    loop.armReadable(fresh.a());
    loop.armWritable(fresh.a());
    rounds();
    EXPECT_EQ(reports.readable + reports.writable, 1);
    loop.armReadable(fresh.a());  // not watched any more: nothing happens
    rounds();
    EXPECT_EQ(reports.readable + reports.writable, 1);
    for (auto& pair : pairs) loop.unwatchFd(pair->a());
}

TEST(QtEventLoopTest, AWatchMadeOnAnotherThreadIsReportedOnTheLoopThread) {
    QtEventLoop loop;
    SocketPair pair;
    Reports reports;
    pair.send();
    std::thread other([&] {
        loop.watchFd(pair.a(), &Reports::handler, &reports);
        loop.armWritable(pair.a());
    });
    other.join();
    rounds();
    EXPECT_EQ(reports.readable, 1);
    EXPECT_EQ(reports.writable, 1);
    for (std::thread::id id : reports.threads) EXPECT_EQ(id, std::this_thread::get_id());
    std::thread([&] { loop.unwatchFd(pair.a()); }).join();
    pair.send();
    loop.armReadable(pair.a());
    rounds();
    EXPECT_EQ(reports.readable, 1);
}

}  // namespace
}  // namespace vorpel
