#include "platform/sound_device_choice.h"

#include "platform/settings_file_store.h"

namespace vorpel {

namespace {

constexpr std::string_view FILE_NAME = "SoundDevices";
constexpr std::string_view CAPTURE_KEY = "capture";
constexpr std::string_view PLAYBACK_KEY = "playback";
// Two keys with the longest names and their line ends fit well within this.
constexpr size_t MAX_FILE_SIZE = 1024;

bool validName(std::string_view name) {
    if (name.size() > MAX_SOUND_DEVICE_NAME) return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return false;
    }
    return true;
}

}  // namespace

SoundDeviceChoice parseSoundDeviceChoice(std::string_view text) {
    SoundDeviceChoice choice;
    if (text.size() > MAX_FILE_SIZE) return choice;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, equals);
        const std::string_view name = line.substr(equals + 1);
        if (!validName(name)) continue;
        if (key == CAPTURE_KEY) choice.capture = name;
        if (key == PLAYBACK_KEY) choice.playback = name;
    }
    return choice;
}

std::string formatSoundDeviceChoice(const SoundDeviceChoice& choice) {
    std::string text;
    for (const auto& [key, name] :
         {std::pair{CAPTURE_KEY, &choice.capture}, {PLAYBACK_KEY, &choice.playback}}) {
        text.append(key).append("=");
        if (validName(*name)) text.append(*name);
        text.append("\n");
    }
    return text;
}

SoundDeviceFile::SoundDeviceFile(std::string_view applicationName)
    : path_(SettingsFileStore::settingsFolder(applicationName) / FILE_NAME) {}

SoundDeviceChoice SoundDeviceFile::read() const {
    return parseSoundDeviceChoice(readFileHead(path_, MAX_FILE_SIZE + 1));
}

bool SoundDeviceFile::write(const SoundDeviceChoice& choice) const {
    return replaceFileAtomically(path_, formatSoundDeviceChoice(choice));
}

}  // namespace vorpel
