#include "media/threaded_audio_driver.h"

#include <algorithm>

#include "media/rtp_voice_packet.h"

namespace vorpel {
namespace {

constexpr uint32_t wrap(uint32_t index) { return index % ThreadedAudioDriver::BUFFER_COUNT; }

// Opens one device (unless open) and prepares its headers in index order,
// stopping at the first failure; open and prepared record how far it got.
template <typename Device, typename Buffers, typename Headers>
bool openAndPrepare(Device& device, WaveListener& listener, Buffers& buffers, Headers& headers, bool& open,
                    uint32_t& prepared) {
    if (!open) {
        if (!device.open(WaveFormat{}, listener)) return false;
        open = true;
    }
    for (; prepared < ThreadedAudioDriver::BUFFER_COUNT; ++prepared) {
        headers[prepared] = WaveHeader{buffers[prepared].data(), WAVE_BUFFER_SAMPLES, prepared, 0};
        if (!device.prepareHeader(headers[prepared])) return false;
    }
    return true;
}

}  // namespace

ThreadedAudioDriver::ThreadedAudioDriver(WaveCaptureDevice& capture, WavePlaybackDevice& playback,
                                         AudioBlockPort& blocks, BacklightPort& backlight,
                                         const AudioState& audio, Mutex& mediaLock,
                                         AudioThreadPort* audioThread)
    : capture_(capture),
      playback_(playback),
      blocks_(blocks),
      backlight_(backlight),
      audio_(audio),
      mediaLock_(mediaLock),
      audioThread_(audioThread) {}

ThreadedAudioDriver::~ThreadedAudioDriver() { close(); }

void ThreadedAudioDriver::CaptureListener::waveCompleted(WaveHeader& header) {
    driver_.captureLastCompleted_.store(header.user, std::memory_order_relaxed);
    driver_.captureCompletions_.fetch_add(1, std::memory_order_release);
}

void ThreadedAudioDriver::PlaybackListener::waveCompleted(WaveHeader& header) {
    driver_.playbackLastCompleted_.store(header.user, std::memory_order_relaxed);
    driver_.playbackCompletions_.fetch_add(1, std::memory_order_release);
    driver_.wake_.set(driver_.generation_.load(std::memory_order_acquire));
}

void ThreadedAudioDriver::clearState() {
    initialised_ = false;
    running_ = false;
    captureCompletions_.store(0);
    captureLastCompleted_.store(0);
    playbackCompletions_.store(0);
    playbackLastCompleted_.store(0);
    captureNextToQueue_ = 0;
    captureNextToEncode_ = 0;
    playbackNextToWrite_ = 0;
    previousMode_ = AudioMode::Idle;
    currentMode_ = AudioMode::Idle;
}

// Opens both devices and prepares every header once. A failing step returns
// false at once; close undoes whatever was done.
bool ThreadedAudioDriver::init() {
    if (audioThread_ != nullptr && !threadStarted_) {
        wake_.open();
        if (!audioThread_->start(&ThreadedAudioDriver::threadBody, this)) return false;
        threadStarted_ = true;
    }

    const MutexLock lock(mediaLock_);
    clearState();
    if (!openAndPrepare(capture_, captureListener_, captureBuffers_, captureHeaders_, captureOpen_,
                        capturePrepared_)) {
        return false;
    }
    if (!openAndPrepare(playback_, playbackListener_, playbackBuffers_, playbackHeaders_, playbackOpen_,
                        playbackPrepared_)) {
        return false;
    }
    initialised_ = true;
    return true;
}

// Ends the audio thread (told to leave its loop and joined), then stops the
// devices, unprepares the headers and closes the devices. Nothing touches a
// device afterwards; a later tick finds the driver uninitialised. The
// backlight requirement is left as it is.
void ThreadedAudioDriver::close() {
    {
        const MutexLock lock(mediaLock_);
        running_ = false;
        initialised_ = false;
    }
    wake_.close();
    if (threadStarted_) {
        audioThread_->join();
        threadStarted_ = false;
    }

    const MutexLock lock(mediaLock_);
    if (captureOpen_) capture_.reset();
    if (playbackOpen_) playback_.reset();
    for (uint32_t i = 0; i < capturePrepared_; ++i) capture_.unprepareHeader(captureHeaders_[i]);
    for (uint32_t i = 0; i < playbackPrepared_; ++i) playback_.unprepareHeader(playbackHeaders_[i]);
    capturePrepared_ = 0;
    playbackPrepared_ = 0;
    if (captureOpen_) capture_.close();
    if (playbackOpen_) playback_.close();
    captureOpen_ = false;
    playbackOpen_ = false;
}

void ThreadedAudioDriver::tick() {
    const MutexLock lock(mediaLock_);
    if (!initialised_) return;
    previousMode_ = currentMode_;
    currentMode_ = audio_.audioMode();
    if (currentMode_ == previousMode_) return;
    if (currentMode_ != AudioMode::Idle) {
        start();
    } else {
        stop();
    }
}

// Restarts both directions: 24 empty capture buffers queued and capture
// started, two silent playback buffers (200 ms) queued. The first block then
// encoded is buffer 31, which holds no audio of the new capture.
void ThreadedAudioDriver::start() {
    running_ = false;
    generation_.fetch_add(1, std::memory_order_acq_rel);
    backlight_.holdBacklight(true);

    capture_.reset();
    captureCompletions_.store(0);
    captureLastCompleted_.store(BUFFER_COUNT - 1);
    captureNextToQueue_ = 0;
    captureNextToEncode_ = BUFFER_COUNT - 1;
    for (uint32_t i = 0; i < CAPTURE_BUFFERS_AT_START; ++i) queueCaptureBuffer();
    capture_.start();

    playback_.reset();
    playbackCompletions_.store(0);
    playbackLastCompleted_.store(BUFFER_COUNT - 1);
    playbackNextToWrite_ = 0;
    for (uint32_t i = 0; i < SILENT_BUFFERS_AT_START; ++i) {
        playbackBuffers_[playbackNextToWrite_].fill(0);
        writePlaybackBuffer();
    }
    running_ = true;
}

// Headers stay prepared and the devices stay open.
void ThreadedAudioDriver::stop() {
    running_ = false;
    backlight_.holdBacklight(false);
    capture_.reset();
    playback_.reset();
}

void ThreadedAudioDriver::queueCaptureBuffer() {
    WaveHeader& header = captureHeaders_[captureNextToQueue_];
    header.flags = WAVE_HEADER_PREPARED;
    capture_.addBuffer(header);
    captureNextToQueue_ = wrap(captureNextToQueue_ + 1);
}

void ThreadedAudioDriver::writePlaybackBuffer() {
    WaveHeader& header = playbackHeaders_[playbackNextToWrite_];
    header.flags = WAVE_HEADER_PREPARED;
    playback_.write(header);
    playbackNextToWrite_ = wrap(playbackNextToWrite_ + 1);
}

void ThreadedAudioDriver::threadBody(void* self) {
    auto& driver = *static_cast<ThreadedAudioDriver*>(self);
    for (;;) {
        const std::optional<uint32_t> tag = driver.wake_.wait();
        if (!tag) return;  // closed
        const MutexLock lock(driver.mediaLock_);
        if (driver.running_ && *tag == driver.generation_.load(std::memory_order_acquire)) driver.pass();
    }
}

void ThreadedAudioDriver::runPass() {
    const MutexLock lock(mediaLock_);
    if (running_) pass();
}

void ThreadedAudioDriver::pass() {
    if (captureCompletions_.load(std::memory_order_acquire) != 0) {
        const uint32_t pending =
            wrap(captureLastCompleted_.load(std::memory_order_relaxed) + BUFFER_COUNT - captureNextToEncode_);
        if (pending > OVERFLOW_BACKLOG) {
            start();  // discards the backlog in both directions; no playback this pass
            return;
        }
        if (pending >= JOIN_BACKLOG) {
            const Block& first = captureBuffers_[captureNextToEncode_];
            const Block& second = captureBuffers_[wrap(captureNextToEncode_ + 1)];
            std::copy(first.begin(), first.end(), joining_.begin());
            std::copy(second.begin(), second.end(), joining_.begin() + WAVE_BUFFER_SAMPLES);
            captureNextToEncode_ = wrap(captureNextToEncode_ + 2);
            blocks_.transmitBlock(joining_, 2 * BLOCK_FRAMES);
            queueCaptureBuffer();
            queueCaptureBuffer();
        } else if (pending >= 1) {
            Block& block = captureBuffers_[captureNextToEncode_];
            captureNextToEncode_ = wrap(captureNextToEncode_ + 1);
            blocks_.transmitBlock(block, BLOCK_FRAMES);
            queueCaptureBuffer();
        }
    }
    blocks_.playoutBlock(playbackBuffers_[playbackNextToWrite_], BLOCK_FRAMES);
    writePlaybackBuffer();
}

}  // namespace vorpel
