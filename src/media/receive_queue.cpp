#include "media/receive_queue.h"

#include <algorithm>

namespace vorpel {
namespace {
constexpr uint32_t next(uint32_t index) { return (index + 1) % ReceiveQueue::ENTRY_COUNT; }
}  // namespace

bool ReceiveQueue::push(std::span<const uint8_t> datagram) {
    // An empty datagram carries nothing and would read as an empty ring.
    if (datagram.empty() || datagram.size() > MAX_RECEIVED_VOICE_DATAGRAM) return false;
    const uint32_t write = write_.load(std::memory_order_relaxed);
    if (next(write) == read_.load(std::memory_order_acquire)) return false;
    Entry& entry = entries_[write];
    std::copy(datagram.begin(), datagram.end(), entry.bytes.begin());
    entry.length = datagram.size();
    write_.store(next(write), std::memory_order_release);
    return true;
}

std::span<uint8_t> ReceiveQueue::front() {
    const uint32_t read = read_.load(std::memory_order_relaxed);
    if (read == write_.load(std::memory_order_acquire)) return {};
    Entry& entry = entries_[read];
    return std::span<uint8_t>(entry.bytes).first(entry.length);
}

void ReceiveQueue::pop() {
    const uint32_t read = read_.load(std::memory_order_relaxed);
    if (read != write_.load(std::memory_order_acquire)) read_.store(next(read), std::memory_order_release);
}

void ReceiveQueue::discardAll() {
    read_.store(write_.load(std::memory_order_acquire), std::memory_order_release);
}

}  // namespace vorpel
