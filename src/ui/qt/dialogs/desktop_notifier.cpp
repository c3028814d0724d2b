#include "ui/qt/dialogs/desktop_notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace vorpel {

namespace {

constexpr int REPLY_TIMEOUT_MS = 5000;
constexpr int SERVER_DEFAULT_EXPIRY = -1;

}  // namespace

DesktopNotifier::DesktopNotifier() : DesktopNotifier(QDBusConnection::sessionBus()) {}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus)
    : bus_(bus), context_(std::make_unique<QObject>()) {}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::notify(const QString& summary, const QString& body) {
    if (!bus_.isConnected()) return;
    if (asking_) {
        next_.emplace(summary, body);
        return;
    }
    send(summary, body);
}

void DesktopNotifier::send(const QString& summary, const QString& body) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // The hint names the program's desktop entry, so the desktop can show its icon.
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("vorpel")}};
    call << QStringLiteral("Vorpel") << shownId_ << QStringLiteral("call-start") << summary << body
         << QStringList{} << hints << SERVER_DEFAULT_EXPIRY;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, REPLY_TIMEOUT_MS), context_.get());
    asking_ = true;
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context_.get(),
                     [this](QDBusPendingCallWatcher* done) {
                         done->deleteLater();
                         asking_ = false;
                         const QDBusPendingReply<uint32_t> reply(*done);
                         if (!reply.isError()) shownId_ = reply.value();
                         if (next_) {
                             const auto [nextSummary, nextBody] = std::move(*next_);
                             next_.reset();
                             send(nextSummary, nextBody);
                         }
                     });
}

}  // namespace vorpel
