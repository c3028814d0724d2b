#include "platform/thread_name_resolver.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <thread>

namespace vorpel {

// What the window thread and the lookup threads share; the last of them to
// let go closes the pipe.
struct ThreadNameResolver::Shared {
    std::mutex mutex;
    uint64_t request = 0;   // the request whose answer is wanted; 0: none
    uint64_t answered = 0;  // the request the answer below belongs to
    uint32_t address = 0;
    int readEnd = -1;
    int writeEnd = -1;

    ~Shared() {
        if (readEnd >= 0) ::close(readEnd);
        if (writeEnd >= 0) ::close(writeEnd);
    }
};

uint32_t ThreadNameResolver::systemLookup(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return 0;
    sockaddr_in peer{};
    std::memcpy(&peer, found->ai_addr, sizeof peer);
    ::freeaddrinfo(found);
    return ntohl(peer.sin_addr.s_addr);
}

ThreadNameResolver::ThreadNameResolver(EventLoop& loop, Lookup lookup)
    : loop_(loop), lookup_(std::move(lookup)), shared_(std::make_shared<Shared>()) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    shared_->readEnd = ends[0];
    shared_->writeEnd = ends[1];
    watching_ = loop_.watchFd(shared_->readEnd, &ThreadNameResolver::onAnswer, this);
}

ThreadNameResolver::~ThreadNameResolver() {
    if (watching_) loop_.unwatchFd(shared_->readEnd);
    const std::lock_guard lock(shared_->mutex);
    shared_->request = 0;
}

bool ThreadNameResolver::resolve(std::string_view host, NameResolverEvents& events) {
    if (!watching_) return false;
    const uint64_t request = ++lastRequest_;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->request = request;
    }
    events_ = &events;
    try {
        std::thread([shared = shared_, lookup = lookup_, name = std::string(host), request] {
            const uint32_t address = lookup(name);
            const std::lock_guard lock(shared->mutex);
            if (shared->request != request) return;  // cancelled or replaced
            shared->answered = request;
            shared->address = address;
            const char wake = 1;
            [[maybe_unused]] const ssize_t written = ::write(shared->writeEnd, &wake, 1);
        }).detach();
    } catch (const std::exception&) {
        cancel();
        return false;
    }
    return true;
}

void ThreadNameResolver::cancel() {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->request = 0;
    }
    events_ = nullptr;
}

void ThreadNameResolver::onAnswer(void* self, unsigned readiness) {
    if ((readiness & FD_READABLE) != 0) static_cast<ThreadNameResolver*>(self)->deliver();
}

void ThreadNameResolver::deliver() {
    char drained[16];
    while (::read(shared_->readEnd, drained, sizeof drained) > 0) {
    }
    loop_.armReadable(shared_->readEnd);
    uint32_t address = 0;
    {
        const std::lock_guard lock(shared_->mutex);
        if (shared_->request == 0 || shared_->answered != shared_->request) return;
        address = shared_->address;
        shared_->request = 0;
    }
    NameResolverEvents* events = events_;
    events_ = nullptr;
    if (events != nullptr) events->onResolved(address);
}

}  // namespace vorpel
