// Wave devices on a sound card through PortAudio: 8000 Hz, mono, 16-bit,
// moving the driver's 100-ms buffers. Completions are delivered from
// PortAudio's stream thread, never from the caller's.
//
// A device is named as PortAudio lists it; an empty name is the default
// device. When the named device is not there, or PortAudio knows no default
// input (output) device, open fails and the program reports its sound
// initialisation fault; nothing else is touched.
#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/wave_device.h"

namespace vorpel {

// The names of the devices that can capture and those that can play, each
// list led by the default device; empty lists when PortAudio cannot start.
struct SoundDeviceList {
    std::vector<std::string> capture;
    std::vector<std::string> playback;
};
SoundDeviceList listSoundDevices();

// One PortAudio stream in one direction with its queue of buffers.
class PortAudioStream {
public:
    enum class Direction { Capture, Playback };
    static constexpr size_t CAPACITY = 64;

    PortAudioStream(Direction direction, std::string_view deviceName)
        : direction_(direction), deviceName_(deviceName) {}
    ~PortAudioStream() { close(); }
    PortAudioStream(const PortAudioStream&) = delete;
    PortAudioStream& operator=(const PortAudioStream&) = delete;

    bool open(const WaveFormat& format, WaveListener& listener);
    bool prepare(WaveHeader& header) const;
    bool unprepare(WaveHeader& header) const;
    // Queues a buffer; a playback stream starts playing at once.
    bool queue(WaveHeader& header);
    bool start();
    // Stops the stream (waiting for its callback to finish) and hands back
    // every queued buffer with the done flag and no completion; then moves
    // to the device chosen last, if any.
    bool reset();
    bool close();
    // Takes the named device (empty: the default one) from the next reset
    // on. The driver resets a stream whenever it starts or stops it, so the
    // choice applies from the next call and the running one is left alone.
    // A device that cannot be opened then leaves the stream where it was.
    // Any thread.
    void choose(std::string_view name);

    // PortAudio's stream thread: moves frames between the stream and the
    // queued buffers, then reports the buffers it finished.
    void onStream(const int16_t* input, int16_t* output, size_t frames);

private:
    // A stream on the named device, or nullptr; the caller holds
    // libraryMutex() with PortAudio started.
    void* openStreamOn(std::string_view name);

    const Direction direction_;
    std::string deviceName_;
    void* stream_ = nullptr;  // PaStream*
    bool initialised_ = false;
    WaveListener* listener_ = nullptr;

    std::mutex mutex_;  // the queue, between the caller and the stream thread; the choice
    std::optional<std::string> chosen_;
    std::array<WaveHeader*, CAPACITY> headers_{};
    size_t head_ = 0;
    size_t count_ = 0;
    size_t position_ = 0;  // samples of the front buffer already moved
};

class PortAudioCaptureDevice final : public WaveCaptureDevice {
public:
    explicit PortAudioCaptureDevice(std::string_view name = {})
        : stream_(PortAudioStream::Direction::Capture, name) {}
    bool open(const WaveFormat& format, WaveListener& listener) override {
        return stream_.open(format, listener);
    }
    bool prepareHeader(WaveHeader& header) override { return stream_.prepare(header); }
    bool unprepareHeader(WaveHeader& header) override { return stream_.unprepare(header); }
    bool addBuffer(WaveHeader& header) override { return stream_.queue(header); }
    bool start() override { return stream_.start(); }
    bool reset() override { return stream_.reset(); }
    bool close() override { return stream_.close(); }
    void choose(std::string_view name) { stream_.choose(name); }

private:
    PortAudioStream stream_;
};

class PortAudioPlaybackDevice final : public WavePlaybackDevice {
public:
    explicit PortAudioPlaybackDevice(std::string_view name = {})
        : stream_(PortAudioStream::Direction::Playback, name) {}
    bool open(const WaveFormat& format, WaveListener& listener) override {
        return stream_.open(format, listener);
    }
    bool prepareHeader(WaveHeader& header) override { return stream_.prepare(header); }
    bool unprepareHeader(WaveHeader& header) override { return stream_.unprepare(header); }
    bool write(WaveHeader& header) override { return stream_.queue(header); }
    bool reset() override { return stream_.reset(); }
    bool close() override { return stream_.close(); }
    void choose(std::string_view name) { stream_.choose(name); }

private:
    PortAudioStream stream_;
};

}  // namespace vorpel
