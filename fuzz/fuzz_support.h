// Shared by the fuzz targets: the input cut into records, a check that ends
// the run as a finding, and a scope that must not allocate.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "allocation_counter.h"

#define FUZZ_CHECK(cond) ((cond) ? void(0) : ::vorpel::fuzz::fail(#cond, __FILE__, __LINE__))

namespace vorpel::fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}

// The input as records: a tag byte for the target's own use, a length byte,
// then that many bytes (fewer when the input ends first).
class Records {
public:
    struct Record {
        uint8_t tag = 0;
        std::span<const uint8_t> bytes;
    };
    explicit Records(std::span<const uint8_t> input) : rest_(input) {}
    Records(const uint8_t* data, size_t size) : rest_(data, size) {}
    bool next(Record& record) {
        if (rest_.size() < 2) return false;
        const size_t n = std::min<size_t>(rest_[1], rest_.size() - 2);
        record = {rest_[0], rest_.subspan(2, n)};
        rest_ = rest_.subspan(2 + n);
        return true;
    }

private:
    std::span<const uint8_t> rest_;
};

// Everything in the scope runs without touching the heap.
class NoAllocation {
public:
    NoAllocation() = default;
    NoAllocation(const NoAllocation&) = delete;
    NoAllocation& operator=(const NoAllocation&) = delete;
    ~NoAllocation() { FUZZ_CHECK(test::allocationCount() == before_); }

private:
    size_t before_ = test::allocationCount();
};

}  // namespace vorpel::fuzz
