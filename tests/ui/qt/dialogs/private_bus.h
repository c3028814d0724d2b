// A session bus of the test's own (a dbus-daemon child process), and a
// stand-in for a desktop service on it that records each call it receives
// and answers as the real service would, at once or when told to.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QString>
#include <QVariantList>
#include <functional>
#include <mutex>
#include <vector>

namespace vorpel::test {

class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool running() const { return !address_.isEmpty(); }
    const QString& address() const { return address_; }
    // A new connection to the bus under the given name (closed with the bus).
    QDBusConnection connect(const QString& name);

private:
    QProcess daemon_;
    QString address_;
    std::vector<QString> connections_;
};

struct RecordedCall {
    QString member;
    QVariantList arguments;
};

class FakeService final : public QDBusVirtualObject {
public:
    // answer(call) gives the reply's arguments.
    using Answer = std::function<QVariantList(const QDBusMessage& call)>;
    explicit FakeService(Answer answer) : answer_(std::move(answer)) {}

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // Replies wait until answerHeld() while holding is on.
    void holdAnswers(bool on);
    void answerHeld();
    // The next call of that member is answered with an error.
    void refuseNext(const QString& member);
    std::vector<RecordedCall> calls() const;
    std::vector<QString> members() const;

private:
    void answer(const QDBusMessage& message, const QDBusConnection& connection);

    Answer answer_;
    mutable std::mutex mutex_;
    std::vector<RecordedCall> calls_;
    bool holding_ = false;
    std::vector<std::pair<QDBusMessage, QDBusConnection>> held_;
    QString refused_;
};

// Runs the event loop until the condition holds or 5 seconds have passed.
bool waitUntil(const std::function<bool()>& condition);

}  // namespace vorpel::test
