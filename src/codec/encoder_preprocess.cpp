// Pre-processing of the encoder input (ITU-T G.729 3.1): a second-order
// high-pass filter with cut-off at 140 Hz and a scaling of the signal by 1/2.
#include <tuple>

#include "codec/encoder_parts.h"
#include "codec/encoder_state.h"
#include "codec/encoder_tables.h"

namespace vorpel::g729 {

void preProcess(G729Encoder& enc, Word16* signal, int lg) {
    // y[i] = b0 x[i] + b1 x[i-1] + b2 x[i-2] + a1 y[i-1] + a2 y[i-2]  (b halved),
    // y in double precision. With these coefficients every partial sum stays
    // below 2^31 in magnitude (2^16 (|a1| + |a2| + |b0| + |b1| + |b2|) < 2^31),
    // so only the final shift and rounding can saturate.
    static_assert(65536 * (7807 + 3733 + 1899 + 3798 + 1899) < MAX_32);
    Biquad m{enc.ppY1Hi, enc.ppY1Lo, enc.ppY2Hi, enc.ppY2Lo, enc.ppX0, enc.ppX1};
    for (int i = 0; i < lg; i++) {
        const Word16 x0 = signal[i];
        // mpy32_16 of (hi, lo) by a: 2 hi a + 2 ((lo a) >> 15), lo in [0, 32767].
        Word32 acc = 2 * (m.y1Hi * a140[1]) + 2 * ((m.y1Lo * a140[1]) >> 15);
        acc += 2 * (m.y2Hi * a140[2]) + 2 * ((m.y2Lo * a140[2]) >> 15);
        acc += 2 * (x0 * b140[0] + m.x1 * b140[1] + m.x2 * b140[2]);
        acc = lShl(acc, 3);  // Q28 -> Q31 (Q12 -> Q15)
        signal[i] = roundL(acc);
        m.push(x0, acc);
    }
    std::tie(enc.ppY1Hi, enc.ppY1Lo, enc.ppY2Hi, enc.ppY2Lo, enc.ppX0, enc.ppX1) =
        std::tie(m.y1Hi, m.y1Lo, m.y2Hi, m.y2Lo, m.x1, m.x2);
}

}  // namespace vorpel::g729
