// The WAV reader behind --capture: the input is the whole file. Checked: a
// layout that is accepted lies inside the file, after the RIFF header, and
// its samples can be read to their end.
#include <array>
#include <cstdio>

#include "fuzz_support.h"
#include "platform/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorpel;
    if (size == 0) return 0;  // fmemopen needs a buffer
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (file == nullptr) return 0;
    WavLayout layout;
    const bool riff = looksLikeWav(file);
    if (readWavLayout(file, layout) == nullptr) {
        FUZZ_CHECK(riff);
        FUZZ_CHECK(layout.dataOffset >= 12 &&
                   static_cast<size_t>(layout.dataOffset) + layout.dataBytes <= size);
        std::array<uint8_t, 512> samples;
        FUZZ_CHECK(std::fseek(file, layout.dataOffset, SEEK_SET) == 0);
        size_t left = layout.dataBytes;
        while (left > 0) {
            const size_t got = std::fread(samples.data(), 1, std::min(left, samples.size()), file);
            FUZZ_CHECK(got > 0);
            left -= got;
        }
    }
    std::fclose(file);
    return 0;
}
