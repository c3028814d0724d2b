#include "platform/portaudio_wave_device.h"

#include <portaudio.h>
#include <algorithm>

namespace vorpel {
namespace {

// Buffers that one stream callback may finish; more never fit in one call at
// 8000 Hz with PortAudio's callback sizes.
constexpr size_t COMPLETIONS_PER_CALLBACK = 16;

PaStream* asStream(void* stream) { return static_cast<PaStream*>(stream); }

// PortAudio's start, end and device table are not safe against calls from
// two threads; the window thread opens the driver's devices while a dialog
// may list them.
std::mutex& libraryMutex() {
    static std::mutex mutex;
    return mutex;
}

bool canCapture(const PaDeviceInfo& info) { return info.maxInputChannels > 0; }
bool canPlay(const PaDeviceInfo& info) { return info.maxOutputChannels > 0; }

// The device of that name able to go in the direction asked, or the default
// one for an empty name; paNoDevice when there is none. The caller holds
// libraryMutex() with PortAudio started.
PaDeviceIndex findDevice(bool capture, std::string_view name) {
    if (name.empty()) return capture ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info != nullptr && info->name != nullptr && name == info->name &&
            (capture ? canCapture(*info) : canPlay(*info)))
            return i;
    }
    return paNoDevice;
}

// Appends the names of the devices that pass, the default device first.
void listDevices(std::vector<std::string>& names, PaDeviceIndex defaultDevice,
                 bool (*usable)(const PaDeviceInfo&)) {
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex pass = 0; pass < 2; ++pass) {
        for (PaDeviceIndex i = 0; i < count; ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (info == nullptr || info->name == nullptr || !usable(*info) ||
                (i == defaultDevice) != (pass == 0))
                continue;
            names.emplace_back(info->name);
        }
    }
}

int streamCallback(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                   PaStreamCallbackFlags, void* self) {
    static_cast<PortAudioStream*>(self)->onStream(static_cast<const int16_t*>(input),
                                                  static_cast<int16_t*>(output), frames);
    return paContinue;
}

}  // namespace

SoundDeviceList listSoundDevices() {
    SoundDeviceList list;
    const std::lock_guard lock(libraryMutex());
    if (Pa_Initialize() != paNoError) return list;
    listDevices(list.capture, Pa_GetDefaultInputDevice(), &canCapture);
    listDevices(list.playback, Pa_GetDefaultOutputDevice(), &canPlay);
    Pa_Terminate();
    return list;
}

bool PortAudioStream::open(const WaveFormat& format, WaveListener& listener) {
    if (initialised_ || format.sampleRate != WAVE_SAMPLE_RATE || format.channels != WAVE_CHANNELS ||
        format.bitsPerSample != WAVE_BITS_PER_SAMPLE)
        return false;
    std::unique_lock lock(libraryMutex());
    if (Pa_Initialize() != paNoError) return false;
    initialised_ = true;

    stream_ = openStreamOn(deviceName_);
    if (stream_ == nullptr) {
        lock.unlock();
        close();
        return false;
    }
    listener_ = &listener;
    return true;
}

void* PortAudioStream::openStreamOn(std::string_view name) {
    const bool capture = direction_ == Direction::Capture;
    const PaDeviceIndex device = findDevice(capture, name);
    const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
    if (info == nullptr) return nullptr;
    PaStreamParameters parameters{};
    parameters.device = device;
    parameters.channelCount = WAVE_CHANNELS;
    parameters.sampleFormat = paInt16;
    parameters.suggestedLatency = capture ? info->defaultLowInputLatency : info->defaultLowOutputLatency;
    PaStream* stream = nullptr;
    const PaError opened =
        Pa_OpenStream(&stream, capture ? &parameters : nullptr, capture ? nullptr : &parameters,
                      WAVE_SAMPLE_RATE, paFramesPerBufferUnspecified, paClipOff, &streamCallback, this);
    return opened == paNoError ? stream : nullptr;
}

void PortAudioStream::choose(std::string_view name) {
    const std::lock_guard lock(mutex_);
    chosen_ = std::string(name);
}

