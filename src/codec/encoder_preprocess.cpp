// Pre-processing of the encoder input (ITU-T G.729 3.1): a second-order
// high-pass filter with cut-off at 140 Hz and a scaling of the signal by 1/2.
#include "codec/encoder_parts.h"
#include "codec/encoder_state.h"
#include "codec/encoder_tables.h"

namespace vorpel::g729 {

void preProcess(G729Encoder& enc, Word16* signal, int lg) {
    for (int i = 0; i < lg; i++) {
        const Word16 x2 = enc.ppX1;
        enc.ppX1 = enc.ppX0;
        enc.ppX0 = signal[i];

        // y[i] = b0 x[i] + b1 x[i-1] + b2 x[i-2] + a1 y[i-1] + a2 y[i-2]  (b halved)
        Word32 acc = mpy32_16(enc.ppY1Hi, enc.ppY1Lo, a140[1]);
        acc = lAdd(acc, mpy32_16(enc.ppY2Hi, enc.ppY2Lo, a140[2]));
        acc = lMac(acc, enc.ppX0, b140[0]);
        acc = lMac(acc, enc.ppX1, b140[1]);
        acc = lMac(acc, x2, b140[2]);
        acc = lShl(acc, 3);  // Q28 -> Q31 (Q12 -> Q15)
        signal[i] = roundL(acc);

        enc.ppY2Hi = enc.ppY1Hi;
        enc.ppY2Lo = enc.ppY1Lo;
        lExtract(acc, enc.ppY1Hi, enc.ppY1Lo);
    }
}

}  // namespace vorpel::g729
