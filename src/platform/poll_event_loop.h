// The console front end's window-thread loop: poll() over an eventfd that
// wakes it for posted messages and quit, and over the watched descriptors.
//
// Fixed-size tables: at most MESSAGE_CAPACITY queued messages and
// WATCH_CAPACITY watched descriptors; nothing allocates after construction.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/event_loop.h"
#include "platform/loop_tables.h"

namespace vorpel {

class PollEventLoop final : public EventLoop {
public:
    static constexpr size_t MESSAGE_CAPACITY = 1024;
    static constexpr size_t WATCH_CAPACITY = 32;

    PollEventLoop();
    ~PollEventLoop() override;
    PollEventLoop(const PollEventLoop&) = delete;
    PollEventLoop& operator=(const PollEventLoop&) = delete;

    // False when the wake-up descriptor could not be created; run() then
    // returns false at once.
    bool valid() const { return wakeFd_ >= 0; }

    void setMessageHandler(LoopMessageHandler* handler) override;
    bool post(const LoopMessage& message) override;
    bool watchFd(int fd, FdHandler handler, void* context) override;
    void armReadable(int fd) override;
    void armWritable(int fd) override;
    void unwatchFd(int fd) override;
    bool run() override;
    void quit() override;

private:
    // Sets one interest of fd; wakes the loop when called on another thread.
    void arm(int fd, bool FdWatch::*interest);
    bool onLoopThread() const;
    void wake();
    void handleMessages();
    // Hands one ready descriptor to its handler if the watch is still the one
    // polled (same generation) and still interested.
    void dispatch(size_t slot, uint64_t generation, short revents);

    int wakeFd_ = -1;
    std::atomic<bool> quitRequested_{false};
    std::atomic<std::thread::id> loopThread_{};
    LoopMessageHandler* messageHandler_ = nullptr;  // loop thread only

    std::mutex mutex_;  // guards the queue and the watches
    MessageRing<MESSAGE_CAPACITY> queue_;
    WatchTable<WATCH_CAPACITY> watches_;
};

}  // namespace vorpel
