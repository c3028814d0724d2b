#include "vectors.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#ifndef VORPEL_G729A_VECTORS_DIR
#define VORPEL_G729A_VECTORS_DIR "../shared/g729a-vectors"
#endif
#ifndef VORPEL_G729A_EXTRA_DIR
#define VORPEL_G729A_EXTRA_DIR "../shared/g729a-extra"
#endif

namespace vorpel::testing {

namespace {
constexpr size_t SERIAL_WORDS = 82;  // sync, size, 80 bits
constexpr uint16_t BIT_ONE = 0x0081;
}  // namespace

std::string g729aVectorsFolder() {
    const char* env = std::getenv("VORPEL_G729A_VECTORS");
    return env != nullptr ? std::string(env) : std::string(VORPEL_G729A_VECTORS_DIR);
}

std::string g729aExtraFolder() {
    const char* env = std::getenv("VORPEL_G729A_EXTRA");
    return env != nullptr ? std::string(env) : std::string(VORPEL_G729A_EXTRA_DIR);
}

std::optional<std::vector<uint8_t>> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<int16_t> samplesFromBytes(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); i++) {
        samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return samples;
}

std::vector<PackedFrame> packedFromSerial(const std::vector<uint8_t>& bits) {
    const std::vector<int16_t> words = samplesFromBytes(bits);
    std::vector<PackedFrame> frames;
    for (size_t start = 0; start + SERIAL_WORDS <= words.size(); start += SERIAL_WORDS) {
        PackedFrame frame{};
        bool erased = false;
        for (size_t i = 0; i < 80; i++) {
            const auto word = static_cast<uint16_t>(words[start + 2 + i]);
            if (word == 0) erased = true;
            if (word == BIT_ONE) frame[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
        }
        if (erased) frame.fill(0);
        frames.push_back(frame);
    }
    return frames;
}

std::vector<PackedFrame> packedFrames(const std::vector<uint8_t>& bytes) {
    std::vector<PackedFrame> frames(bytes.size() / 10);
    for (size_t f = 0; f < frames.size(); f++) std::copy_n(bytes.begin() + f * 10, 10, frames[f].begin());
    return frames;
}

std::string casePath(const ReferenceCase& c, const std::string& what) {
    const std::string name = c.name;
    if (c.loud)
        return g729aExtraFolder() + "/" + name + (what == "in" ? ".in" : what == "bits" ? ".g729" : ".pst");
    const char* out = name == "TEST" ? ".pst" : ".PST";
    return g729aVectorsFolder() + "/" + name + (what == "in" ? ".IN" : what == "bits" ? ".BIT" : out);
}

std::vector<PackedFrame> caseFrames(const ReferenceCase& c, const std::vector<uint8_t>& bits) {
    return c.loud ? packedFrames(bits) : packedFromSerial(bits);
}

std::string caseTestName(const ReferenceCase& c, bool vectors) {
    return std::string(c.name) + (vectors ? "_vector" : "_portable");
}

}  // namespace vorpel::testing
