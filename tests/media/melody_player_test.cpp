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

// The notes as runs from their first to their last nonzero sample: a note may
// pass through zero, a gap between notes is at least 10 zero samples.
struct Run {
    size_t start;
    size_t length;
};
std::vector<Run> soundingRuns(const std::vector<int16_t>& samples) {
    std::vector<Run> runs;
    for (size_t i = 0, zeros = 10; i < samples.size(); ++i) {
        if (samples[i] == 0) {
            ++zeros;
        } else if (zeros >= 10) {
            runs.push_back({i, 1});
            zeros = 0;
        } else {
            runs.back().length = i - runs.back().start + 1;
            zeros = 0;
        }
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
        const auto runs = soundingRuns(samples);
        ASSERT_GE(runs.size(), 2u);
        EXPECT_EQ(runs[0].start, 1u);
        EXPECT_EQ(runs[0].length, c.noteLength);
        EXPECT_EQ(runs[1].start - (runs[0].start + runs[0].length), c.gap);
        EXPECT_EQ(runs[1].length, c.noteLength);
    }
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
