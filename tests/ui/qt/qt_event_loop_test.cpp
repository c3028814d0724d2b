// The window thread's loop on the Qt event loop keeps the loop contract, and
// holds posted messages back while a modal dialog runs.
#include "ui/qt/qt_event_loop.h"

#include <QCoreApplication>

#include "event_loop_contract.h"

namespace vorpel::testing {

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, EventLoopContract, QtEventLoop);

using QtEventLoopMessages = EventLoopContract<QtEventLoop>;

TEST_F(QtEventLoopMessages, SuspendedOnesWaitForTheEndOfTheDialog) {
    loop.suspendMessages(true);
    loop.post(LoopMessage{3});
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    EXPECT_TRUE(ids.empty());
    loop.suspendMessages(false);
    loop.post(LoopMessage{4});
    quitAfter = 2;
    runGuarded();
    EXPECT_EQ(ids, (std::vector<uint32_t>{3, 4}));
}

}  // namespace vorpel::testing