bool PortAudioStream::prepare(WaveHeader& header) const {
    if (stream_ == nullptr || header.data == nullptr || header.length == 0) return false;
    header.flags |= WAVE_HEADER_PREPARED;
    return true;
}

bool PortAudioStream::unprepare(WaveHeader& header) const {
    if ((header.flags & WAVE_HEADER_PREPARED) == 0) return false;
    header.flags &= ~WAVE_HEADER_PREPARED;
    return true;
}

bool PortAudioStream::queue(WaveHeader& header) {
    if (stream_ == nullptr || (header.flags & WAVE_HEADER_PREPARED) == 0) return false;
    {
        std::lock_guard lock(mutex_);
        if (count_ == CAPACITY) return false;
        header.flags &= ~WAVE_HEADER_DONE;
        headers_[(head_ + count_) % CAPACITY] = &header;
        ++count_;
    }
    if (direction_ == Direction::Playback) return start();
    return true;
}

bool PortAudioStream::start() {
    if (stream_ == nullptr) return false;
    if (Pa_IsStreamStopped(asStream(stream_)) != 1) return true;
    return Pa_StartStream(asStream(stream_)) == paNoError;
}

bool PortAudioStream::reset() {
    if (stream_ == nullptr) return false;
    // Abort returns once the callback has finished and will not run again.
    if (Pa_IsStreamStopped(asStream(stream_)) == 0) Pa_AbortStream(asStream(stream_));
    std::optional<std::string> chosen;
    {
        std::lock_guard lock(mutex_);
        for (; count_ > 0; --count_, head_ = (head_ + 1) % CAPACITY)
            headers_[head_]->flags |= WAVE_HEADER_DONE;
        head_ = 0;
        position_ = 0;
        chosen.swap(chosen_);
    }
    // Stopped, the stream can move to another device: the new one opens
    // before the old one closes, so a failure leaves it where it was.
    if (chosen && *chosen != deviceName_) {
        const std::lock_guard library(libraryMutex());
        if (void* moved = openStreamOn(*chosen)) {
            Pa_CloseStream(asStream(stream_));
            stream_ = moved;
            deviceName_ = std::move(*chosen);
        }
    }
    return true;
}

bool PortAudioStream::close() {
    const bool wasOpen = stream_ != nullptr;
    {
        // A device chosen for the next call is not opened only to be closed.
        const std::lock_guard lock(mutex_);
        chosen_.reset();
    }
    if (wasOpen) reset();
    const std::lock_guard lock(libraryMutex());
    if (wasOpen) {
        Pa_CloseStream(asStream(stream_));
        stream_ = nullptr;
    }
    if (initialised_) {
        Pa_Terminate();
        initialised_ = false;
    }
    listener_ = nullptr;
    return wasOpen;
}

void PortAudioStream::onStream(const int16_t* input, int16_t* output, size_t frames) {
    std::array<WaveHeader*, COMPLETIONS_PER_CALLBACK> completed{};
    size_t completedCount = 0;
    size_t done = 0;
    {
        std::lock_guard lock(mutex_);
        while (done < frames && count_ > 0 && completedCount < completed.size()) {
            WaveHeader& header = *headers_[head_];
            const size_t take = std::min(header.length - position_, frames - done);
            if (direction_ == Direction::Capture) {
                if (input != nullptr)
                    std::copy_n(input + done, take, header.data + position_);
                else
                    std::fill_n(header.data + position_, take, int16_t{0});
            } else {
                std::copy_n(header.data + position_, take, output + done);
            }
            position_ += take;
            done += take;
            if (position_ == header.length) {
                header.flags |= WAVE_HEADER_DONE;
                completed[completedCount++] = &header;
                head_ = (head_ + 1) % CAPACITY;
                --count_;
                position_ = 0;
            }
        }
    }
    // Nothing queued to play: silence (the driver keeps two buffers queued).
    if (direction_ == Direction::Playback && done < frames)
        std::fill_n(output + done, frames - done, int16_t{0});
    for (size_t i = 0; i < completedCount; ++i) listener_->waveCompleted(*completed[i]);
}

}  // namespace vorpel
