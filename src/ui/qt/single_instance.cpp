#include "ui/qt/single_instance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalSocket>
#include <QThread>
#include <cstdlib>

namespace vorpel {

namespace {

constexpr char RAISE_REQUEST[] = "raise\n";

}  // namespace

SingleInstance::SingleInstance(std::string executablePath)
    : executablePath_(executablePath.empty() ? ownExecutablePath() : std::move(executablePath)) {}

QString SingleInstance::serverName(const std::string& executablePath) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(executablePath), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    const std::string folder = instanceLockDirectory(std::getenv("XDG_RUNTIME_DIR"));
    return QString::fromStdString(folder) + QStringLiteral("/vorpel-window-%1-").arg(::getuid()) +
           QString::fromLatin1(digest);
}

SingleInstance::Outcome SingleInstance::start(std::function<void()> onRaise) {
    const QString name = serverName(executablePath_);
    lock_ = acquireInstanceLock(executablePath_);
    if (!lock_) {
        for (int attempt = 0; attempt < CONNECT_TRIES; ++attempt) {
            QLocalSocket socket;
            socket.connectToServer(name);
            if (socket.waitForConnected(CONNECT_WAIT_MS)) {
                socket.write(RAISE_REQUEST);
                socket.waitForBytesWritten(CONNECT_WAIT_MS);
                socket.disconnectFromServer();
                return Outcome::RaisedAnother;
            }
            QThread::msleep(CONNECT_WAIT_MS);
        }
        return Outcome::AnotherUnreachable;
    }
    onRaise_ = std::move(onRaise);
    // Holding the lock, no live instance owns the name: a socket file left by
    // a crashed one is removed.
    QLocalServer::removeServer(name);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            peer->disconnectFromServer();
            peer->deleteLater();
            if (onRaise_) onRaise_();
        }
    });
    server_.listen(name);  // without it a later start still ends, after its tries
    return Outcome::First;
}

}  // namespace vorpel
