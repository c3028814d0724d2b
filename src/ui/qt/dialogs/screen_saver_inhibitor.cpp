#include "ui/qt/dialogs/screen_saver_inhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace vorpel {

namespace {

// The freedesktop screen-saver service.
const QString SERVICE = QStringLiteral("org.freedesktop.ScreenSaver");
const QString PATH = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString INTERFACE = QStringLiteral("org.freedesktop.ScreenSaver");
constexpr int REPLY_TIMEOUT_MS = 5000;

QDBusMessage screenSaverCall(const QString& method) {
    return QDBusMessage::createMethodCall(SERVICE, PATH, INTERFACE, method);
}

}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor() : ScreenSaverInhibitor(QDBusConnection::sessionBus()) {}

ScreenSaverInhibitor::ScreenSaverInhibitor(const QDBusConnection& bus)
    : bus_(bus), context_(std::make_unique<QObject>()) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
    context_.reset();  // drops queued requests and the watcher of a pending one
    if (cookie_) {
        QDBusMessage release = screenSaverCall(QStringLiteral("UnInhibit"));
        release << *cookie_;
        bus_.send(release);
    }
}

void ScreenSaverInhibitor::holdBacklight(bool on) {
    QMetaObject::invokeMethod(
        context_.get(),
        [this, on] {
            wanted_ = on;
            apply();
        },
        Qt::QueuedConnection);
}

void ScreenSaverInhibitor::apply() {
    if (!bus_.isConnected() || asking_) return;  // a pending request applies again when answered
    if (wanted_ && !cookie_) {
        QDBusMessage inhibit = screenSaverCall(QStringLiteral("Inhibit"));
        inhibit << QStringLiteral("Vorpel") << QStringLiteral("A call or a ring is playing");
        auto* watcher =
            new QDBusPendingCallWatcher(bus_.asyncCall(inhibit, REPLY_TIMEOUT_MS), context_.get());
        asking_ = true;
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context_.get(),
                         [this](QDBusPendingCallWatcher* done) {
                             done->deleteLater();
                             inhibitAnswered(*done);
                         });
    } else if (!wanted_ && cookie_) {
        QDBusMessage release = screenSaverCall(QStringLiteral("UnInhibit"));
        release << *cookie_;
        cookie_.reset();
        bus_.send(release);
    }
}

void ScreenSaverInhibitor::inhibitAnswered(const QDBusPendingCall& call) {
    asking_ = false;
    const QDBusPendingReply<uint32_t> reply(call);
    // A refused or unanswered request holds nothing; the next start asks again.
    if (reply.isError()) return;
    cookie_ = reply.value();
    apply();
}

void simulateUserActivity(const QDBusConnection& bus) {
    if (!bus.isConnected()) return;
    bus.send(screenSaverCall(QStringLiteral("SimulateUserActivity")));
}

void resetDesktopIdleTimer() { simulateUserActivity(QDBusConnection::sessionBus()); }

}  // namespace vorpel
