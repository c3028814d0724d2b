// Which sound devices the user chose, kept per user in a small file of its
// own beside the settings store (never in the settings text):
// $XDG_CONFIG_HOME/VorpelMobile/<application name>/Settings/SoundDevices,
// two lines "capture=NAME" and "playback=NAME". An empty or missing name is
// the desktop's default device.
//
// A file that is too long, a line without '=', an unknown key or a name with
// control bytes or beyond MAX_SOUND_DEVICE_NAME bytes costs only what it
// spoils: that line reads as the default device, the others as written.
//
// Threads: window thread.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vorpel {

inline constexpr size_t MAX_SOUND_DEVICE_NAME = 255;

struct SoundDeviceChoice {
    std::string capture;
    std::string playback;
    bool operator==(const SoundDeviceChoice&) const = default;
};

SoundDeviceChoice parseSoundDeviceChoice(std::string_view text);
// The file's text; a name that could not be read back is written as the default.
std::string formatSoundDeviceChoice(const SoundDeviceChoice& choice);

class SoundDeviceFile {
public:
    explicit SoundDeviceFile(std::string_view applicationName);
    const std::filesystem::path& path() const { return path_; }
    SoundDeviceChoice read() const;
    bool write(const SoundDeviceChoice& choice) const;

private:
    std::filesystem::path path_;
};

}  // namespace vorpel
