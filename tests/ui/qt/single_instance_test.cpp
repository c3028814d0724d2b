// One window per executable and user: a later start asks the running one to
// come to the front and ends; the lock and the socket name follow the
// executable's path.
#include "ui/qt/single_instance.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>

namespace vorpel {
namespace {

TEST(SingleInstance, ALaterStartRaisesTheRunningWindowAndAFreshStartFollowsAnEnd) {
    const QTemporaryDir runtime_;  // the lock files and sockets go here
    ::setenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit().constData(), 1);
    const std::string program = "/opt/some where/bin/vorpel";
    int raises = 0;
    {
        SingleInstance first(program);
        ASSERT_EQ(first.start([&raises] { ++raises; }), SingleInstance::Outcome::First);
        const QString name = SingleInstance::serverName(program);
        EXPECT_TRUE(name.startsWith(runtime_.path() + "/"));
        EXPECT_LT(name.toLocal8Bit().size(), 100);  // fits a local socket's address
        EXPECT_TRUE(QFileInfo::exists(name));

        SingleInstance second(program);
        EXPECT_EQ(second.start([] { FAIL() << "the later start must not listen"; }),
                  SingleInstance::Outcome::RaisedAnother);
        EXPECT_TRUE(QTest::qWaitFor([&raises] { return raises == 1; }, 5000));

        // Another executable (another path) is another program.
        SingleInstance other("/opt/another/bin/vorpel");
        EXPECT_EQ(other.start([] {}), SingleInstance::Outcome::First);
        EXPECT_NE(SingleInstance::serverName("/opt/another/bin/vorpel"), name);
    }
    // The first instance has ended (its socket file may stay behind, as after
    // a crash): the next start runs.
    SingleInstance next(program);
    EXPECT_EQ(next.start([] {}), SingleInstance::Outcome::First);
    EXPECT_EQ(raises, 1);
}

}  // namespace
}  // namespace vorpel
