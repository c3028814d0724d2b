#include "private_bus.h"

#include <QDeadlineTimer>
#include <QTest>

namespace vorpel::test {

namespace {

constexpr int STARTUP_WAIT_MS = 5000;

}  // namespace

PrivateBus::PrivateBus() {
    daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                  QStringLiteral("--print-address")});
    if (!daemon_.waitForStarted(STARTUP_WAIT_MS)) return;
    QDeadlineTimer deadline(STARTUP_WAIT_MS);
    while (!daemon_.canReadLine() && !deadline.hasExpired()) daemon_.waitForReadyRead(100);
    if (daemon_.canReadLine()) address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    for (const QString& name : connections_) QDBusConnection::disconnectFromBus(name);
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(STARTUP_WAIT_MS)) daemon_.kill();
        daemon_.waitForFinished(STARTUP_WAIT_MS);
    }
}

QDBusConnection PrivateBus::connect(const QString& name) {
    connections_.push_back(name);
    return QDBusConnection::connectToBus(address_, name);
}

bool FakeService::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    std::unique_lock lock(mutex_);
    calls_.push_back({message.member(), message.arguments()});
    if (holding_) {
        held_.emplace_back(message, connection);
        return true;
    }
    lock.unlock();
    answer(message, connection);
    return true;
}

void FakeService::answer(const QDBusMessage& message, const QDBusConnection& connection) {
    bool refuse = false;
    {
        std::lock_guard lock(mutex_);
        if (refused_ == message.member()) {
            refused_.clear();
            refuse = true;
        }
    }
    if (refuse) {
        connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                                 QStringLiteral("refused by the test")));
        return;
    }
    connection.send(message.createReply(answer_(message)));
}

void FakeService::holdAnswers(bool on) {
    std::lock_guard lock(mutex_);
    holding_ = on;
}

void FakeService::answerHeld() {
    std::vector<std::pair<QDBusMessage, QDBusConnection>> held;
    {
        std::lock_guard lock(mutex_);
        held.swap(held_);
    }
    for (auto& [message, connection] : held) answer(message, connection);
}

void FakeService::refuseNext(const QString& member) {
    std::lock_guard lock(mutex_);
    refused_ = member;
}

std::vector<RecordedCall> FakeService::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<QString> FakeService::members() const {
    std::vector<QString> names;
    for (const RecordedCall& call : calls()) names.push_back(call.member);
    return names;
}

bool waitUntil(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, STARTUP_WAIT_MS); }

}  // namespace vorpel::test
