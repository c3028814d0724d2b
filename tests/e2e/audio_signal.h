// Test signals for the whole-program calls: raw 16-bit 8000-Hz mono files,
// a signal no stretch of which repeats, and the search for one signal inside
// another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace vorpel::e2e {

std::vector<int16_t> readSamples(const std::filesystem::path& file);
bool writeSamples(const std::filesystem::path& file, const std::vector<int16_t>& samples);

// Tones of 250 ms each, pitches from 300 to 1500 Hz in an irregular order
// (seed picks it), the phase kept across the changes.
std::vector<int16_t> toneSteps(size_t samples, double amplitude, uint32_t seed = 12345);

struct Match {
    double correlation = 0;  // normalised, -1 to 1
    size_t offset = 0;       // where needle starts in haystack
    double level = 0;        // haystack's RMS there over needle's
};
// The offset of haystack at which needle correlates best.
Match bestMatch(const std::vector<int16_t>& needle, const std::vector<int16_t>& haystack);

}  // namespace vorpel::e2e
