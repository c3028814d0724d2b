// Ctrl-C, a termination request and a hang-up are the platform's close
// request: the phone window closes and the program shuts down in order
// (settings saved, sockets closed). The signals are blocked when this object
// is made, so make it before any thread starts (threads inherit the mask);
// they are then read through a descriptor on the window thread's loop.
#pragma once

#include <signal.h>

#include "app/phone_app.h"
#include "platform/event_loop.h"

namespace vorpel {

class CloseRequests {
public:
    CloseRequests();
    ~CloseRequests();
    CloseRequests(const CloseRequests&) = delete;
    CloseRequests& operator=(const CloseRequests&) = delete;

    // From now on each request closes app's window. False when the signals
    // cannot be read (they then stay blocked and are ignored).
    bool watch(EventLoop& loop, PhoneApp& app);

private:
    static void onSignal(void* self, unsigned readiness);

    sigset_t signals_{};
    int fd_ = -1;
    EventLoop* loop_ = nullptr;
    PhoneApp* app_ = nullptr;
};

}  // namespace vorpel
