// What one call's media path did, for the front ends: packets sent and
// received, frames played and missing, packets that came too late for the
// jitter ring, its resynchronisations, its fill, and payloads that did not
// decrypt. The media path counts from the first audio pass of a call on
// (relaxed atomics, no lock, no allocation); a front end reads a snapshot at
// any time from any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace vorpel {

struct CallStatistics {
    uint32_t sent = 0;
    uint32_t received = 0;
    uint32_t played = 0;
    uint32_t missing = 0;
    uint32_t late = 0;
    uint32_t resyncs = 0;
    uint32_t fill = 0;  // frames waiting in the jitter ring after the last pass
    uint32_t decryptFailures = 0;
    bool operator==(const CallStatistics&) const = default;
};

class CallCounters {
public:
    std::atomic<uint32_t> sent{0};
    std::atomic<uint32_t> received{0};
    std::atomic<uint32_t> played{0};
    std::atomic<uint32_t> missing{0};
    std::atomic<uint32_t> late{0};
    std::atomic<uint32_t> resyncs{0};
    std::atomic<uint32_t> fill{0};
    std::atomic<uint32_t> decryptFailures{0};

    static void add(std::atomic<uint32_t>& counter, uint32_t count = 1) {
        counter.fetch_add(count, std::memory_order_relaxed);
    }
    void reset() {
        for (std::atomic<uint32_t>* c : all()) c->store(0, std::memory_order_relaxed);
    }
    CallStatistics snapshot() const {
        const auto get = [](const std::atomic<uint32_t>& c) { return c.load(std::memory_order_relaxed); };
        return {get(sent), get(received), get(played), get(missing),
                get(late), get(resyncs),  get(fill),   get(decryptFailures)};
    }

private:
    std::array<std::atomic<uint32_t>*, 8> all() {
        return {&sent, &received, &played, &missing, &late, &resyncs, &fill, &decryptFailures};
    }
};

}  // namespace vorpel
