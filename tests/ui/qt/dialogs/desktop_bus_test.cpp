#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <thread>

#include "private_bus.h"
#include "ui/qt/dialogs/desktop_notifier.h"
#include "ui/qt/dialogs/screen_saver_inhibitor.h"

namespace vorpel {
namespace {

using test::FakeService;
using test::waitUntil;

const QString SCREEN_SAVER = QStringLiteral("org.freedesktop.ScreenSaver");
const QString NOTIFICATIONS = QStringLiteral("org.freedesktop.Notifications");

// A private bus with a screen-saver service that hands out cookies 41, 42, ...
// and a notification service that numbers notifications 7, 8, ...
class DesktopBus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.running()) << "dbus-daemon did not start";
        service = bus.connect(QStringLiteral("service"));
        client = bus.connect(QStringLiteral("client"));
        ASSERT_TRUE(service.isConnected());
        ASSERT_TRUE(client.isConnected());
        ASSERT_TRUE(
            service.registerVirtualObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver));
        ASSERT_TRUE(service.registerService(SCREEN_SAVER));
        ASSERT_TRUE(
            service.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications));
        ASSERT_TRUE(service.registerService(NOTIFICATIONS));
    }

    // Every call of this client sent before this one has reached the services.
    void settle() {
        const size_t before = screenSaver.calls().size();
        simulateUserActivity(client);
        ASSERT_TRUE(waitUntil([&] { return screenSaver.calls().size() > before; }));
    }

    size_t count(const QString& member) const {
        const auto names = screenSaver.members();
        return static_cast<size_t>(std::count(names.begin(), names.end(), member));
    }

    test::PrivateBus bus;
    QDBusConnection service{QString()};
    QDBusConnection client{QString()};
    uint32_t nextCookie = 41;
    uint32_t nextNotification = 7;
    FakeService screenSaver{[this](const QDBusMessage& call) -> QVariantList {
        if (call.member() == QStringLiteral("Inhibit")) return {QVariant::fromValue(nextCookie++)};
        return {};
    }};
    FakeService notifications{
        [this](const QDBusMessage&) -> QVariantList { return {QVariant::fromValue(nextNotification++)}; }};
};

TEST_F(DesktopBus, TwoStartsAndOneStopFromTheAudioThreadHoldAndReleaseOnce) {
    ScreenSaverInhibitor inhibitor(client);
    std::thread audio([&inhibitor] {
        inhibitor.holdBacklight(true);
        inhibitor.holdBacklight(true);
    });
    audio.join();
    ASSERT_TRUE(waitUntil([&] { return inhibitor.cookie().has_value(); }));
    EXPECT_EQ(*inhibitor.cookie(), 41u);
    const auto inhibit = screenSaver.calls().front();
    EXPECT_EQ(inhibit.member, "Inhibit");
    ASSERT_EQ(inhibit.arguments.size(), 2);
    EXPECT_EQ(inhibit.arguments[0].toString(), "Vorpel");
    EXPECT_FALSE(inhibit.arguments[1].toString().isEmpty());

    std::thread([&inhibitor] { inhibitor.holdBacklight(false); }).join();
    ASSERT_TRUE(waitUntil([&] { return count("UnInhibit") == 1; }));
    EXPECT_EQ(screenSaver.calls().back().arguments, QVariantList{QVariant::fromValue(41u)});
    EXPECT_FALSE(inhibitor.cookie().has_value());

    // A second stop, and a stop with nothing held, change nothing.
    inhibitor.holdBacklight(false);
    settle();
    EXPECT_EQ(screenSaver.members(), (std::vector<QString>{"Inhibit", "UnInhibit", "SimulateUserActivity"}));
}

TEST_F(DesktopBus, StopBeforeTheCookieArrivesReleasesItWhenItComes) {
    ScreenSaverInhibitor inhibitor(client);
    screenSaver.holdAnswers(true);
    inhibitor.holdBacklight(true);
    ASSERT_TRUE(waitUntil([&] { return count("Inhibit") == 1; }));
    inhibitor.holdBacklight(false);
    inhibitor.holdBacklight(true);  // asked again while the first is pending: no second request
    inhibitor.holdBacklight(false);
    screenSaver.holdAnswers(false);
    screenSaver.answerHeld();
    ASSERT_TRUE(waitUntil([&] { return count("UnInhibit") == 1; }));
    EXPECT_EQ(screenSaver.calls().back().arguments, QVariantList{QVariant::fromValue(41u)});
    settle();
    EXPECT_EQ(count("Inhibit"), 1u);
    EXPECT_FALSE(inhibitor.cookie().has_value());
}

TEST_F(DesktopBus, RefusedHoldIsNotReleasedAndTheNextStartAsksAgain) {
    ScreenSaverInhibitor inhibitor(client);
    screenSaver.refuseNext(QStringLiteral("Inhibit"));
    inhibitor.holdBacklight(true);
    ASSERT_TRUE(waitUntil([&] { return count("Inhibit") == 1; }));
    settle();
    EXPECT_FALSE(inhibitor.cookie().has_value());
    inhibitor.holdBacklight(false);
    settle();
    EXPECT_EQ(count("UnInhibit"), 0u);

    inhibitor.holdBacklight(true);
    ASSERT_TRUE(waitUntil([&] { return inhibitor.cookie().has_value(); }));
    EXPECT_EQ(count("Inhibit"), 2u);
}

