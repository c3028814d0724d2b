// "Sound devices…" from the Options menu: a capture and a playback list (the
// desktop's default device first), a Test button that plays a ring melody
// through the chosen output, and a live level meter of the chosen input. OK
// keeps the choice (the caller stores it), Cancel does not.
//
// The meter and the test open devices of their own through the openers, as
// the driver does: four capture blocks of 50 ms go round while the dialog is
// open, and the stream thread's completion only notes each block's peak and
// that it is free again; the GUI thread's timer hands free blocks back and
// shows the level. Nothing is allocated per block.
//
// Threads: GUI thread; the devices' completions on their own thread touch
// only atomics.
#pragma once

#include <QDialog>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/wave_device.h"

class QComboBox;
class QProgressBar;
class QTimer;

namespace vorpel {

inline constexpr char SOUND_DEVICES_TITLE[] = "Sound devices";

class SoundDeviceDialog final : public QDialog {
public:
    using CaptureOpener = std::function<std::unique_ptr<WaveCaptureDevice>(const std::string& name)>;
    using PlaybackOpener = std::function<std::unique_ptr<WavePlaybackDevice>(const std::string& name)>;

    struct Devices {
        std::vector<std::string> capture;   // default first
        std::vector<std::string> playback;  // default first
        CaptureOpener openCapture;
        PlaybackOpener openPlayback;
    };

    // chosenCapture and chosenPlayback: the stored choice ("" for the default;
    // a name no longer listed shows the default).
    SoundDeviceDialog(Devices devices, const std::string& chosenCapture, const std::string& chosenPlayback,
                      QWidget* parent = nullptr);
    ~SoundDeviceDialog() override;

    // The choice shown: "" when it is the default device (the first row).
    std::string capture() const;
    std::string playback() const;
    // The meter, 0 (silence or no device) to 100 (full scale).
    int level() const;
    // Starts the ring melody on the chosen output; false when it cannot open.
    bool playTest();

private:
    static constexpr size_t METER_BLOCKS = 4;
    static constexpr size_t METER_BLOCK_SAMPLES = 400;
    static constexpr size_t TEST_BLOCKS = 20;

    class MeterListener final : public WaveListener {
    public:
        void waveCompleted(WaveHeader& header) override;
        std::atomic<int> peak{0};
        std::array<std::atomic<bool>, METER_BLOCKS> free{};
    };
    class TestListener final : public WaveListener {
    public:
        void waveCompleted(WaveHeader&) override { played.fetch_add(1, std::memory_order_relaxed); }
        std::atomic<size_t> played{0};
    };

    void openMeter();
    void closeMeter();
    void closeTest();
    void poll();
    std::string chosen(const QComboBox* list, const std::vector<std::string>& names) const;

    Devices devices_;
    QComboBox* captureList_ = nullptr;
    QComboBox* playbackList_ = nullptr;
    QProgressBar* meter_ = nullptr;
    QTimer* timer_ = nullptr;

    std::unique_ptr<WaveCaptureDevice> meterDevice_;
    MeterListener meterListener_;
    std::array<std::array<int16_t, METER_BLOCK_SAMPLES>, METER_BLOCKS> meterBlocks_{};
    std::array<WaveHeader, METER_BLOCKS> meterHeaders_{};

    std::unique_ptr<WavePlaybackDevice> testDevice_;
    TestListener testListener_;
    std::vector<int16_t> testSamples_;
    std::array<WaveHeader, TEST_BLOCKS> testHeaders_{};
};

}  // namespace vorpel
