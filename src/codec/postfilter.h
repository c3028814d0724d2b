// Annex A postfilter (ITU-T G.729 A.4.2) and the decoder's post-processing
// high-pass filter (G.729 4.2.5), acting on the decoder's state.
#pragma once

#include "codec/decoder_state.h"

namespace vorpel::g729 {

// Postfilters one frame in place. syn points at the frame inside
// decoder.synthBuf (M samples of history before it); az holds A(z) of both
// subframes, lags the two integer pitch delays.
void postFilter(G729Decoder& decoder, Word16* syn, const Word16* az, const Word16* lags);

// Second-order high-pass at 100 Hz with the output scaled by 2, in place.
void postProcess(G729Decoder& decoder, Word16* signal, int lg);

}  // namespace vorpel::g729
