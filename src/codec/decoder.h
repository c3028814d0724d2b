// Decoder entry below decodeFrame(): takes the 11 parameters and the erasure
// flag directly, as the serial bit-stream of the ITU tools delivers them.
#pragma once

#include <cstdint>
#include <span>

#include "codec/g729a_state.h"

namespace vorpel {

// Runs the decoder, postfilter and post-processing on one frame. The parity
// parameter (index 3) is checked here against the first delay index.
void decodeParameters(G729Decoder& decoder, bool erased,
                      std::span<const int16_t, G729_PARAMETER_COUNT> parameters,
                      std::span<int16_t, G729_FRAME_SAMPLES> samples);

}  // namespace vorpel
