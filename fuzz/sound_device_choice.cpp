// The sound-device file as the store reads it: the whole input is the file's
// text. Checked: every name read is one the file could hold (no control
// bytes, not too long), and the choice written back reads as the same choice.
#include <algorithm>
#include <string_view>

#include "fuzz_support.h"
#include "platform/sound_device_choice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorpel;
    const SoundDeviceChoice choice =
        parseSoundDeviceChoice(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const std::string* name : {&choice.capture, &choice.playback}) {
        FUZZ_CHECK(name->size() <= MAX_SOUND_DEVICE_NAME);
        FUZZ_CHECK(std::none_of(name->begin(), name->end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7F;
        }));
    }
    FUZZ_CHECK(parseSoundDeviceChoice(formatSoundDeviceChoice(choice)) == choice);
    return 0;
}
