#include "platform/poll_event_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <cerrno>

namespace vorpel {

PollEventLoop::PollEventLoop() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

PollEventLoop::~PollEventLoop() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void PollEventLoop::setMessageHandler(LoopMessageHandler* handler) { messageHandler_ = handler; }

bool PollEventLoop::onLoopThread() const {
    return loopThread_.load(std::memory_order_acquire) == std::this_thread::get_id();
}

void PollEventLoop::wake() {
    if (wakeFd_ < 0) return;
    const uint64_t one = 1;
    // A full counter (never reached in practice) still leaves the fd readable.
    [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

bool PollEventLoop::post(const LoopMessage& message) {
    bool wasEmpty = false;
    {
        std::lock_guard lock(mutex_);
        wasEmpty = queue_.size() == 0;
        if (!queue_.push(message)) return false;
    }
    // The loop reads the wake counter before it empties the queue, so one
    // wake per empty-to-non-empty step is enough.
    if (wasEmpty) wake();
    return true;
}

bool PollEventLoop::watchFd(int fd, FdHandler handler, void* context) {
    {
        std::lock_guard lock(mutex_);
        if (!watches_.add(fd, handler, context)) return false;
    }
    if (!onLoopThread()) wake();
    return true;
}

void PollEventLoop::arm(int fd, bool FdWatch::*interest) {
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        changed = watches_.arm(fd, interest);
    }
    // The loop thread rebuilds its poll set before it waits again; another
    // thread has to wake it so that the new interest is polled.
    if (changed && !onLoopThread()) wake();
}

void PollEventLoop::armReadable(int fd) { arm(fd, &FdWatch::readable); }
void PollEventLoop::armWritable(int fd) { arm(fd, &FdWatch::writable); }

void PollEventLoop::unwatchFd(int fd) {
    {
        std::lock_guard lock(mutex_);
        if (!watches_.remove(fd)) return;
    }
    if (!onLoopThread()) wake();
}

void PollEventLoop::quit() {
    quitRequested_.store(true, std::memory_order_release);
    wake();
}

void PollEventLoop::handleMessages() {
    size_t pending = 0;
    {
        std::lock_guard lock(mutex_);
        pending = queue_.size();
    }
    // Only the messages present now: a handler that keeps posting cannot
    // starve the descriptors.
    while (pending-- > 0) {
        LoopMessage message;
        {
            std::lock_guard lock(mutex_);
            if (!queue_.pop(message)) break;
        }
        if (messageHandler_ != nullptr) messageHandler_->handleMessage(message);
    }
    bool leftOver = false;
    {
        std::lock_guard lock(mutex_);
        leftOver = queue_.size() > 0;
    }
    if (leftOver) wake();
}

void PollEventLoop::dispatch(size_t slot, uint64_t generation, short revents) {
    // An error or hang-up counts as readable: the reader then collects the
    // pending error (for example an ICMP port unreachable on a connected UDP
    // socket), which clears it.
    if ((revents & POLLNVAL) != 0) {
        // Closed without unwatching: stop polling it rather than spin.
        std::lock_guard lock(mutex_);
        FdWatch& watch = watches_[slot];
        if (watch.generation == generation) watch.readable = watch.writable = false;
        return;
    }
    const bool canRead = (revents & (POLLIN | POLLERR | POLLHUP)) != 0;
    const bool canWrite = (revents & (POLLOUT | POLLERR)) != 0;
    for (unsigned readiness : {FD_READABLE, FD_WRITABLE}) {
        if (readiness == FD_READABLE ? !canRead : !canWrite) continue;
        FdHandler handler = nullptr;
        void* context = nullptr;
        {
            std::lock_guard lock(mutex_);
            FdWatch& watch = watches_[slot];
            if (watch.generation != generation) return;
            bool& interest = readiness == FD_READABLE ? watch.readable : watch.writable;
            if (!interest) continue;
            interest = false;
            handler = watch.handler;
            context = watch.context;
        }
        handler(context, readiness);
    }
}

bool PollEventLoop::run() {
    if (!valid()) return false;
    loopThread_.store(std::this_thread::get_id(), std::memory_order_release);
    std::array<pollfd, WATCH_CAPACITY + 1> fds{};
    std::array<size_t, WATCH_CAPACITY + 1> slots{};
    std::array<uint64_t, WATCH_CAPACITY + 1> generations{};
    while (!quitRequested_.load(std::memory_order_acquire)) {
        fds[0] = pollfd{wakeFd_, POLLIN, 0};
        nfds_t count = 1;
        {
            std::lock_guard lock(mutex_);
            for (size_t i = 0; i < WATCH_CAPACITY; ++i) {
                const FdWatch& watch = watches_.all()[i];
                if (watch.fd < 0 || (!watch.readable && !watch.writable)) continue;
                short events = 0;
                if (watch.readable) events = static_cast<short>(events | POLLIN);
                if (watch.writable) events = static_cast<short>(events | POLLOUT);
                fds[count] = pollfd{watch.fd, events, 0};
                slots[count] = i;
                generations[count] = watch.generation;
                ++count;
            }
        }
        const int ready = ::poll(fds.data(), count, -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents != 0) {
            uint64_t counter = 0;
            [[maybe_unused]] ssize_t got = ::read(wakeFd_, &counter, sizeof counter);
            handleMessages();
        }
        for (nfds_t i = 1; i < count; ++i)
            if (fds[i].revents != 0) dispatch(slots[i], generations[i], fds[i].revents);
    }
    quitRequested_.store(false, std::memory_order_release);
    loopThread_.store(std::thread::id{}, std::memory_order_release);
    return true;
}

}  // namespace vorpel
