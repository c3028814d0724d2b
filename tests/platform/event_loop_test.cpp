#include "platform/poll_event_loop.h"

#include "event_loop_contract.h"

namespace vorpel::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Poll, EventLoopContract, PollEventLoop);
}  // namespace vorpel::testing
