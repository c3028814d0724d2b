// The window thread's event loop: messages posted from any thread, and
// readiness of file descriptors, all handled on the one thread that runs the
// loop (the thread that runs the phone window, its dialogs and its sockets).
//
// The console front end runs PollEventLoop; a Qt front end supplies its own
// implementation over the Qt event loop (posted events for post(), socket
// notifiers for the descriptor watches).
//
// Threads:
// - post(), armWritable(), unwatchFd() and quit() may be called on any thread.
// - watchFd() may be called on any thread; the handler always runs on the
//   loop thread.
// - run() runs on the thread that calls it until quit(); every message and
//   every descriptor handler runs inside it.
#pragma once

#include <cstdint>

namespace vorpel {

// A posted message: a number, handled in the order posted.
struct LoopMessage {
    uint32_t id = 0;
};

class LoopMessageHandler {
public:
    virtual ~LoopMessageHandler() = default;
    virtual void handleMessage(const LoopMessage& message) = 0;
};

// Readiness bits handed to an FdHandler.
inline constexpr unsigned FD_READABLE = 1u;
inline constexpr unsigned FD_WRITABLE = 2u;

// Called on the loop thread with FD_READABLE or FD_WRITABLE.
//
// Both kinds of readiness are reported once and then lapse until re-armed,
// as a socket layer's "data can be received" and "data can be sent"
// notifications do: a receiver re-arms after each read (armReadable), a
// sender after a send that would have blocked (armWritable). Readiness that
// still holds when re-armed is reported again on the next round.
using FdHandler = void (*)(void* context, unsigned readiness);

class EventLoop {
public:
    virtual ~EventLoop() = default;

    // Where posted messages go; set before run(), on the loop thread. Messages
    // posted while no handler is set are dropped when they come up.
    virtual void setMessageHandler(LoopMessageHandler* handler) = 0;

    // Queues a message without waiting. Returns false (and drops the message)
    // when the queue is full.
    virtual bool post(const LoopMessage& message) = 0;

    // Starts watching fd with readability armed and writability not. Returns
    // false when fd is negative, already watched, or the loop's table of
    // watches is full.
    virtual bool watchFd(int fd, FdHandler handler, void* context) = 0;

    // Reports fd as readable (writable) once, the next time it is. Nothing
    // happens for an unwatched fd.
    virtual void armReadable(int fd) = 0;
    virtual void armWritable(int fd) = 0;

    // Stops reporting fd. Called on the loop thread, no handler for fd runs
    // after it returns. Called on another thread, a handler for fd that the
    // loop has already picked up may still run once: the handler's context
    // must outlive that (the transport's contexts live as long as the loop).
    virtual void unwatchFd(int fd) = 0;

    // Handles messages and readiness until quit(). Returns false when the loop
    // cannot run at all.
    virtual bool run() = 0;

    // Makes run() return at the end of the current round: the messages and
    // readiness that the loop has already picked up are still handled.
    virtual void quit() = 0;
};

}  // namespace vorpel
