#include "media/melody_player.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vorpel {
namespace {

std::array<uint8_t, MELODY_NOTES> melodyOf(std::initializer_list<uint8_t> codes, uint8_t fill = 0x09) {
    std::array<uint8_t, MELODY_NOTES> notes{};
    notes.fill(fill);
    size_t i = 0;
    for (uint8_t code : codes) notes[i++] = code;
    return notes;
}

std::vector<int16_t> play(MelodyPlayer& player, size_t count) {
    std::vector<int16_t> samples(count);
    for (int16_t& sample : samples) sample = player.nextMelodySample();
    return samples;
}

// Lengths of the alternating runs of sounding notes and silences, starting
// after the initial one-sample silence. A note's run is taken as the span from
// its first to its last nonzero sample, so callers use tones whose first and
// last samples are nonzero.
struct Run {
    size_t start;
    size_t length;
};
std::vector<Run> soundingRuns(const std::vector<int16_t>& samples) {
    std::vector<Run> runs;
    size_t i = 0;
    while (i < samples.size()) {
        while (i < samples.size() && samples[i] == 0) ++i;
        if (i == samples.size()) break;
        size_t end = i;
        // A note may pass through zero; a gap between notes is at least 10
        // zero samples.
        size_t zeros = 0;
        size_t j = i;
        while (j < samples.size() && zeros < 10) {
            if (samples[j] == 0) {
                ++zeros;
            } else {
                zeros = 0;
                end = j;
            }
            ++j;
        }
        runs.push_back({i, end - i + 1});
        i = end + 1;
    }
    return runs;
}

// Frequency estimate from the zero crossings of a stretch of samples.
double frequencyOf(const std::vector<int16_t>& samples, size_t begin, size_t length) {
    size_t crossings = 0;
    for (size_t i = begin + 1; i < begin + length; ++i) {
        if ((samples[i - 1] < 0) != (samples[i] < 0)) ++crossings;
    }
    return static_cast<double>(crossings) / 2.0 * 8000.0 / static_cast<double>(length - 1);
}

TEST(MelodyPlayer, NoteLengthsAndGapsFollowTempoAndDuration) {
    struct Case {
        uint8_t tempo;
        uint8_t code;
        size_t noteLength;
        size_t gap;
    };
    for (const Case& c : {Case{0, 0x09, 801, 10}, Case{7, 0xE9, 16201, 40},
                          Case{2, 0x49, (2 + 5) * (2 * 170 + 160) + 1, 30}}) {
        SCOPED_TRACE(static_cast<int>(c.code));
        MelodyPlayer player;
        const auto notes = melodyOf({c.code}, c.code);
        player.startMelody(c.tempo, notes);
        const auto samples = play(player, 1 + 2 * (c.noteLength + c.gap));
        // Every note sample of row 9 is nonzero except where the sine passes
        // zero; its first and last are 16 x y halved five times.
        const auto runs = soundingRuns(samples);
        ASSERT_GE(runs.size(), 2u);
        EXPECT_EQ(runs[0].start, 1u);
        EXPECT_EQ(runs[0].length, c.noteLength);
        EXPECT_EQ(runs[1].start - (runs[0].start + runs[0].length), c.gap);
        EXPECT_EQ(runs[1].length, c.noteLength);
    }
}

TEST(MelodyPlayer, FadesHalveFiveTimesAtTheEdgesAndNotInTheMiddle) {
    MelodyPlayer player;
    const auto notes = melodyOf({0x09});
    player.startMelody(0, notes);
    const auto samples = play(player, 1 + 801);
    // Reference oscillator without fading.
    int32_t y1 = 0;
    int32_t y2 = -652;
    for (size_t count = 0; count <= 800; ++count) {
        const int32_t y = static_cast<int16_t>(((25248 * y1) >> 14) - y2);
        y2 = y1;
        y1 = y;
        int32_t v = 16 * y;
        const int32_t rem = 800 - static_cast<int32_t>(count);
        const int halvings =
            rem < 80 ? (80 - rem) / 16 : (count < 80 ? (80 - static_cast<int32_t>(count)) / 16 : 0);
        if (count >= 65 && count <= 735) {
            EXPECT_EQ(halvings, 0) << count;
        }
        for (int h = 0; h < halvings; ++h) v /= 2;
        ASSERT_EQ(samples[1 + count], v) << "sample " << count;
    }
    // Peak of about 1023 x 16 once faded in.
    int16_t peak = 0;
    for (size_t i = 100; i < 700; ++i) peak = std::max<int16_t>(peak, samples[i]);
    EXPECT_NEAR(peak, 1023 * 16, 16 * 4);
}

TEST(MelodyPlayer, TonesMatchTheirRowsAndTheMelodyRestartsAtTheEndCode) {
    MelodyPlayer player;
    const auto notes = melodyOf({0x00, 0x04, 0x07, 0x1F});
    player.startMelody(0, notes);
    const auto samples = play(player, 1 + 4 * 811);
    const auto runs = soundingRuns(samples);
    ASSERT_EQ(runs.size(), 4u);
    const double expected[] = {523, 659, 783, 523};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(runs[i].length, 801u);
        EXPECT_NEAR(frequencyOf(samples, runs[i].start, runs[i].length), expected[i], 12.0) << i;
    }
    // The repeat of note 0 is the same samples as its first playing.
    for (size_t k = 0; k < 801; ++k) ASSERT_EQ(samples[runs[3].start + k], samples[runs[0].start + k]);
}

// A note's second sample is 326 (16 x 652 halved five times, fading in);
// before it the samples from silentFrom on are all zero. Rests and the end
// code keep the timing of a note of their duration code; without an end code
// all 32 notes play and then note 0 again; a melody of end codes is silence.
TEST(MelodyPlayer, RestsAndTheEndCodeKeepTheTiming) {
    std::array<uint8_t, MELODY_NOTES> all{};
    for (size_t i = 0; i < MELODY_NOTES; ++i) all[i] = static_cast<uint8_t>(i % 30 == 29 ? 28 : i % 30);
    all[0] = 0x09;
    const struct {
        const char* scenario;
        std::array<uint8_t, MELODY_NOTES> notes;
        size_t silentFrom, noteAt;  // noteAt 0: silence throughout
    } cases[] = {
        {"rest", melodyOf({0x09, 0x1E, 0x09, 0x1F}), 812, 1623},
        {"no end code", all, 32 * 811 - 9, 1 + 32 * 811},
        {"long end code first", melodyOf({0xFF, 0x09, 0x1F}), 0, 1 + (5 * (7 * 170 + 160) + 1) + 10},
        {"only end codes", melodyOf({}, 0x1F), 0, 0},
    };
    for (const auto& c : cases) {
        MelodyPlayer player;
        player.startMelody(0, c.notes);
        const auto samples = play(player, c.noteAt > 0 ? c.noteAt + 1 : 3 * 811);
        for (size_t i = c.silentFrom; i + 1 < samples.size(); ++i)
            ASSERT_EQ(samples[i], 0) << c.scenario << ' ' << i;
        EXPECT_EQ(samples.back(), c.noteAt > 0 ? 326 : 0) << c.scenario;
    }
    MelodyPlayer player;  // a new start begins again with the initial silence
    player.startMelody(0, all);
    play(player, 500);
    player.startMelody(0, all);
    EXPECT_EQ(play(player, 2), (std::vector<int16_t>{0, 326}));
}

}  // namespace
}  // namespace vorpel
