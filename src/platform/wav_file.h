// RIFF/WAVE files of 16-bit PCM: finding the samples in a file that someone
// else wrote, and writing the 44-byte header of a file of our own.
//
// Layout (all numbers little-endian):
//   0  "RIFF"  4  riff size (file size - 8)  8  "WAVE"
//   then chunks: 4-byte id, 4-byte size, data padded to an even size.
//   "fmt " (at least 16 bytes): format tag (1 = PCM), channels, sample rate,
//          byte rate, block align, bits per sample.
//   "data": the samples.
#pragma once

#include <cstdint>
#include <cstdio>

namespace vorpel {

inline constexpr uint16_t WAV_FORMAT_PCM = 1;
inline constexpr long WAV_HEADER_SIZE = 44;

struct WavLayout {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
    long dataOffset = 0;     // where the first sample starts
    uint32_t dataBytes = 0;  // cut down to what the file really holds
};

// Walks the chunks of the file from its start. Returns nullptr and fills
// layout on success, or a short description of what is wrong ("not a RIFF
// file", "no data chunk", ...). Never reads outside the file.
const char* readWavLayout(std::FILE* file, WavLayout& layout);

// True when the file starts with "RIFF".
bool looksLikeWav(std::FILE* file);

// Writes a 44-byte header for mono 16-bit PCM at sampleRate with dataBytes of
// samples, at the start of the file. Returns false on a write error.
bool writeWavHeader(std::FILE* file, uint32_t sampleRate, uint32_t dataBytes);

}  // namespace vorpel
