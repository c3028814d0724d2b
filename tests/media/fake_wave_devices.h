// Wave devices for the driver's tests: they record every call, keep the
// queued buffers in order, and complete them only when the test says so, on
// the test's own thread. A mutex makes them usable from the driver's audio
// thread and the test thread at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "media/wave_device.h"

namespace vorpel::fakes {

class FakeWaveCommon {
public:
    // Fail the operation with this name (and its header index, for prepare).
    std::string failOpen;
    int failPrepareAt = -1;

    std::vector<std::string> calls() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    void clearCalls() {
        const std::lock_guard<std::mutex> lock(mutex_);
        calls_.clear();
    }
    size_t queued() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return queue_.size();
    }
    std::vector<uint32_t> queuedIndices() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::vector<uint32_t> indices;
        for (const WaveHeader* header : queue_) indices.push_back(header->user);
        return indices;
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

    // Finishes the oldest queued buffer: fills it (capture) with value, sets
    // done and calls the listener outside the lock. False when none is queued.
    bool completeNext(int16_t value = 0) {
        WaveHeader* header = nullptr;
        WaveListener* listener = nullptr;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty() || (requiresStart_ && !started_)) return false;
            header = queue_.front();
            queue_.pop_front();
            if (fills_) {
                for (size_t i = 0; i < header->length; ++i) header->data[i] = value;
            }
            header->flags |= WAVE_HEADER_DONE;
            listener = listener_;
        }
        listener->waveCompleted(*header);
        return true;
    }

protected:
    FakeWaveCommon(bool fills, bool requiresStart) : fills_(fills), requiresStart_(requiresStart) {}

    bool record(const std::string& call) {
        calls_.push_back(call);
        return failOpen != call;
    }
    bool doOpen(WaveListener& listener, const WaveFormat& format) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!record("open") || format.sampleRate != 8000 || format.channels != 1 || format.bitsPerSample != 16) {
            return false;
        }
        listener_ = &listener;
        open_ = true;
        return true;
    }
    bool doPrepare(WaveHeader& header) {
        const std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back("prepare");
        if (!open_ || static_cast<int>(header.user) == failPrepareAt) return false;
        if (prepared_.size() <= header.user) prepared_.resize(header.user + 1, nullptr);
        prepared_[header.user] = &header;
        header.flags |= WAVE_HEADER_PREPARED;
        return true;
    }
    bool doUnprepare(WaveHeader& header) {
        const std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back("unprepare");
        header.flags &= ~WAVE_HEADER_PREPARED;
        return true;
    }
    bool doQueue(WaveHeader& header, const char* call) {
        const std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
        if (!open_ || (header.flags & WAVE_HEADER_PREPARED) == 0) return false;
        queue_.push_back(&header);
        return true;
    }
    bool doStart() {
        const std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back("start");
        started_ = true;
        return open_;
    }
    bool doReset() {
        const std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back("reset");
        for (WaveHeader* header : queue_) header->flags |= WAVE_HEADER_DONE;
        queue_.clear();
        started_ = false;
        return open_;
    }
    bool doClose() {
        const std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back("close");
        open_ = false;
        listener_ = nullptr;
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::deque<WaveHeader*> queue_;
    std::vector<WaveHeader*> prepared_;
    WaveListener* listener_ = nullptr;
    bool open_ = false;
    bool started_ = false;
    const bool fills_;
    const bool requiresStart_;
};

class FakeCaptureDevice final : public WaveCaptureDevice, public FakeWaveCommon {
public:
    FakeCaptureDevice() : FakeWaveCommon(true, true) {}
    bool open(const WaveFormat& format, WaveListener& listener) override { return doOpen(listener, format); }
    bool prepareHeader(WaveHeader& header) override { return doPrepare(header); }
    bool unprepareHeader(WaveHeader& header) override { return doUnprepare(header); }
    bool addBuffer(WaveHeader& header) override { return doQueue(header, "add"); }
    bool start() override { return doStart(); }
    bool reset() override { return doReset(); }
    bool close() override { return doClose(); }
};

class FakePlaybackDevice final : public WavePlaybackDevice, public FakeWaveCommon {
public:
    FakePlaybackDevice() : FakeWaveCommon(false, false) {}
    bool open(const WaveFormat& format, WaveListener& listener) override { return doOpen(listener, format); }
    bool prepareHeader(WaveHeader& header) override { return doPrepare(header); }
    bool unprepareHeader(WaveHeader& header) override { return doUnprepare(header); }
    bool write(WaveHeader& header) override { return doQueue(header, "write"); }
    bool reset() override { return doReset(); }
    bool close() override { return doClose(); }
};

}  // namespace vorpel::fakes
