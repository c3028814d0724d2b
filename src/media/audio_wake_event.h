// The audio thread's wake-up: an auto-reset event that also carries a tag
// (the driver's start generation at the moment it was set), and that can be
// closed to make every wait return at once.
//
// Threads: set from the playback completion callback; wait from the audio
// thread; clear and close from the driver under its media lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace vorpel {

class AudioWakeEvent {
public:
    void set(uint32_t tag);
    // Blocks until set or closed. The tag of the latest set, which also
    // clears the event; nothing once the event is closed.
    std::optional<uint32_t> wait();
    void clear();
    // Wakes every waiter for good; later waits return nothing at once.
    void close();
    // Makes the event usable again after a close (a new init).
    void open();

private:
    std::mutex mutex_;
    std::condition_variable signal_;
    bool set_ = false;
    bool closed_ = false;
    uint32_t tag_ = 0;
};

}  // namespace vorpel
