// Synthesises the server's melodies on the terminal, one sample at a time.
//
// A melody is a tempo byte and 32 note codes. Each note is a sine tone from a
// table of 31 rows (30 equal-tempered semitones from 523 Hz, and the row a rest
// loads), made by a two-term recursive oscillator in 16-bit fixed point, faded
// in and out over its first and last 80 samples and followed by a short
// silence. The melody repeats from note 0 without end.
//
// Threads: both calls are made under the media lock: startMelody from the
// engine's thread (through MediaPath), nextMelodySample from the audio thread's
// playout pass.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorpel {

inline constexpr size_t MELODY_NOTES = 32;

class MelodyPlayer {
public:
    // Note code: bits 0-4 pick the row (30 = rest, 31 = end: start again at
    // note 0); bits 5-7 are the duration code. Tempo: bits 0-2 lengthen every
    // note, bits 0-1 set the silence between notes.
    void startMelody(uint8_t tempo, std::span<const uint8_t, MELODY_NOTES> notes);
    int16_t nextMelodySample();

private:
    void beginNextNote();

    uint32_t step_ = 0;        // even: silence between notes; odd: note step / 2 sounds
    uint32_t stepLength_ = 1;  // samples in the current step
    uint32_t count_ = 0;       // samples already produced in the current step
    uint32_t tempo_ = 0;
    std::array<uint8_t, MELODY_NOTES> notes_{};
    int16_t coefficient_ = 0;  // 2 cos(w), units of 2^-14
    int16_t y1_ = 0;           // last oscillator output
    int16_t y2_ = 0;           // the one before
};

}  // namespace vorpel
