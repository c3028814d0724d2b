#include "media/audio_wake_event.h"

namespace vorpel {

void AudioWakeEvent::set(uint32_t tag) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        set_ = true;
        tag_ = tag;
    }
    signal_.notify_one();
}

std::optional<uint32_t> AudioWakeEvent::wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    signal_.wait(lock, [this] { return set_ || closed_; });
    if (closed_) return std::nullopt;
    set_ = false;
    return tag_;
}

void AudioWakeEvent::clear() {
    const std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
}

void AudioWakeEvent::close() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    signal_.notify_all();
}

void AudioWakeEvent::open() {
    const std::lock_guard<std::mutex> lock(mutex_);
    closed_ = false;
    set_ = false;
}

}  // namespace vorpel
