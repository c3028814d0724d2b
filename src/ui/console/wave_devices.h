// The sound devices both front ends choose from their command line: the sound
// card through PortAudio, or the file device when --capture or --playback is
// given (either alone: the other direction is silent in, or discarded out).
#pragma once

#include <memory>

#include "media/wave_device.h"
#include "ui/console/console_options.h"

namespace vorpel {

struct WaveDevices {
    std::unique_ptr<WaveCaptureDevice> capture;
    std::unique_ptr<WavePlaybackDevice> playback;
};

WaveDevices openWaveDevices(const ConsoleOptions& options);

}  // namespace vorpel
