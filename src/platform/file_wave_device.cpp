#include "platform/file_wave_device.h"

#include <algorithm>
#include <array>

#include "platform/wav_file.h"

namespace vorpel {
namespace {

constexpr size_t SAMPLE_BYTES = 2;
// Largest data size a WAV header can state.
constexpr uint64_t WAV_DATA_LIMIT = 0xFFFFFFFFu - static_cast<uint64_t>(WAV_HEADER_SIZE);

bool isDeviceFormat(const WaveFormat& format) {
    return format.sampleRate == WAVE_SAMPLE_RATE && format.channels == WAVE_CHANNELS &&
           format.bitsPerSample == WAVE_BITS_PER_SAMPLE;
}

bool endsWithWav(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return tail == ".wav";
}

bool prepare(WaveHeader& header) {
    if (header.data == nullptr || header.length == 0) return false;
    header.flags |= WAVE_HEADER_PREPARED;
    return true;
}

bool unprepare(WaveHeader& header) {
    if ((header.flags & WAVE_HEADER_PREPARED) == 0) return false;
    header.flags &= ~WAVE_HEADER_PREPARED;
    return true;
}

}  // namespace

FileCaptureDevice::~FileCaptureDevice() { close(); }

bool FileCaptureDevice::fail(std::string why) {
    lastError_ = path_ + ": " + std::move(why);
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    return false;
}

bool FileCaptureDevice::open(const WaveFormat& format, WaveListener& listener) {
    if (file_ != nullptr) return fail("already open");
    if (!isDeviceFormat(format)) return fail("only 8000 Hz mono 16-bit audio is supported");
    file_ = std::fopen(path_.c_str(), "rb");
    if (file_ == nullptr) return fail("cannot be opened");
    if (looksLikeWav(file_)) {
        WavLayout layout;
        if (const char* error = readWavLayout(file_, layout)) return fail(error);
        if (layout.formatTag != WAV_FORMAT_PCM || layout.channels != WAVE_CHANNELS ||
            layout.sampleRate != WAVE_SAMPLE_RATE || layout.bitsPerSample != WAVE_BITS_PER_SAMPLE)
            return fail("not 8000 Hz mono 16-bit PCM");
        if (std::fseek(file_, layout.dataOffset, SEEK_SET) != 0) return fail("cannot seek to the samples");
        samplesLeft_ = layout.dataBytes / SAMPLE_BYTES;
    } else {
        if (std::fseek(file_, 0, SEEK_END) != 0) return fail("cannot be read");
        const long size = std::ftell(file_);
        if (size < 0 || std::fseek(file_, 0, SEEK_SET) != 0) return fail("cannot be read");
        samplesLeft_ = static_cast<uint64_t>(size) / SAMPLE_BYTES;
    }
    if (!queue_.begin(listener, WAVE_SAMPLE_RATE)) return fail("cannot start the device thread");
    lastError_.clear();
    return true;
}

void FileCaptureDevice::transferBlock(std::span<int16_t> samples, size_t sampleCount) {
    // Runs on the queue's thread; the file is read nowhere else meanwhile.
    std::array<uint8_t, WAVE_BUFFER_SAMPLES * SAMPLE_BYTES> bytes{};
    size_t done = 0;
    while (done < sampleCount) {
        const size_t want = std::min<uint64_t>({sampleCount - done, WAVE_BUFFER_SAMPLES, samplesLeft_});
        size_t got = 0;
        if (want > 0) got = std::fread(bytes.data(), SAMPLE_BYTES, want, file_);
        if (got == 0) {
            samplesLeft_ = 0;  // end of the recording (or a read error): silence from now on
            break;
        }
        samplesLeft_ -= got;
        for (size_t i = 0; i < got && done + i < samples.size(); ++i)
            samples[done + i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        done += got;
    }
    for (size_t i = done; i < samples.size(); ++i) samples[i] = 0;
}

bool FileCaptureDevice::prepareHeader(WaveHeader& header) { return file_ != nullptr && prepare(header); }
bool FileCaptureDevice::unprepareHeader(WaveHeader& header) { return unprepare(header); }
bool FileCaptureDevice::addBuffer(WaveHeader& header) { return queue_.queue(header); }

bool FileCaptureDevice::start() {
    if (file_ == nullptr) return false;
    queue_.startClock();
    return true;
}

bool FileCaptureDevice::reset() {
    queue_.reset();
    return file_ != nullptr;
}

bool FileCaptureDevice::close() {
    queue_.stop();
    if (file_ == nullptr) return false;
    std::fclose(file_);
    file_ = nullptr;
    return true;
}

FilePlaybackDevice::~FilePlaybackDevice() { close(); }

bool FilePlaybackDevice::open(const WaveFormat& format, WaveListener& listener) {
    if (file_ != nullptr) {
        lastError_ = path_ + ": already open";
        return false;
    }
    if (!isDeviceFormat(format)) {
        lastError_ = path_ + ": only 8000 Hz mono 16-bit audio is supported";
        return false;
    }
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_ == nullptr) {
        lastError_ = path_ + ": cannot be created";
        return false;
    }
    wav_ = endsWithWav(path_);
    bytesWritten_ = 0;
    writeFailed_ = wav_ && !writeWavHeader(file_, WAVE_SAMPLE_RATE, 0);
    if (writeFailed_ || !queue_.begin(listener, WAVE_SAMPLE_RATE)) {
        lastError_ = path_ + ": cannot be written";
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    lastError_.clear();
    return true;
}

void FilePlaybackDevice::transferBlock(std::span<int16_t> samples, size_t) {
    std::array<uint8_t, WAVE_BUFFER_SAMPLES * SAMPLE_BYTES> bytes{};
    while (!samples.empty()) {
        const size_t count = std::min(samples.size(), WAVE_BUFFER_SAMPLES);
        for (size_t i = 0; i < count; ++i) {
            const auto value = static_cast<uint16_t>(samples[i]);
            bytes[2 * i] = static_cast<uint8_t>(value);
            bytes[2 * i + 1] = static_cast<uint8_t>(value >> 8);
        }
        if (std::fwrite(bytes.data(), SAMPLE_BYTES, count, file_) != count) writeFailed_ = true;
        bytesWritten_ += count * SAMPLE_BYTES;
        samples = samples.subspan(count);
    }
}

bool FilePlaybackDevice::prepareHeader(WaveHeader& header) { return file_ != nullptr && prepare(header); }
bool FilePlaybackDevice::unprepareHeader(WaveHeader& header) { return unprepare(header); }
bool FilePlaybackDevice::write(WaveHeader& header) { return queue_.queue(header); }

bool FilePlaybackDevice::reset() {
    queue_.reset();
    return file_ != nullptr;
}

bool FilePlaybackDevice::close() {
    queue_.stop();
    if (file_ == nullptr) return false;
    bool ok = !writeFailed_;
    if (wav_)
        ok = writeWavHeader(file_, WAVE_SAMPLE_RATE,
                            static_cast<uint32_t>(std::min(bytesWritten_, WAV_DATA_LIMIT))) &&
             ok;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    return ok;
}

}  // namespace vorpel
