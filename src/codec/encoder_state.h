// State of the G.729 Annex A encoder: a plain record, copied and reset as a
// whole, with no heap and no pointers into itself (positions in the signal
// buffers are fixed offsets).
#pragma once

#include <array>

#include "codec/constants.h"
#include "codec/lpc_common.h"

namespace vorpel {

struct G729Encoder {
    // Pre-processing high-pass filter: past outputs (double precision) and inputs.
    g729::Word16 ppY2Hi = 0;
    g729::Word16 ppY2Lo = 0;
    g729::Word16 ppY1Hi = 0;
    g729::Word16 ppY1Lo = 0;
    g729::Word16 ppX0 = 0;
    g729::Word16 ppX1 = 0;

    // Speech: 120 past samples, the 80 of the frame being coded, the 40 of the
    // look-ahead (the newest frame is written at offset 160).
    std::array<g729::Word16, g729::L_TOTAL> oldSpeech{};
    // Weighted speech: PIT_MAX past samples, then the frame.
    std::array<g729::Word16, g729::L_FRAME + g729::PIT_MAX> oldWsp{};
    // Excitation: PIT_MAX + L_INTERPOL past samples, then the frame.
    std::array<g729::Word16, g729::L_FRAME + g729::PIT_MAX + g729::L_INTERPOL> oldExc{};

    std::array<g729::Word16, g729::M> lspOld{};   // unquantised LSPs of the last frame
    std::array<g729::Word16, g729::M> lspOldQ{};  // quantised LSPs of the last frame
    std::array<g729::Word16, g729::M> memW{};     // weighting filter of the open-loop signal
    std::array<g729::Word16, g729::M> memW0{};    // weighted synthesis filter (target)
    g729::Word16 sharp = 0;                       // pitch sharpening gain, Q14

    // Levinson-Durbin fallback when the filter turns unstable.
    std::array<g729::Word16, g729::MP1> oldA{};
    std::array<g729::Word16, 2> oldRc{};

    g729::LsfHistory freqPrev{};              // LSF quantiser MA memory
    std::array<g729::Word16, 4> pastQuaEn{};  // gain predictor memory, Q10
    std::array<g729::Word32, 4> excErr{};     // taming: excitation error per zone

    std::array<g729::Word16, g729::PRM_SIZE> parameters{};

    CodecWarnings warnings;
};

}  // namespace vorpel
