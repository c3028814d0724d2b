// The fixed-size tables of a window-thread loop: the ring of posted messages
// and the table of watched descriptors with their armed readiness. Both
// loops (poll and Qt) keep them; nothing here allocates or locks, the loop
// guards them with its own mutex.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/event_loop.h"

namespace vorpel {

template <size_t CAPACITY>
class MessageRing {
public:
    // False (and the message dropped) when the ring is full.
    bool push(const LoopMessage& message) {
        if (count_ == CAPACITY) return false;
        messages_[(head_ + count_) % CAPACITY] = message;
        ++count_;
        return true;
    }
    // False when the ring is empty.
    bool pop(LoopMessage& message) {
        if (count_ == 0) return false;
        message = messages_[head_];
        head_ = (head_ + 1) % CAPACITY;
        --count_;
        return true;
    }
    size_t size() const { return count_; }

private:
    std::array<LoopMessage, CAPACITY> messages_{};
    size_t head_ = 0;
    size_t count_ = 0;
};

struct FdWatch {
    int fd = -1;  // -1: a free slot
    FdHandler handler = nullptr;
    void* context = nullptr;
    bool readable = false;    // readability armed
    bool writable = false;    // writability armed
    uint64_t generation = 0;  // changes whenever the slot is taken or freed
};

template <size_t CAPACITY>
class WatchTable {
public:
    // The slot of fd, or nullptr.
    FdWatch* find(int fd) {
        for (FdWatch& watch : watches_)
            if (watch.fd == fd) return &watch;
        return nullptr;
    }
    // Takes a free slot with readability armed. False when fd is negative or
    // already watched, handler is missing, or no slot is free.
    bool add(int fd, FdHandler handler, void* context) {
        if (fd < 0 || handler == nullptr || find(fd) != nullptr) return false;
        FdWatch* freeSlot = find(-1);
        if (freeSlot == nullptr) return false;
        *freeSlot = FdWatch{fd, handler, context, true, false, nextGeneration_++};
        return true;
    }
    // Arms one kind of readiness; true when that changed anything.
    bool arm(int fd, bool FdWatch::*interest) {
        FdWatch* watch = fd >= 0 ? find(fd) : nullptr;
        if (watch == nullptr || watch->*interest) return false;
        watch->*interest = true;
        return true;
    }
    // Frees fd's slot; false when fd was not watched.
    bool remove(int fd) {
        FdWatch* watch = fd >= 0 ? find(fd) : nullptr;
        if (watch == nullptr) return false;
        *watch = FdWatch{-1, nullptr, nullptr, false, false, nextGeneration_++};
        return true;
    }
    FdWatch& operator[](size_t slot) { return watches_[slot]; }
    const std::array<FdWatch, CAPACITY>& all() const { return watches_; }

private:
    std::array<FdWatch, CAPACITY> watches_{};
    uint64_t nextGeneration_ = 1;
};

}  // namespace vorpel
