// State of the G.729 Annex A decoder, its postfilter and post-processing.
// A plain struct of fixed-size arrays: no heap, no pointers into itself, so a
// copy is a full snapshot. resetDecoder() puts it into the initial state.
#pragma once

#include <array>
#include <cstdint>

#include "codec/constants.h"
#include "codec/lpc_common.h"

namespace vorpel {

struct G729Decoder {
    using Word16 = g729::Word16;
    static constexpr int EXC_HISTORY = g729::PIT_MAX + g729::L_INTERPOL;
    static constexpr int PST_HISTORY = g729::PIT_MAX;

    // Excitation: EXC_HISTORY past samples followed by the current frame.
    std::array<Word16, EXC_HISTORY + g729::L_FRAME> oldExc;
    std::array<Word16, g729::M> lspOld;  // LSPs of the previous frame, Q15
    std::array<Word16, g729::M> memSyn;  // synthesis filter memory
    Word16 sharp;                        // pitch sharpening, Q14
    Word16 oldT0;                        // last integer delay, for erased frames
    Word16 gainCode;                     // Q1, kept for erased frames
    Word16 gainPitch;                    // Q14, kept for erased frames
    Word16 seed;                         // random generator of erased frames

    // LSF dequantiser
    g729::LsfHistory freqPrev;            // MA predictor memory, Q13
    std::array<Word16, g729::M> prevLsf;  // last good LSFs, Q13
    Word16 prevMa;                        // MA mode of the last good frame

    std::array<Word16, 4> pastQuaEn;  // past quantised code gain energies, Q10

    // Synthesis of the current frame with M samples of history in front.
    std::array<Word16, g729::M + g729::L_FRAME> synthBuf;
    std::array<Word16, 2 * g729::MP1> azDec;  // A(z) of both subframes, Q12
    std::array<Word16, 2> pitchLags;          // integer delays for the postfilter

    // Postfilter: residual of the past PST_HISTORY samples plus one subframe,
    // unscaled and scaled by 1/4.
    std::array<Word16, PST_HISTORY + g729::L_SUBFR> res2Buf;
    std::array<Word16, PST_HISTORY + g729::L_SUBFR> scalRes2Buf;
    std::array<Word16, g729::M> memSynPst;
    Word16 memPre;    // tilt compensation memory
    Word16 pastGain;  // gain control, Q12

    // Post-processing high-pass filter (double precision output memory).
    Word16 y2Hi, y2Lo, y1Hi, y1Lo, x0, x1;

    CodecWarnings warnings;
};

}  // namespace vorpel
