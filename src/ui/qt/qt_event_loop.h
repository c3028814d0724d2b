// The window thread's event loop on top of the Qt event loop, so that the
// phone window, its dialogs, the posted tick message and the socket
// notifications all run on the one GUI thread.
//
// - Posted messages go into a fixed ring; the first message into an empty
//   ring posts one Qt event that hands every message then present to the
//   handler. While suspendMessages(true) holds (a modal dialog runs its own Qt
//   loop) messages stay queued and are handed over after the resume. A quit
//   while a modal dialog runs cancels the dialog, so that the run returns.
// - Watched descriptors use socket notifiers made at construction, two per
//   slot (read, write). A notifier that fires is disabled before its handler
//   runs: readiness is reported once and lapses until re-armed, and readiness
//   that still holds when re-armed is reported again.
// - Notifiers belong to the GUI thread, so watch changes made on another
//   thread are applied there by a posted event; the watch table itself is
//   guarded by a mutex and decides whether a notification is still wanted.
//
// Construct it on the GUI thread after the QApplication.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/event_loop.h"
#include "platform/loop_tables.h"

class QEventLoop;

namespace vorpel {

class QtEventLoop final : public QObject, public EventLoop {
public:
    static constexpr size_t MESSAGE_CAPACITY = 1024;
    static constexpr size_t WATCH_CAPACITY = 32;

    QtEventLoop();
    ~QtEventLoop() override;
    QtEventLoop(const QtEventLoop&) = delete;
    QtEventLoop& operator=(const QtEventLoop&) = delete;

    void setMessageHandler(LoopMessageHandler* handler) override;
    bool post(const LoopMessage& message) override;
    bool watchFd(int fd, FdHandler handler, void* context) override;
    void armReadable(int fd) override;
    void armWritable(int fd) override;
    void unwatchFd(int fd) override;
    bool run() override;
    void quit() override;

    // GUI thread: holds posted messages back while on (nested loops of modal
    // dialogs), hands them over when switched off.
    void suspendMessages(bool on);

protected:
    bool event(QEvent* event) override;

private:
    // What the notifiers of a slot were last set up for (GUI thread only).
    struct Applied {
        int fd = -1;
        uint64_t generation = 0;
    };

    bool onLoopThread() const;
    void arm(int fd, bool FdWatch::*interest);
    // Brings the notifiers in line with the watch table (GUI thread), or asks
    // the GUI thread to do so.
    void syncNotifiers();
    void requestSync();
    void onNotifier(size_t slot, unsigned readiness);
    void requestDrain();
    void handleMessages();

    LoopMessageHandler* messageHandler_ = nullptr;  // GUI thread only
    QEventLoop* running_ = nullptr;                 // GUI thread only
    bool suspended_ = false;                        // GUI thread only
    std::atomic<bool> quitRequested_{false};

    std::mutex mutex_;  // guards the ring, the watches and the two flags below
    MessageRing<MESSAGE_CAPACITY> queue_;
    WatchTable<WATCH_CAPACITY> watches_;
    bool drainPosted_ = false;
    bool syncPosted_ = false;

    std::array<Applied, WATCH_CAPACITY> applied_{};
    std::array<QSocketNotifier*, WATCH_CAPACITY> readNotifiers_{};
    std::array<QSocketNotifier*, WATCH_CAPACITY> writeNotifiers_{};
};

}  // namespace vorpel
