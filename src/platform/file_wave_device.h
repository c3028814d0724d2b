// Wave devices backed by files, so that the whole program runs without sound
// hardware: capture reads a WAV file or a raw file of 16-bit little-endian
// samples (8000 Hz, mono) and then gives silence; playback writes what it
// plays into a WAV file (when the name ends in ".wav", header fixed up on
// close) or a raw file. Both are paced like a sound card: a 100-ms buffer
// completes every 100 ms on the device's own thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "media/wave_device.h"
#include "platform/paced_buffer_queue.h"

namespace vorpel {

class FileCaptureDevice final : public WaveCaptureDevice, private PacedBufferQueue::Transfer {
public:
    explicit FileCaptureDevice(std::string path) : path_(std::move(path)) {}
    ~FileCaptureDevice() override;
    FileCaptureDevice(const FileCaptureDevice&) = delete;
    FileCaptureDevice& operator=(const FileCaptureDevice&) = delete;

    // Fails (and says why in lastError) when the format is not 8000 Hz mono
    // 16-bit, the file cannot be opened, or it is a WAV file that is damaged
    // or holds another format.
    bool open(const WaveFormat& format, WaveListener& listener) override;
    bool prepareHeader(WaveHeader& header) override;
    bool unprepareHeader(WaveHeader& header) override;
    bool addBuffer(WaveHeader& header) override;
    bool start() override;
    bool reset() override;
    bool close() override;

    const std::string& lastError() const { return lastError_; }

private:
    void transferBlock(std::span<int16_t> samples, size_t sampleCount) override;
    bool fail(std::string why);

    std::string path_;
    std::string lastError_;
    std::FILE* file_ = nullptr;
    uint64_t samplesLeft_ = 0;  // samples of the file not yet captured
    PacedBufferQueue queue_{PacedBufferQueue::Clock::Capture, *this};
};

class FilePlaybackDevice final : public WavePlaybackDevice, private PacedBufferQueue::Transfer {
public:
    explicit FilePlaybackDevice(std::string path) : path_(std::move(path)) {}
    ~FilePlaybackDevice() override;
    FilePlaybackDevice(const FilePlaybackDevice&) = delete;
    FilePlaybackDevice& operator=(const FilePlaybackDevice&) = delete;

    bool open(const WaveFormat& format, WaveListener& listener) override;
    bool prepareHeader(WaveHeader& header) override;
    bool unprepareHeader(WaveHeader& header) override;
    bool write(WaveHeader& header) override;
    bool reset() override;
    // Stops, fixes up the WAV header and closes the file.
    bool close() override;

    const std::string& lastError() const { return lastError_; }

private:
    void transferBlock(std::span<int16_t> samples, size_t sampleCount) override;

    std::string path_;
    std::string lastError_;
    std::FILE* file_ = nullptr;
    bool wav_ = false;
    bool writeFailed_ = false;
    uint64_t bytesWritten_ = 0;
    PacedBufferQueue queue_{PacedBufferQueue::Clock::Playback, *this};
};

}  // namespace vorpel
