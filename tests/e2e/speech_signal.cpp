#include "speech_signal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numeric>
#include <random>
#include <span>

#include "codec/g729a.h"
#include "codec/g729a_state.h"

namespace vorpel::e2e {

namespace {

constexpr double RATE = 8000.0;
constexpr double TWO_PI = 6.283185307179586;
constexpr int16_t TRANSMIT_GAIN_DIVISOR = 8;  // the terminal's transmit path divides by 8
constexpr size_t ENVELOPE_STEP = 40;          // 5 ms
constexpr size_t FINE_SEARCH = 12 * ENVELOPE_STEP;
constexpr size_t MIN_OVERLAP = 16000;        // 2 s
constexpr size_t SEGMENT = 80;               // 10 ms
constexpr double SILENT_SEGMENT_RMS = 60.0;  // after the transmit gain; speech peaks near 2000

// A resonance of the vocal tract: the gain of a harmonic at hz.
double resonance(double hz, double centre, double width) {
    const double x = (hz - centre) / width;
    return 1.0 / (1.0 + x * x);
}

std::vector<double> envelope(const std::vector<int16_t>& samples) {
    std::vector<double> out(samples.size() / ENVELOPE_STEP);
    for (size_t f = 0; f < out.size(); ++f) {
        double energy = 0;
        for (size_t i = 0; i < ENVELOPE_STEP; ++i) {
            const double s = samples[f * ENVELOPE_STEP + i];
            energy += s * s;
        }
        out[f] = std::sqrt(energy / ENVELOPE_STEP);
    }
    return out;
}

// The overlap of reference (shifted by lag) and recording, in reference indices.
struct Overlap {
    long first = 0;
    long last = 0;  // one past
};
Overlap overlapOf(long lag, size_t referenceSize, size_t recordingSize) {
    return {std::max(0L, -lag),
            std::min(static_cast<long>(referenceSize), static_cast<long>(recordingSize) - lag)};
}

}  // namespace

std::vector<int16_t> speechLikeSignal(double seconds, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const size_t count = static_cast<size_t>(seconds * RATE);
    std::vector<double> signal(count, 0.0);

    // Syllables of 120..320 ms, each with its own pitch glide and vowel,
    // separated by pauses of 40..250 ms.
    size_t at = static_cast<size_t>(0.05 * RATE);
    double phase = 0;
    while (at < count) {
        const size_t length = static_cast<size_t>((0.12 + 0.2 * uniform(random)) * RATE);
        const double pitchStart = 100 + 120 * uniform(random);
        const double pitchEnd = pitchStart * (0.75 + 0.5 * uniform(random));
        const double f1Start = 300 + 500 * uniform(random), f1End = 300 + 500 * uniform(random);
        const double f2Start = 900 + 1400 * uniform(random), f2End = 900 + 1400 * uniform(random);
        const double loudness = 0.5 + 0.5 * uniform(random);
        for (size_t i = 0; i < length && at + i < count; ++i) {
            const double x = static_cast<double>(i) / static_cast<double>(length);
            const double t = static_cast<double>(at + i) / RATE;
            const double pitch =
                (pitchStart + (pitchEnd - pitchStart) * x) * (1 + 0.03 * std::sin(TWO_PI * 5.5 * t));
            phase += TWO_PI * pitch / RATE;
            if (phase > TWO_PI * 1000) phase -= TWO_PI * 1000;
            const double f1 = f1Start + (f1End - f1Start) * x, f2 = f2Start + (f2End - f2Start) * x;
            double sample = 0;
            for (int k = 1; k * pitch < 3600; ++k) {
                const double hz = k * pitch;
                const double gain = resonance(hz, f1, 90) + 0.5 * resonance(hz, f2, 140) + 0.02;
                sample += gain * std::sin(k * phase) / std::sqrt(static_cast<double>(k));
            }
            // Raised-cosine rise and fall over the first and last 30 %.
            const double edge = std::min(1.0, std::min(x, 1 - x) / 0.3);
            signal[at + i] = loudness * sample * 0.5 * (1 - std::cos(M_PI * edge));
        }
        at += length + static_cast<size_t>((0.04 + 0.21 * uniform(random)) * RATE);
    }
    const double peak = std::max(
        1e-9, std::abs(*std::max_element(signal.begin(), signal.end(),
                                         [](double a, double b) { return std::abs(a) < std::abs(b); })));
    std::vector<int16_t> out(count);
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<int16_t>(std::lround(signal[i] / peak * 16000));
    return out;
}

std::vector<int16_t> codecRoundTrip(const std::vector<int16_t>& signal, const CoderStarts& starts,
                                    size_t end) {
    auto encoder = std::make_unique<G729Encoder>();
    auto decoder = std::make_unique<G729Decoder>();
    resetEncoder(*encoder);
    resetDecoder(*decoder);
    std::vector<int16_t> out(signal.size() / G729_FRAME_SAMPLES * G729_FRAME_SAMPLES);
    end = std::min(end, out.size());
    std::array<int16_t, G729_FRAME_SAMPLES> frame{};
    std::array<int16_t, G729_FRAME_SAMPLES> decoded{};
    std::array<uint8_t, G729_FRAME_BYTES> bits{};
    // heard: samples into what the encoder heard; at: the signal's time of it.
    for (size_t heard = 0;; heard += G729_FRAME_SAMPLES) {
        const bool silent = heard < starts.silenceFirst;
        const size_t at = starts.encoderStart + heard - starts.silenceFirst;  // wraps while silent
        if (!silent && at + G729_FRAME_SAMPLES > end) break;
        for (size_t i = 0; i < frame.size(); ++i) {
            frame[i] = silent ? int16_t{0} : static_cast<int16_t>(signal[at + i] / TRANSMIT_GAIN_DIVISOR);
        }
        encodeFrame(*encoder, frame, bits);
        if (heard < starts.decodeAfter) continue;
        decodeFrame(*decoder, bits, false, decoded);
        if (!silent) std::copy(decoded.begin(), decoded.end(), out.begin() + static_cast<long>(at));
    }
    return out;
}

std::optional<long> findAlignment(const std::vector<int16_t>& reference,
                                  const std::vector<int16_t>& recording) {
    // Envelopes without their means, correlated over each overlap and
    // scaled by the whole envelopes' energies, so that short chance overlaps
    // score low.
    std::vector<double> ref = envelope(reference), rec = envelope(recording);
    for (std::vector<double>* e : {&ref, &rec}) {
        if (e->empty()) return std::nullopt;
        const double mean = std::accumulate(e->begin(), e->end(), 0.0) / static_cast<double>(e->size());
        for (double& v : *e) v -= mean;
    }
    const double scale = std::sqrt(std::inner_product(ref.begin(), ref.end(), ref.begin(), 0.0) *
                                   std::inner_product(rec.begin(), rec.end(), rec.begin(), 0.0));
    const long minFrames = static_cast<long>(MIN_OVERLAP / ENVELOPE_STEP);
    std::optional<long> coarse;
    double best = -2;
    for (long lag = minFrames - static_cast<long>(ref.size());
         lag <= static_cast<long>(rec.size()) - minFrames; ++lag) {
        const Overlap o = overlapOf(lag, ref.size(), rec.size());
        if (o.last - o.first < minFrames) continue;
        double sum = 0;
        for (long i = o.first; i < o.last; ++i)
            sum += ref[static_cast<size_t>(i)] * rec[static_cast<size_t>(i + lag)];
        const double score = scale > 0 ? sum / scale : 0;
        if (score > best) {
            best = score;
            coarse = lag * static_cast<long>(ENVELOPE_STEP);
        }
    }
    if (!coarse) return std::nullopt;

    std::optional<long> fine;
    best = -2;
    for (long lag = *coarse - static_cast<long>(FINE_SEARCH); lag <= *coarse + static_cast<long>(FINE_SEARCH);
         ++lag) {
        const Overlap o = overlapOf(lag, reference.size(), recording.size());
        if (o.last - o.first < static_cast<long>(MIN_OVERLAP)) continue;
        double ab = 0, aa = 0, bb = 0;
        for (long i = o.first; i < o.last; ++i) {
            const double a = reference[static_cast<size_t>(i)], b = recording[static_cast<size_t>(i + lag)];
            ab += a * b;
            aa += a * a;
            bb += b * b;
        }
        const double score = aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : -1;
        if (score > best) {
            best = score;
            fine = lag;
        }
    }
    return fine;
}

SegmentalSnr segmentalSnr(const std::vector<int16_t>& reference, const std::vector<int16_t>& recording,
                          long offset, size_t begin, size_t end) {
    std::vector<double> values;
    end = std::min(end, recording.size());
    for (size_t at = begin; at + SEGMENT <= end; at += SEGMENT) {
        const long r = static_cast<long>(at) - offset;
        if (r < 0 || static_cast<size_t>(r) + SEGMENT > reference.size()) continue;
        double signal = 0, noise = 0;
        for (size_t i = 0; i < SEGMENT; ++i) {
            const double want = reference[static_cast<size_t>(r) + i];
            const double got = recording[at + i];
            signal += want * want;
            noise += (want - got) * (want - got);
        }
        if (std::sqrt(signal / SEGMENT) < SILENT_SEGMENT_RMS) continue;
        const double db = noise > 0 ? 10 * std::log10(signal / noise) : 50.0;
        values.push_back(std::clamp(db, -10.0, 50.0));
    }
    SegmentalSnr result;
    result.segments = values.size();
    if (values.empty()) return result;
    result.meanDb = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
    result.medianDb = values[values.size() / 2];
    return result;
}

}  // namespace vorpel::e2e
