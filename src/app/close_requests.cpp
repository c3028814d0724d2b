#include "app/close_requests.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace vorpel {

CloseRequests::CloseRequests() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    fd_ = signalfd(-1, &signals_, SFD_CLOEXEC | SFD_NONBLOCK);
}

CloseRequests::~CloseRequests() {
    if (fd_ >= 0) ::close(fd_);
}

bool CloseRequests::watch(EventLoop& loop, PhoneApp& app) {
    loop_ = &loop;
    app_ = &app;
    return fd_ >= 0 && loop.watchFd(fd_, &CloseRequests::onSignal, this);
}

void CloseRequests::onSignal(void* self, unsigned) {
    auto& me = *static_cast<CloseRequests*>(self);
    signalfd_siginfo info{};
    while (::read(me.fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
    me.app_->closeWindow();
    me.loop_->armReadable(me.fd_);
}

}  // namespace vorpel
