// One phone window per executable and user on the desktop. The first
// instance holds the platform's instance lock and listens on a local socket
// named after the user and the executable's path; a later start finds the
// lock held, tells the running instance through that socket to bring its
// window to the front, and ends.
//
// Threads: GUI thread; the raise request arrives through the Qt event loop.
#pragma once

#include <QLocalServer>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "platform/instance_lock.h"

namespace vorpel {

class SingleInstance {
public:
    enum class Outcome {
        First,               // this process runs the terminal
        RaisedAnother,       // the running instance was asked to come to the front
        AnotherUnreachable,  // another instance holds the lock but did not answer
    };

    // How often, and how far apart, a later start tries to reach the running
    // instance (about 10 s in all).
    static constexpr int CONNECT_TRIES = 40;
    static constexpr int CONNECT_WAIT_MS = 250;

    // executablePath empty: the running program's own path.
    explicit SingleInstance(std::string executablePath = {});
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // onRaise runs (on the GUI thread) each time a later start asks.
    Outcome start(std::function<void()> onRaise);

    // The local socket's name: the lock folder, the user id and a digest of
    // the executable's path (short enough for a socket address).
    static QString serverName(const std::string& executablePath);

private:
    std::string executablePath_;
    std::unique_ptr<InstanceLock> lock_;
    QLocalServer server_;
    std::function<void()> onRaise_;
};

}  // namespace vorpel
