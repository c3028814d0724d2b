// The program's replacement of the global allocation functions: plain
// malloc/free with a counter. Aligned forms are left to the library.
#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> g_allocations{0};

void* countedAllocate(std::size_t size) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

void* countedAllocateOrThrow(std::size_t size) {
    if (void* p = countedAllocate(size)) return p;
    throw std::bad_alloc();
}
}  // namespace

namespace vorpel::test {
size_t allocationCount() { return g_allocations.load(std::memory_order_relaxed); }
}  // namespace vorpel::test

void* operator new(std::size_t size) { return countedAllocateOrThrow(size); }
void* operator new[](std::size_t size) { return countedAllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return countedAllocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return countedAllocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
