#include "platform/portaudio_wave_device.h"

#include <gtest/gtest.h>

#include <portaudio.h>

#include <array>

namespace vorpel {
namespace {

class NoListener : public WaveListener {
public:
    void waveCompleted(WaveHeader&) override { ++completions; }
    int completions = 0;
};

// Whether PortAudio knows a default device for each direction here.
struct DefaultDevices {
    DefaultDevices() {
        if (Pa_Initialize() != paNoError) return;
        input = Pa_GetDefaultInputDevice() != paNoDevice;
        output = Pa_GetDefaultOutputDevice() != paNoDevice;
        Pa_Terminate();
    }
    bool input = false;
    bool output = false;
};

TEST(PortAudioWaveDevice, WithoutADefaultDeviceOpenFailsCleanlyAndCanBeTriedAgain) {
    const DefaultDevices devices;
    if (devices.input && devices.output) GTEST_SKIP() << "this machine has default sound devices";
    NoListener listener;
    std::array<int16_t, WAVE_BUFFER_SAMPLES> samples{};
    WaveHeader header{samples.data(), samples.size(), 0, 0};
    for (int attempt = 0; attempt < 2; ++attempt) {
        PortAudioCaptureDevice capture;
        PortAudioPlaybackDevice playback;
        const bool captureOpened = capture.open(WaveFormat{}, listener);
        const bool playbackOpened = playback.open(WaveFormat{}, listener);
        EXPECT_EQ(captureOpened, devices.input);
        EXPECT_EQ(playbackOpened, devices.output);
        if (!captureOpened) {
            // Nothing works on a device that did not open, and nothing crashes.
            EXPECT_FALSE(capture.prepareHeader(header));
            EXPECT_FALSE(capture.addBuffer(header));
            EXPECT_FALSE(capture.start());
            EXPECT_FALSE(capture.reset());
            EXPECT_FALSE(capture.close());
        }
        if (!playbackOpened) {
            EXPECT_FALSE(playback.prepareHeader(header));
            EXPECT_FALSE(playback.write(header));
            EXPECT_FALSE(playback.reset());
            EXPECT_FALSE(playback.close());
        }
    }
    EXPECT_EQ(listener.completions, 0);
}

TEST(PortAudioWaveDevice, RefusesFormatsOtherThan8000HzMono16Bit) {
    NoListener listener;
    PortAudioCaptureDevice capture;
    EXPECT_FALSE(capture.open(WaveFormat{16000, 1, 16}, listener));
    PortAudioPlaybackDevice playback;
    EXPECT_FALSE(playback.open(WaveFormat{8000, 2, 16}, listener));
    EXPECT_FALSE(playback.open(WaveFormat{8000, 1, 8}, listener));
}

}  // namespace
}  // namespace vorpel
