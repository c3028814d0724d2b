// Desktop notifications (the freedesktop notification service on the session
// bus), for telling the user that the terminal rings while its window is not
// the active one. Each notification replaces the previous one of the same
// notifier, so a repeated ring shows once; a text asked for while the previous
// one still waits for its number is sent when that number has come, and only
// the last such text. Without a session bus, or without the service, nothing
// is shown.
//
// Threads: the creating thread only; no call waits for the bus.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

namespace vorpel {

class DesktopNotifier {
public:
    // On the session bus.
    DesktopNotifier();
    explicit DesktopNotifier(const QDBusConnection& bus);
    ~DesktopNotifier();
    DesktopNotifier(const DesktopNotifier&) = delete;
    DesktopNotifier& operator=(const DesktopNotifier&) = delete;

    void notify(const QString& summary, const QString& body);

    // The service's number for the notification shown last, 0 before any.
    uint32_t shownId() const { return shownId_; }

private:
    void send(const QString& summary, const QString& body);

    QDBusConnection bus_;
    std::unique_ptr<QObject> context_;  // owns the watchers of pending replies
    uint32_t shownId_ = 0;
    bool asking_ = false;
    // The text asked for while an earlier one waits for its number.
    std::optional<std::pair<QString, QString>> next_;
};

}  // namespace vorpel
