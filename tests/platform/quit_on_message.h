// Ends a loop on any posted message: posting one and running the loop
// handles exactly what is ready now.
#pragma once

#include "platform/event_loop.h"

namespace vorpel::testing {

class QuitOnMessage final : public LoopMessageHandler {
public:
    explicit QuitOnMessage(EventLoop& loop) : loop_(loop) {}
    void handleMessage(const LoopMessage&) override { loop_.quit(); }

private:
    EventLoop& loop_;
};

}  // namespace vorpel::testing
