// The sound devices both front ends choose from their command line: the file
// device for a direction given --capture or --playback (either alone: the
// other direction is silent in, or discarded out, unless a device is named for
// it), otherwise PortAudio's devices as chosen in the user's sound-device
// file, --capture-device and --playback-device taking precedence. A chosen device that PortAudio does not
// list is replaced by the default device, with a one-line notice.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "media/wave_device.h"
#include "ui/console/console_options.h"

namespace vorpel {

class PortAudioCaptureDevice;
class PortAudioPlaybackDevice;

struct WaveDevices {
    std::unique_ptr<WaveCaptureDevice> capture;
    std::unique_ptr<WavePlaybackDevice> playback;
    std::string notice;  // one line per device that was not found; empty when none
    // The same devices where they are sound devices (not files), else nullptr.
    PortAudioCaptureDevice* soundCapture = nullptr;
    PortAudioPlaybackDevice* soundPlayback = nullptr;
};

// applicationName names the program in the notice and finds its sound-device file.
WaveDevices openWaveDevices(const ConsoleOptions& options, std::string_view applicationName);

// Moves one direction to another sound device from the next call on (an
// empty name: the default device). Returns the notice to show: a name
// PortAudio does not list goes to the default device, and a direction that
// plays or records a file has no device to move.
std::string chooseSoundDevice(WaveDevices& devices, bool capture, std::string name,
                              std::string_view applicationName);

}  // namespace vorpel
