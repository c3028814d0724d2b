#include "platform/paced_buffer_queue.h"

#include <system_error>

namespace vorpel {

PacedBufferQueue::SteadyClock::duration PacedBufferQueue::blockDuration(size_t samples) const {
    return std::chrono::duration_cast<SteadyClock::duration>(std::chrono::nanoseconds(
        static_cast<long long>(samples) * 1'000'000'000LL / static_cast<long long>(sampleRate_)));
}

bool PacedBufferQueue::begin(WaveListener& listener, uint32_t sampleRate) {
    std::lock_guard lock(mutex_);
    if (running_ || sampleRate == 0) return false;
    listener_ = &listener;
    sampleRate_ = sampleRate;
    closing_ = false;
    clockRunning_ = false;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        return false;
    }
    running_ = true;
    return true;
}

bool PacedBufferQueue::queue(WaveHeader& header) {
    std::lock_guard lock(mutex_);
    if (!running_ || (header.flags & WAVE_HEADER_PREPARED) == 0 || header.data == nullptr ||
        header.length == 0 || count_ == CAPACITY)
        return false;
    header.flags &= ~WAVE_HEADER_DONE;
    headers_[(head_ + count_) % CAPACITY] = &header;
    ++count_;
    if (clock_ == Clock::Playback && !clockRunning_) {
        clockRunning_ = true;
        deadline_ = SteadyClock::now() + blockDuration(header.length);
    }
    changed_.notify_all();
    return true;
}

void PacedBufferQueue::startClock() {
    std::lock_guard lock(mutex_);
    if (!running_ || clock_ != Clock::Capture || clockRunning_) return;
    clockRunning_ = true;
    deadline_ = SteadyClock::now() + blockDuration(WAVE_BUFFER_SAMPLES);
    changed_.notify_all();
}

void PacedBufferQueue::giveBackAll() {
    for (; count_ > 0; --count_, head_ = (head_ + 1) % CAPACITY) headers_[head_]->flags |= WAVE_HEADER_DONE;
    head_ = 0;
}

void PacedBufferQueue::reset() {
    std::unique_lock lock(mutex_);
    clockRunning_ = false;
    ++generation_;
    giveBackAll();
    changed_.notify_all();
    // A completion already handed to the listener finishes first (unless the
    // listener itself asked for the reset).
    if (thread_.get_id() != std::this_thread::get_id())
        changed_.wait(lock, [this] { return !inCompletion_; });
}

void PacedBufferQueue::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
    }
    reset();
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        running_ = false;
        changed_.notify_all();
    }
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

void PacedBufferQueue::run() {
    std::unique_lock lock(mutex_);
    while (!closing_) {
        if (!clockRunning_) {
            changed_.wait(lock);
            continue;
        }
        if (clock_ == Clock::Playback && count_ == 0) {
            clockRunning_ = false;  // ran dry: idle until the next write
            continue;
        }
        const uint64_t generation = generation_;
        if (changed_.wait_until(lock, deadline_, [&] { return closing_ || generation_ != generation; }))
            continue;

        WaveHeader* header = nullptr;
        if (count_ > 0) {
            header = headers_[head_];
            head_ = (head_ + 1) % CAPACITY;
            --count_;
        }
        const size_t samples = header != nullptr ? header->length : WAVE_BUFFER_SAMPLES;
        transfer_.transferBlock(
            header != nullptr ? std::span<int16_t>(header->data, header->length) : std::span<int16_t>(),
            samples);
        deadline_ += blockDuration(samples);
        if (header == nullptr) continue;
        header->flags |= WAVE_HEADER_DONE;
        inCompletion_ = true;
        lock.unlock();
        listener_->waveCompleted(*header);
        lock.lock();
        inCompletion_ = false;
        changed_.notify_all();
    }
}

}  // namespace vorpel
