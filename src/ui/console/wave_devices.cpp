#include "ui/console/wave_devices.h"

#include <algorithm>
#include <vector>

#include "common/quoted_text.h"
#include "platform/file_wave_device.h"
#include "platform/portaudio_wave_device.h"
#include "platform/sound_device_choice.h"

namespace vorpel {

namespace {

constexpr const char* NO_AUDIO_FILE = "/dev/null";

// Empties name, and says so in notice, when the list does not hold it.
void keepIfListed(std::string& name, const std::vector<std::string>& listed, std::string_view direction,
                  std::string_view applicationName, std::string& notice) {
    if (name.empty() || std::find(listed.begin(), listed.end(), name) != listed.end()) return;
    notice.append(applicationName)
        .append(": ")
        .append(direction)
        .append(" device ")
        .append(quoteText(name))
        .append(" not found; using the default device\n");
    name.clear();
}

}  // namespace

WaveDevices openWaveDevices(const ConsoleOptions& options, std::string_view applicationName) {
    WaveDevices devices;
    if (options.fileAudio()) {
        devices.capture = std::make_unique<FileCaptureDevice>(options.capture.value_or(NO_AUDIO_FILE));
        devices.playback = std::make_unique<FilePlaybackDevice>(options.playback.value_or(NO_AUDIO_FILE));
        return devices;
    }
    SoundDeviceChoice choice = SoundDeviceFile(applicationName).read();
    if (options.captureDevice) choice.capture = *options.captureDevice;
    if (options.playbackDevice) choice.playback = *options.playbackDevice;
    if (!choice.capture.empty() || !choice.playback.empty()) {
        const SoundDeviceList listed = listSoundDevices();
        keepIfListed(choice.capture, listed.capture, "capture", applicationName, devices.notice);
        keepIfListed(choice.playback, listed.playback, "playback", applicationName, devices.notice);
    }
    devices.capture = std::make_unique<PortAudioCaptureDevice>(choice.capture);
    devices.playback = std::make_unique<PortAudioPlaybackDevice>(choice.playback);
    return devices;
}

}  // namespace vorpel
