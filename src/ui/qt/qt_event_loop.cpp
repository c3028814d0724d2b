#include "ui/qt/qt_event_loop.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QThread>

namespace vorpel {

namespace {

const QEvent::Type DRAIN_EVENT = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type SYNC_EVENT = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type QUIT_EVENT = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

QtEventLoop::QtEventLoop() {
    for (size_t i = 0; i < WATCH_CAPACITY; ++i) {
        readNotifiers_[i] = new QSocketNotifier(QSocketNotifier::Read, this);
        writeNotifiers_[i] = new QSocketNotifier(QSocketNotifier::Write, this);
        connect(readNotifiers_[i], &QSocketNotifier::activated, this,
                [this, i] { onNotifier(i, FD_READABLE); });
        connect(writeNotifiers_[i], &QSocketNotifier::activated, this,
                [this, i] { onNotifier(i, FD_WRITABLE); });
    }
}

QtEventLoop::~QtEventLoop() {
    for (size_t i = 0; i < WATCH_CAPACITY; ++i) {
        readNotifiers_[i]->setEnabled(false);
        writeNotifiers_[i]->setEnabled(false);
    }
}

bool QtEventLoop::onLoopThread() const { return QThread::currentThread() == thread(); }

void QtEventLoop::setMessageHandler(LoopMessageHandler* handler) { messageHandler_ = handler; }

bool QtEventLoop::post(const LoopMessage& message) {
    {
        std::lock_guard lock(mutex_);
        if (!queue_.push(message)) return false;
        if (drainPosted_) return true;
        drainPosted_ = true;
    }
    // One Qt event hands over every message queued up to its turn.
    QCoreApplication::postEvent(this, new QEvent(DRAIN_EVENT));
    return true;
}

void QtEventLoop::requestDrain() {
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() == 0 || drainPosted_) return;
        drainPosted_ = true;
    }
    QCoreApplication::postEvent(this, new QEvent(DRAIN_EVENT));
}

void QtEventLoop::handleMessages() {
    size_t pending = 0;
    {
        std::lock_guard lock(mutex_);
        drainPosted_ = false;
        pending = suspended_ ? 0 : queue_.size();
    }
    // Only the messages present now: a handler that keeps posting cannot
    // starve the other events.
    while (pending-- > 0) {
        LoopMessage message;
        {
            std::lock_guard lock(mutex_);
            if (!queue_.pop(message)) break;
        }
        if (messageHandler_ != nullptr) messageHandler_->handleMessage(message);
        if (suspended_) break;  // a handler opened a dialog: the rest waits for its end
    }
    if (!suspended_) requestDrain();
}

void QtEventLoop::suspendMessages(bool on) {
    suspended_ = on;
    if (!on) requestDrain();
}

bool QtEventLoop::watchFd(int fd, FdHandler handler, void* context) {
    {
        std::lock_guard lock(mutex_);
        if (!watches_.add(fd, handler, context)) return false;
    }
    requestSync();
    return true;
}

void QtEventLoop::arm(int fd, bool FdWatch::*interest) {
    {
        std::lock_guard lock(mutex_);
        if (!watches_.arm(fd, interest)) return;
    }
    requestSync();
}

void QtEventLoop::armReadable(int fd) { arm(fd, &FdWatch::readable); }
void QtEventLoop::armWritable(int fd) { arm(fd, &FdWatch::writable); }

void QtEventLoop::unwatchFd(int fd) {
    {
        std::lock_guard lock(mutex_);
        if (!watches_.remove(fd)) return;
    }
    requestSync();
}

void QtEventLoop::requestSync() {
    if (onLoopThread()) {
        syncNotifiers();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (syncPosted_) return;
        syncPosted_ = true;
    }
    QCoreApplication::postEvent(this, new QEvent(SYNC_EVENT));
}

void QtEventLoop::syncNotifiers() {
    std::array<FdWatch, WATCH_CAPACITY> wanted;
    {
        std::lock_guard lock(mutex_);
        syncPosted_ = false;
        wanted = watches_.all();
    }
    // Every notifier that goes or changes descriptor is off before any is
    // switched on, so that a descriptor number reused by another slot never
    // has two notifiers of one kind.
    for (size_t i = 0; i < WATCH_CAPACITY; ++i) {
        const bool sameWatch = applied_[i].generation == wanted[i].generation;
        if (!sameWatch || !wanted[i].readable) readNotifiers_[i]->setEnabled(false);
        if (!sameWatch || !wanted[i].writable) writeNotifiers_[i]->setEnabled(false);
    }
    for (size_t i = 0; i < WATCH_CAPACITY; ++i) {
        const FdWatch& watch = wanted[i];
        if (applied_[i].generation != watch.generation) {
            applied_[i] = Applied{watch.fd, watch.generation};
            if (watch.fd >= 0) {
                readNotifiers_[i]->setSocket(watch.fd);
                writeNotifiers_[i]->setSocket(watch.fd);
            }
        }
        if (watch.fd < 0) continue;
        if (watch.readable) readNotifiers_[i]->setEnabled(true);
        if (watch.writable) writeNotifiers_[i]->setEnabled(true);
    }
}

void QtEventLoop::onNotifier(size_t slot, unsigned readiness) {
    QSocketNotifier* notifier = readiness == FD_READABLE ? readNotifiers_[slot] : writeNotifiers_[slot];
    // Reported once: off until the watch is armed again.
    notifier->setEnabled(false);
    FdHandler handler = nullptr;
    void* context = nullptr;
    {
        std::lock_guard lock(mutex_);
        FdWatch& watch = watches_[slot];
        // A watch that changed on another thread since the notifier was set
        // up: the pending sync sets it up again.
        if (watch.fd < 0 || watch.generation != applied_[slot].generation) return;
        bool& interest = readiness == FD_READABLE ? watch.readable : watch.writable;
        if (!interest) return;
        interest = false;
        handler = watch.handler;
        context = watch.context;
    }
    handler(context, readiness);
}

bool QtEventLoop::run() {
    if (quitRequested_.exchange(false, std::memory_order_acq_rel)) return true;
    QEventLoop loop;
    running_ = &loop;
    loop.exec();
    running_ = nullptr;
    quitRequested_.store(false, std::memory_order_release);
    return true;
}

void QtEventLoop::quit() {
    quitRequested_.store(true, std::memory_order_release);
    QCoreApplication::postEvent(this, new QEvent(QUIT_EVENT));
}

bool QtEventLoop::event(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == DRAIN_EVENT) {
        handleMessages();
    } else if (type == SYNC_EVENT) {
        syncNotifiers();
    } else if (type == QUIT_EVENT) {
        // A quit left over from before this run (the flag was consumed) is ignored.
        if (running_ != nullptr && quitRequested_.load(std::memory_order_acquire)) {
            // A modal dialog open now ends as if cancelled; its nested loop
            // would otherwise keep the run from returning.
            if (suspended_) {
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    dialog->reject();
            }
            running_->exit();
        }
    } else {
        return QObject::event(event);
    }
    return true;
}

}  // namespace vorpel
