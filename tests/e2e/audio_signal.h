// Test signals and measurements for the whole-program audio tests: raw
// 16-bit 8000-Hz mono files, a distinctive signal, G.729 Annex A frames as
// they travel in RTP, and the search for one signal inside another.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "codec/g729a.h"
#include "scripted_server.h"

namespace vorpel::e2e {

using Frame = std::array<uint8_t, G729_FRAME_BYTES>;

inline constexpr uint8_t FRAME_MASK = 0x5A;  // the first byte of each frame on the wire
inline constexpr size_t RTP_HEADER_BYTES = 12;

std::vector<int16_t> readSamples(const std::filesystem::path& file);
bool writeSamples(const std::filesystem::path& file, const std::vector<int16_t>& samples);

// Tones of 250 ms each, pitches from 300 to 1500 Hz in an irregular order,
// the phase kept across the changes: no stretch repeats within a minute.
std::vector<int16_t> toneSteps(size_t samples, double amplitude);

// Encodes samples frame by frame (a whole number of frames) from a fresh encoder.
std::vector<Frame> encodeAll(const std::vector<int16_t>& samples);
// Decodes frames in order from a fresh decoder.
std::vector<int16_t> decodeAll(const std::vector<Frame>& frames);
// The frames of clear RTP packets (first byte unmasked); packets that are not
// a 12-byte header and whole frames are skipped.
std::vector<Frame> framesOf(const std::vector<Bytes>& packets);

struct Match {
    double correlation = 0;  // normalised, -1 to 1
    size_t offset = 0;       // where needle starts in haystack
};
// The offset of haystack at which needle correlates best, among the offsets
// from first to last (clipped to where needle fits whole).
Match bestMatch(const std::vector<int16_t>& needle, const std::vector<int16_t>& haystack, size_t first = 0,
                size_t last = SIZE_MAX);

double rms(const int16_t* samples, size_t count);
// The share of the samples' energy in the tone of frequency hz (Goertzel), 0 to 1.
double toneShare(const int16_t* samples, size_t count, double hz);

}  // namespace vorpel::e2e
