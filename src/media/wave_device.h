// The wave audio devices the audio driver runs on: one capture device (the
// microphone) and one playback device (the speaker), both 8000 Hz, mono,
// signed 16-bit PCM, moving audio in caller-owned buffers described by
// WaveHeader records.
//
// Life of a device: open, prepare every header once, then any number of
// add/write + reset rounds, then unprepare every header and close. A buffer
// handed to the device (addBuffer / write) belongs to the device until its
// completion callback has run or a reset has returned; meanwhile the caller
// neither reads nor writes its samples or its header.
//
// Threads:
// - Every operation below is called by the audio driver, from the timer
//   thread (start/stop), the audio thread (queueing and overflow recovery)
//   or the window thread (init/close), never by two threads at once: the
//   driver serialises them with its media lock.
// - WaveListener::waveCompleted runs on a thread of the audio system (never
//   on a thread that is inside one of the operations below, except where
//   reset says otherwise). It must be short: the driver only counts the
//   completion, remembers the header's user value and wakes its audio thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorpel {

inline constexpr uint32_t WAVE_SAMPLE_RATE = 8000;
inline constexpr uint16_t WAVE_CHANNELS = 1;
inline constexpr uint16_t WAVE_BITS_PER_SAMPLE = 16;
// One buffer is a block: 800 samples, 100 ms, ten codec frames, 1600 bytes.
inline constexpr size_t WAVE_BUFFER_SAMPLES = 800;

// Header flag bits.
inline constexpr uint32_t WAVE_HEADER_DONE = 0x1;  // set by the device when it has finished with the buffer
inline constexpr uint32_t WAVE_HEADER_PREPARED = 0x2;  // set by prepareHeader, cleared by unprepareHeader

// PCM format of both directions: 8000 samples/s, 1 channel, 16 bits,
// 16000 bytes/s, 2 bytes per sample frame.
struct WaveFormat {
    uint32_t sampleRate = WAVE_SAMPLE_RATE;
    uint16_t channels = WAVE_CHANNELS;
    uint16_t bitsPerSample = WAVE_BITS_PER_SAMPLE;
};

// Describes one buffer. The driver fills data, length and user before
// prepareHeader and never changes them afterwards; the device sets the done
// flag when it has filled (capture) or played (playback) the buffer.
struct WaveHeader {
    int16_t* data = nullptr;
    size_t length = 0;   // in samples (WAVE_BUFFER_SAMPLES)
    uint32_t user = 0;   // the driver's buffer index, handed back in the completion
    uint32_t flags = 0;  // WAVE_HEADER_DONE | WAVE_HEADER_PREPARED
};

// Completion callback of one device. Called once for every buffer that the
// device finished (filled by capture, played by playback) and for nothing
// else, with that buffer's header (done flag already set).
class WaveListener {
public:
    virtual ~WaveListener() = default;
    virtual void waveCompleted(WaveHeader& header) = 0;
};

// Microphone. Every operation returns false on failure; the driver checks only
// open and prepareHeader.
class WaveCaptureDevice {
public:
    virtual ~WaveCaptureDevice() = default;
    // Opens the system's default capture device; completions go to listener.
    virtual bool open(const WaveFormat& format, WaveListener& listener) = 0;
    // Sets the prepared flag; the header may then be added any number of times.
    virtual bool prepareHeader(WaveHeader& header) = 0;
    virtual bool unprepareHeader(WaveHeader& header) = 0;
    // Queues an empty buffer; buffers are filled in the order they were added.
    virtual bool addBuffer(WaveHeader& header) = 0;
    // Begins recording into the queued buffers (and into those added later).
    virtual bool start() = 0;
    // Stops recording and gives back every queued buffer: each gets the done
    // flag but no completion callback. When reset returns, no callback is
    // running and none will run until buffers are added and started again.
    virtual bool reset() = 0;
    // Closes the device; no callback runs after close has returned.
    virtual bool close() = 0;
};

// Speaker. Every operation returns false on failure; the driver checks only
// open and prepareHeader.
class WavePlaybackDevice {
public:
    virtual ~WavePlaybackDevice() = default;
    virtual bool open(const WaveFormat& format, WaveListener& listener) = 0;
    virtual bool prepareHeader(WaveHeader& header) = 0;
    virtual bool unprepareHeader(WaveHeader& header) = 0;
    // Queues a full buffer; playing begins at once and buffers play in the
    // order they were written, back to back.
    virtual bool write(WaveHeader& header) = 0;
    // Stops playing and gives back every queued buffer, with the same
    // guarantees as WaveCaptureDevice::reset (done flag, no callback).
    virtual bool reset() = 0;
    virtual bool close() = 0;
};

}  // namespace vorpel
