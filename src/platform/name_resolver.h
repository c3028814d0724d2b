// Host names looked up away from the window thread. A lookup can take
// seconds (a slow or unreachable name server); the window thread meanwhile
// keeps handling sockets, keys and ticks, and no lock is held while it waits.
//
// Threads: resolve() and cancel() on the window thread; the answer arrives
// on the window thread too (through its event loop).
#pragma once

#include <cstdint>
#include <string_view>

namespace vorpel {

class NameResolverEvents {
public:
    virtual ~NameResolverEvents() = default;
    // The IPv4 address of the host asked for (most significant byte = first
    // dotted part), or 0 when the name has none.
    virtual void onResolved(uint32_t address) = 0;
};

class NameResolver {
public:
    virtual ~NameResolver() = default;
    // Starts looking up host; its answer goes to events, which must stay
    // alive until the answer or a cancel(). A new request replaces the one in
    // progress, whose answer is then never delivered. False when no lookup
    // could be started.
    virtual bool resolve(std::string_view host, NameResolverEvents& events) = 0;
    // Forgets the request in progress: its answer is not delivered.
    virtual void cancel() = 0;
};

}  // namespace vorpel
