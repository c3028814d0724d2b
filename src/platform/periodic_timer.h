// The periodic media timer: a callback every period on a thread of its own.
//
// Threads: create() and kill() are called by the shell on the window thread;
// the callback runs on the timer's thread, never on the window thread, and
// never two at once.
#pragma once

#include <cstdint>

namespace vorpel {

class TimerCallback {
public:
    virtual ~TimerCallback() = default;
    virtual void onTimer() = 0;
};

class PeriodicTimer {
public:
    virtual ~PeriodicTimer() = default;
    // Starts calling callback.onTimer() every periodMs milliseconds. Returns
    // false when the timer cannot start (or is already running).
    virtual bool create(uint32_t periodMs, TimerCallback& callback) = 0;
    // Stops the timer. When kill returns, no callback is running and none will
    // start. Does nothing when the timer is not running.
    virtual void kill() = 0;
};

}  // namespace vorpel
