#include "ui/console/wave_devices.h"

#include <algorithm>
#include <optional>
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
    // A direction with neither a file nor a device named goes silent (or
    // discarded) when the other one has a file.
    const auto fileFor = [&](const std::optional<std::string>& file,
                             const std::optional<std::string>& device) {
        return file                             ? file
               : options.fileAudio() && !device ? std::optional<std::string>(NO_AUDIO_FILE)
                                                : std::nullopt;
    };
    const auto captureFile = fileFor(options.capture, options.captureDevice);
    const auto playbackFile = fileFor(options.playback, options.playbackDevice);
    SoundDeviceChoice choice;
    if (!captureFile || !playbackFile) choice = SoundDeviceFile(applicationName).read();
    if (options.captureDevice) choice.capture = *options.captureDevice;
    if (options.playbackDevice) choice.playback = *options.playbackDevice;
    if (captureFile) choice.capture.clear();
    if (playbackFile) choice.playback.clear();

    WaveDevices devices;
    if (!choice.capture.empty() || !choice.playback.empty()) {
        const SoundDeviceList listed = listSoundDevices();
        keepIfListed(choice.capture, listed.capture, "capture", applicationName, devices.notice);
        keepIfListed(choice.playback, listed.playback, "playback", applicationName, devices.notice);
    }
    if (captureFile) {
        devices.capture = std::make_unique<FileCaptureDevice>(*captureFile);
    } else {
        auto sound = std::make_unique<PortAudioCaptureDevice>(choice.capture);
        devices.soundCapture = sound.get();
        devices.capture = std::move(sound);
    }
    if (playbackFile) {
        devices.playback = std::make_unique<FilePlaybackDevice>(*playbackFile);
    } else {
        auto sound = std::make_unique<PortAudioPlaybackDevice>(choice.playback);
        devices.soundPlayback = sound.get();
        devices.playback = std::move(sound);
    }
    return devices;
}

std::string chooseSoundDevice(WaveDevices& devices, bool capture, std::string name,
                              std::string_view applicationName) {
    const std::string_view direction = capture ? "capture" : "playback";
    if (capture ? devices.soundCapture == nullptr : devices.soundPlayback == nullptr)
        return std::string(applicationName)
            .append(": ")
            .append(direction)
            .append(" uses a file, not a device\n");
    std::string notice;
    if (!name.empty()) {
        const SoundDeviceList listed = listSoundDevices();
        keepIfListed(name, capture ? listed.capture : listed.playback, direction, applicationName, notice);
    }
    if (capture)
        devices.soundCapture->choose(name);
    else
        devices.soundPlayback->choose(name);
    return notice;
}

}  // namespace vorpel
