// Wave devices for the media tests: they record every call, keep the queued
// buffers in order, and complete them only when the test says so, on the
// test's own thread. Recording and queueing use fixed arrays (the allocation
// test counts on that); a mutex makes them usable from the driver's audio
// thread and the test thread at once.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "media/wave_device.h"

namespace vorpel::fakes {

class FakeWaveDevice {
public:
    bool failOpen = false;
    int failPrepareAt = -1;

    // The latest calls (up to 256), oldest first.
    std::vector<std::string> calls() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> names;
        const size_t count = std::min(callCount_, calls_.size());
        for (size_t i = callCount_ - count; i < callCount_; ++i)
            names.emplace_back(calls_[i % calls_.size()]);
        return names;
    }
    void clearCalls() {
        const std::lock_guard<std::mutex> lock(mutex_);
        callCount_ = 0;
    }
    std::vector<uint32_t> queuedIndices() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::vector<uint32_t> indices;
        for (size_t i = 0; i < queued_; ++i) indices.push_back(queue_[(head_ + i) % queue_.size()]->user);
        return indices;
    }
    size_t queued() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return queued_;
    }
    // The header prepared with this index (the driver's buffer).
    WaveHeader* header(uint32_t index) const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return index < prepared_.size() ? prepared_[index] : nullptr;
    }
    bool isOpen() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return open_;
    }

    // Finishes the oldest queued buffer (capture: fills it from source, over
    // and over, or with one value), sets done and calls the listener outside
    // the lock. False when nothing is queued or capture is not started.
    bool completeNext(int16_t value = 0) { return complete(std::span<const int16_t>(&value, 1)); }
    bool complete(std::span<const int16_t> source) {
        WaveHeader* header = nullptr;
        WaveListener* listener = nullptr;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (queued_ == 0 || (isCapture_ && !started_)) return false;
            header = queue_[head_];
            head_ = (head_ + 1) % queue_.size();
            --queued_;
            for (size_t i = 0; isCapture_ && i < header->length; ++i) {
                header->data[i] = source[sourcePosition_++ % source.size()];
            }
            header->flags |= WAVE_HEADER_DONE;
            listener = listener_;
        }
        listener->waveCompleted(*header);
        return true;
    }

protected:
    explicit FakeWaveDevice(bool isCapture) : isCapture_(isCapture) {}

    bool doOpen(const WaveFormat& format, WaveListener& listener) {
        const std::lock_guard<std::mutex> lock(mutex_);
        record("open");
        if (failOpen || format.sampleRate != 8000 || format.channels != 1 || format.bitsPerSample != 16)
            return false;
        listener_ = &listener;
        open_ = true;
        return true;
    }
    bool doPrepare(WaveHeader& header) {
        const std::lock_guard<std::mutex> lock(mutex_);
        record("prepare");
        if (!open_ || static_cast<int>(header.user) == failPrepareAt || header.user >= prepared_.size())
            return false;
        prepared_[header.user] = &header;
        header.flags |= WAVE_HEADER_PREPARED;
        return true;
    }
    bool doUnprepare(WaveHeader& header) {
        const std::lock_guard<std::mutex> lock(mutex_);
        record("unprepare");
        header.flags &= ~WAVE_HEADER_PREPARED;
        return true;
    }
    bool doQueue(WaveHeader& header, const char* call) {
        const std::lock_guard<std::mutex> lock(mutex_);
        record(call);
        if (!open_ || (header.flags & WAVE_HEADER_PREPARED) == 0 || queued_ == queue_.size()) return false;
        queue_[(head_ + queued_++) % queue_.size()] = &header;
        return true;
    }
    bool doSimple(const char* call, bool started) {
        const std::lock_guard<std::mutex> lock(mutex_);
        record(call);
        started_ = started;
        if (std::string_view(call) == "reset") {
            for (size_t i = 0; i < queued_; ++i)
                queue_[(head_ + i) % queue_.size()]->flags |= WAVE_HEADER_DONE;
            queued_ = 0;
        }
        if (std::string_view(call) == "close") open_ = false;
        return true;
    }

private:
    void record(const char* call) { calls_[callCount_++ % calls_.size()] = call; }

    mutable std::mutex mutex_;
    std::array<const char*, 256> calls_{};
    size_t callCount_ = 0;
    std::array<WaveHeader*, 64> queue_{};
    size_t head_ = 0;
    size_t queued_ = 0;
    std::array<WaveHeader*, 32> prepared_{};
    WaveListener* listener_ = nullptr;
    size_t sourcePosition_ = 0;
    bool open_ = false;
    bool started_ = false;
    const bool isCapture_;
};

class FakeCaptureDevice final : public WaveCaptureDevice, public FakeWaveDevice {
public:
    FakeCaptureDevice() : FakeWaveDevice(true) {}
    bool open(const WaveFormat& format, WaveListener& listener) override { return doOpen(format, listener); }
    bool prepareHeader(WaveHeader& header) override { return doPrepare(header); }
    bool unprepareHeader(WaveHeader& header) override { return doUnprepare(header); }
    bool addBuffer(WaveHeader& header) override { return doQueue(header, "add"); }
    bool start() override { return doSimple("start", true); }
    bool reset() override { return doSimple("reset", false); }
    bool close() override { return doSimple("close", false); }
};

class FakePlaybackDevice final : public WavePlaybackDevice, public FakeWaveDevice {
public:
    FakePlaybackDevice() : FakeWaveDevice(false) {}
    bool open(const WaveFormat& format, WaveListener& listener) override { return doOpen(format, listener); }
    bool prepareHeader(WaveHeader& header) override { return doPrepare(header); }
    bool unprepareHeader(WaveHeader& header) override { return doUnprepare(header); }
    bool write(WaveHeader& header) override { return doQueue(header, "write"); }
    bool reset() override { return doSimple("reset", false); }
    bool close() override { return doSimple("close", false); }
};

}  // namespace vorpel::fakes
