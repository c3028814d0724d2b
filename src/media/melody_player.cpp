#include "media/melody_player.h"

namespace vorpel {
namespace {

struct NoteRow {
    int16_t coefficient;  // close to 32768 cos(2 pi f / 8000)
    int16_t startY2;      // close to -1023 sin(2 pi f / 8000)
};

// Rows 0-29: 523 Hz upwards in semitones; row 30 is loaded for a rest and
// never sounded.
constexpr std::array<NoteRow, 31> NOTE_TABLE{{
    {30042, -408},  {29714, -431},  {29346, -455}, {28935, -480},  {28476, -506},  {27966, -533},
    {27401, -561},  {26764, -590},  {26048, -621}, {25248, -652},  {24374, -684},  {23405, -716},
    {22318, -749},  {21124, -782},  {19797, -815}, {18333, -848},  {16724, -880},  {14968, -910},
    {13037, -939},  {10930, -965},  {8621, -987},  {6140, -1005},  {3493, -1018},  {643, -1023},
    {-2391, -1021}, {-5557, -1009}, {-8869, -985}, {-12277, -949}, {-15718, -898}, {-19114, -831},
    {-22412, -747},
}};

constexpr uint8_t ROW_BITS = 0x1F;
constexpr uint8_t REST_ROW = 30;
constexpr uint8_t END_CODE = 31;
constexpr int32_t OUTPUT_GAIN = 16;
constexpr int32_t FADE_SAMPLES = 80;
constexpr int32_t FADE_STEP = 16;  // one halving per 16 samples nearer the edge

}  // namespace

void MelodyPlayer::startMelody(uint8_t tempo, std::span<const uint8_t, MELODY_NOTES> notes) {
    step_ = 0;
    stepLength_ = 1;
    count_ = 0;
    tempo_ = tempo;
    for (size_t i = 0; i < MELODY_NOTES; ++i) notes_[i] = notes[i];
}

// Ends a silence step: moves on to the next note (or back to note 0 after the
// last note or at an end code) and loads its row.
void MelodyPlayer::beginNextNote() {
    ++step_;
    count_ = 0;
    const uint32_t index = step_ / 2;
    uint8_t code = 0;
    if (index == MELODY_NOTES || (notes_[index] & ROW_BITS) == END_CODE) {
        step_ = 1;
        code = notes_[0];
    } else {
        code = notes_[index];
    }
    // A melody whose note 0 is itself an end code has no row for that note: it
    // is loaded like a rest and plays as silence.
    const uint8_t row = (code & ROW_BITS) == END_CODE ? REST_ROW : static_cast<uint8_t>(code & ROW_BITS);
    coefficient_ = NOTE_TABLE[row].coefficient;
    y2_ = NOTE_TABLE[row].startY2;
    y1_ = 0;
    const uint32_t duration = (code >> 5) & 7u;
    stepLength_ = ((tempo_ & 7u) + 5) * (duration * 170 + 160);
}

int16_t MelodyPlayer::nextMelodySample() {
    if (step_ % 2 == 0) {
        ++count_;
        if (count_ < stepLength_) return 0;
        beginNextNote();
        return 0;
    }

    const uint8_t row = notes_[step_ / 2] & ROW_BITS;
    int32_t value = 0;
    if (row != REST_ROW && row != END_CODE) {
        const int32_t next = ((int32_t{coefficient_} * y1_) >> 14) - y2_;
        y2_ = y1_;
        y1_ = static_cast<int16_t>(next);  // keeps the low 16 bits, as the 16-bit oscillator does
        value = OUTPUT_GAIN * y1_;
    }

    // Fade: five halvings at the first and last sample, none from the 66th
    // sample on to 65 samples before the end. Division rounds toward zero.
    const int32_t remaining = static_cast<int32_t>(stepLength_) - static_cast<int32_t>(count_);
    int32_t halvings = 0;
    if (remaining < FADE_SAMPLES) {
        halvings = (FADE_SAMPLES - remaining) / FADE_STEP;
    } else if (static_cast<int32_t>(count_) < FADE_SAMPLES) {
        halvings = (FADE_SAMPLES - static_cast<int32_t>(count_)) / FADE_STEP;
    }
    for (int32_t i = 0; i < halvings; ++i) value /= 2;

    ++count_;
    if (count_ > stepLength_) {
        ++step_;
        count_ = 0;
        stepLength_ = ((tempo_ & 3u) + 1) * 10;
    }
    return static_cast<int16_t>(value);
}

}  // namespace vorpel
