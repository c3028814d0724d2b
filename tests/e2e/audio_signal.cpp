#include "audio_signal.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <span>

#include "codec/g729a_state.h"

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

std::vector<int16_t> toneSteps(size_t samples, double amplitude) {
    constexpr size_t STEP_SAMPLES = 2000;
    std::vector<int16_t> out(samples);
    uint32_t state = 12345;
    double hz = 0;
    double phase = 0;
    for (size_t i = 0; i < samples; ++i) {
        if (i % STEP_SAMPLES == 0) {
            state = state * 1103515245u + 12345u;
            hz = 300.0 + static_cast<double>((state >> 16) % 1200);
        }
        phase += 2 * M_PI * hz / 8000.0;
        out[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(phase)));
    }
    return out;
}

std::vector<Frame> encodeAll(const std::vector<int16_t>& samples) {
    G729Encoder encoder{};
    resetEncoder(encoder);
    std::vector<Frame> frames(samples.size() / G729_FRAME_SAMPLES);
    for (size_t f = 0; f < frames.size(); ++f) {
        encodeFrame(encoder,
                    std::span<const int16_t, G729_FRAME_SAMPLES>(samples.data() + f * G729_FRAME_SAMPLES,
                                                                 G729_FRAME_SAMPLES),
                    frames[f]);
    }
    return frames;
}

std::vector<int16_t> decodeAll(const std::vector<Frame>& frames) {
    G729Decoder decoder{};
    resetDecoder(decoder);
    std::vector<int16_t> pcm(frames.size() * G729_FRAME_SAMPLES);
    for (size_t f = 0; f < frames.size(); ++f) {
        decodeFrame(
            decoder, frames[f], false,
            std::span<int16_t, G729_FRAME_SAMPLES>(pcm.data() + f * G729_FRAME_SAMPLES, G729_FRAME_SAMPLES));
    }
    return pcm;
}

std::vector<Frame> framesOf(const std::vector<Bytes>& packets) {
    std::vector<Frame> frames;
    for (const Bytes& p : packets) {
        if (p.size() <= RTP_HEADER_BYTES || (p.size() - RTP_HEADER_BYTES) % G729_FRAME_BYTES != 0) continue;
        for (size_t at = RTP_HEADER_BYTES; at < p.size(); at += G729_FRAME_BYTES) {
            Frame frame{};
            std::copy_n(p.begin() + static_cast<std::ptrdiff_t>(at), G729_FRAME_BYTES, frame.begin());
            frame[0] ^= FRAME_MASK;
            frames.push_back(frame);
        }
    }
    return frames;
}

Match bestMatch(const std::vector<int16_t>& needle, const std::vector<int16_t>& haystack, size_t first,
                size_t last) {
    Match best;
    if (needle.empty() || haystack.size() < needle.size() || first > haystack.size() - needle.size())
        return best;
    last = std::min(last, haystack.size() - needle.size());
    double needleEnergy = 0;
    for (int16_t s : needle) needleEnergy += double(s) * s;
    double windowEnergy = 0;
    for (size_t i = first; i < first + needle.size(); ++i) windowEnergy += double(haystack[i]) * haystack[i];
    for (size_t offset = first; offset <= last; ++offset) {
        double dot = 0;
        for (size_t i = 0; i < needle.size(); ++i) dot += double(needle[i]) * haystack[offset + i];
        const double scale = std::sqrt(needleEnergy * windowEnergy);
        if (scale > 0 && dot / scale > best.correlation) best = {dot / scale, offset};
        if (offset == last) break;
        const double leaving = haystack[offset];
        const double entering = haystack[offset + needle.size()];
        windowEnergy += entering * entering - leaving * leaving;
    }
    return best;
}

double rms(const int16_t* samples, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += double(samples[i]) * samples[i];
    return count == 0 ? 0 : std::sqrt(sum / static_cast<double>(count));
}

double toneShare(const int16_t* samples, size_t count, double hz) {
    const double coefficient = 2 * std::cos(2 * M_PI * hz / 8000.0);
    double s1 = 0, s2 = 0, energy = 0;
    for (size_t i = 0; i < count; ++i) {
        const double s0 = samples[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
        energy += double(samples[i]) * samples[i];
    }
    // |X(hz)|^2 of the block; a pure tone holds count/2 times its energy there.
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return energy == 0 ? 0 : power / (energy * static_cast<double>(count) / 2);
}

}  // namespace vorpel::e2e
