// Test audio for whole calls: a speech-like signal (a sum of harmonics whose
// pitch glides and wavers, shaped by two moving resonances and cut into
// syllables by an amplitude envelope with pauses), what the terminal's voice
// path makes of it when nothing is lost (the transmit gain, G.729 Annex A
// encoding and decoding), and the measures that compare a recording with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace vorpel::e2e {

// seconds of 8000-Hz samples; the same seed gives the same signal.
std::vector<int16_t> speechLikeSignal(double seconds, uint32_t seed);

// The signal as a terminal sends it and another plays it: divided by the
// transmit gain and encoded frame by frame by a fresh encoder that first
// hears silenceFirst samples of silence and then the signal from
// encoderStart; decoded by a fresh decoder that starts decodeAfter samples
// into what the encoder heard (silence included). The result is in the
// signal's time (decoded silence before it dropped), 0 where nothing was
// decoded, and ends at end. All counts are multiples of 80.
struct CoderStarts {
    size_t silenceFirst = 0;
    size_t encoderStart = 0;
    size_t decodeAfter = 0;
};
std::vector<int16_t> codecRoundTrip(const std::vector<int16_t>& signal, const CoderStarts& starts = {},
                                    size_t end = SIZE_MAX);

// The offset at which reference best lines up in recording
// (recording[i + offset] ~ reference[i]; negative when the recording begins
// inside the reference), found by cross-correlating first the envelopes
// (5-ms energies) and then the samples near the best envelope match, over
// overlaps of at least two seconds. Nothing when no overlap is that long.
std::optional<long> findAlignment(const std::vector<int16_t>& reference,
                                  const std::vector<int16_t>& recording);

struct SegmentalSnr {
    double meanDb = 0;  // mean over the voiced segments
    double medianDb = 0;
    size_t segments = 0;  // segments with enough energy in the reference to count
};

// Segmental SNR over the 10-ms segments of recording[begin, end) against the
// aligned reference (recording[i] ~ reference[i - offset]); each segment's
// value is held within -10..+50 dB, and segments where the reference is
// near silence or missing are skipped.
SegmentalSnr segmentalSnr(const std::vector<int16_t>& reference, const std::vector<int16_t>& recording,
                          long offset, size_t begin, size_t end);

}  // namespace vorpel::e2e
