#include "audio_signal.h"

#include <cmath>
#include <fstream>
#include <iterator>

namespace vorpel::e2e {

std::vector<int16_t> readSamples(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                          (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
    return samples;
}

bool writeSamples(const std::filesystem::path& file, const std::vector<int16_t>& samples) {
    std::ofstream out(file, std::ios::binary);
    for (int16_t s : samples) {
        const auto u = static_cast<uint16_t>(s);
        out.put(static_cast<char>(u & 0xFF)).put(static_cast<char>(u >> 8));
    }
    return static_cast<bool>(out.flush());
}

std::vector<int16_t> toneSteps(size_t samples, double amplitude, uint32_t seed) {
    std::vector<int16_t> out(samples);
    double hz = 0, phase = 0;
    for (size_t i = 0; i < samples; ++i) {
        if (i % 2000 == 0) {
            seed = seed * 1103515245u + 12345u;
            hz = 300.0 + static_cast<double>((seed >> 16) % 1200);
        }
        phase += 2 * M_PI * hz / 8000.0;
        out[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(phase)));
    }
    return out;
}

Match bestMatch(const std::vector<int16_t>& needle, const std::vector<int16_t>& haystack) {
    Match best;
    if (needle.empty() || haystack.size() < needle.size()) return best;
    double needleEnergy = 0, windowEnergy = 0;
    for (size_t i = 0; i < needle.size(); ++i) {
        needleEnergy += double(needle[i]) * needle[i];
        windowEnergy += double(haystack[i]) * haystack[i];
    }
    for (size_t offset = 0;; ++offset) {
        double dot = 0;
        for (size_t i = 0; i < needle.size(); ++i) dot += double(needle[i]) * haystack[offset + i];
        const double scale = std::sqrt(needleEnergy * windowEnergy);
        if (scale > 0 && dot / scale > best.correlation)
            best = {dot / scale, offset, std::sqrt(windowEnergy / needleEnergy)};
        if (offset + needle.size() == haystack.size()) return best;
        windowEnergy += double(haystack[offset + needle.size()]) * haystack[offset + needle.size()] -
                        double(haystack[offset]) * haystack[offset];
    }
}

}  // namespace vorpel::e2e
