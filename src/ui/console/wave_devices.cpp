#include "ui/console/wave_devices.h"

#include "platform/file_wave_device.h"
#include "platform/portaudio_wave_device.h"

namespace vorpel {

namespace {
constexpr const char* NO_AUDIO_FILE = "/dev/null";
}  // namespace

WaveDevices openWaveDevices(const ConsoleOptions& options) {
    if (options.fileAudio()) {
        return {std::make_unique<FileCaptureDevice>(options.capture.value_or(NO_AUDIO_FILE)),
                std::make_unique<FilePlaybackDevice>(options.playback.value_or(NO_AUDIO_FILE))};
    }
    return {std::make_unique<PortAudioCaptureDevice>(), std::make_unique<PortAudioPlaybackDevice>()};
}

}  // namespace vorpel
