// NameResolver on Linux: each lookup runs getaddrinfo (IPv4) on a thread of
// its own, and the answer comes back to the window thread through a pipe that
// the event loop watches.
//
// A lookup thread is detached: one still waiting for a name server when the
// resolver goes away finishes on its own and its answer is dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/event_loop.h"
#include "platform/name_resolver.h"

namespace vorpel {

class ThreadNameResolver final : public NameResolver {
public:
    // The blocking lookup: the IPv4 address of a host text, 0 when none.
    // Runs on the lookup thread; tests put a slow or held one in its place.
    using Lookup = std::function<uint32_t(const std::string& host)>;
    static uint32_t systemLookup(const std::string& host);

    explicit ThreadNameResolver(EventLoop& loop, Lookup lookup = &ThreadNameResolver::systemLookup);
    ~ThreadNameResolver() override;
    ThreadNameResolver(const ThreadNameResolver&) = delete;
    ThreadNameResolver& operator=(const ThreadNameResolver&) = delete;

    bool resolve(std::string_view host, NameResolverEvents& events) override;
    void cancel() override;

private:
    struct Shared;
    static void onAnswer(void* self, unsigned readiness);
    void deliver();

    EventLoop& loop_;
    Lookup lookup_;
    std::shared_ptr<Shared> shared_;
    bool watching_ = false;
    NameResolverEvents* events_ = nullptr;  // window thread only
    uint64_t lastRequest_ = 0;              // window thread only
};

}  // namespace vorpel