TEST_F(DesktopBus, HoldStillInForceIsGivenBackWhenTheInhibitorGoes) {
    {
        ScreenSaverInhibitor inhibitor(client);
        inhibitor.holdBacklight(true);
        ASSERT_TRUE(waitUntil([&] { return inhibitor.cookie().has_value(); }));
    }
    ASSERT_TRUE(waitUntil([&] { return count("UnInhibit") == 1; }));
    EXPECT_EQ(screenSaver.calls().back().arguments, QVariantList{QVariant::fromValue(41u)});
}

TEST_F(DesktopBus, IdleTimerResetReachesTheScreenSaver) {
    simulateUserActivity(client);
    simulateUserActivity(client);
    ASSERT_TRUE(waitUntil([&] { return count("SimulateUserActivity") == 2; }));
    EXPECT_TRUE(screenSaver.calls().front().arguments.isEmpty());
}

TEST_F(DesktopBus, WithoutAScreenSaverServiceNothingIsHeld) {
    ASSERT_TRUE(service.unregisterService(SCREEN_SAVER));
    ScreenSaverInhibitor inhibitor(client);
    inhibitor.holdBacklight(true);
    inhibitor.holdBacklight(false);
    QCoreApplication::processEvents();  // the request goes out and the bus refuses it
    // A notification answered on the same connection comes after that refusal.
    DesktopNotifier notifier(client);
    notifier.notify(QStringLiteral("Vorpel"), QStringLiteral("ringing"));
    ASSERT_TRUE(waitUntil([&] { return notifier.shownId() != 0; }));
    EXPECT_FALSE(inhibitor.cookie().has_value());

    // When the service comes back, nothing stale reaches it.
    ASSERT_TRUE(service.registerService(SCREEN_SAVER));
    settle();
    EXPECT_EQ(screenSaver.members(), std::vector<QString>{"SimulateUserActivity"});
}

TEST_F(DesktopBus, NotificationsReplaceTheOneShownBefore) {
    DesktopNotifier notifier(client);
    notifier.notify(QStringLiteral("Vorpel"), QStringLiteral("ringing"));
    ASSERT_TRUE(waitUntil([&] { return notifier.shownId() == 7; }));
    const auto first = notifications.calls().front();
    EXPECT_EQ(first.member, "Notify");
    ASSERT_EQ(first.arguments.size(), 8);
    EXPECT_EQ(first.arguments[0].toString(), "Vorpel");
    EXPECT_EQ(first.arguments[1].toUInt(), 0u);
    EXPECT_EQ(first.arguments[3].toString(), "Vorpel");
    EXPECT_EQ(first.arguments[4].toString(), "ringing");
    EXPECT_EQ(first.arguments[7].toInt(), -1);

    // Two rings while the service is slow: the second waits for the number of the first.
    notifications.holdAnswers(true);
    notifier.notify(QStringLiteral("Vorpel"), QStringLiteral("ringing again"));
    notifier.notify(QStringLiteral("Vorpel"), QStringLiteral("ringing once more"));
    ASSERT_TRUE(waitUntil([&] { return notifications.calls().size() == 2; }));
    notifications.holdAnswers(false);
    notifications.answerHeld();
    ASSERT_TRUE(waitUntil([&] { return notifications.calls().size() == 3; }));
    const auto calls = notifications.calls();
    EXPECT_EQ(calls[1].arguments[1].toUInt(), 7u);
    EXPECT_EQ(calls[2].arguments[1].toUInt(), 8u);
    EXPECT_EQ(calls[2].arguments[4].toString(), "ringing once more");
}

TEST(DesktopWithoutBus, NothingIsSentAndNothingHeld) {
    const QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/vorpel-bus"), QStringLiteral("none"));
    ASSERT_FALSE(none.isConnected());
    ScreenSaverInhibitor inhibitor(none);
    inhibitor.holdBacklight(true);
    simulateUserActivity(none);
    DesktopNotifier notifier(none);
    notifier.notify(QStringLiteral("Vorpel"), QStringLiteral("ringing"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(inhibitor.cookie().has_value());
    EXPECT_EQ(notifier.shownId(), 0u);
    QDBusConnection::disconnectFromBus(QStringLiteral("none"));
}

// The session-bus forms find the bus through the environment, as on a desktop.
TEST(DesktopSessionBus, DefaultFormsUseTheSessionBus) {
    test::PrivateBus bus;
    ASSERT_TRUE(bus.running());
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    QDBusConnection service = bus.connect(QStringLiteral("service"));
    FakeService screenSaver([](const QDBusMessage& call) -> QVariantList {
        if (call.member() == QStringLiteral("Inhibit")) return {QVariant::fromValue(5u)};
        return {};
    });
    ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver));
    ASSERT_TRUE(service.registerService(SCREEN_SAVER));
    resetDesktopIdleTimer();
    ScreenSaverInhibitor inhibitor;
    inhibitor.holdBacklight(true);
    ASSERT_TRUE(waitUntil([&] { return inhibitor.cookie() == 5u; }));
    EXPECT_EQ(screenSaver.members(), (std::vector<QString>{"SimulateUserActivity", "Inhibit"}));
    service.unregisterObject(QStringLiteral("/org/freedesktop/ScreenSaver"));
}

}  // namespace
}  // namespace vorpel
