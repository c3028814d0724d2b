// Taming procedure of the encoder (ITU-T G.729 3.10 / Annex A): the encoder
// tracks an estimate of the excitation error per 40-sample zone of the past
// excitation; when the delay reads from a zone whose error is too large, the
// pitch gain is limited so that the decoder's excitation cannot build up.
#include "codec/encoder_parts.h"
#include "codec/encoder_tables.h"

namespace vorpel::g729 {

bool testErr(const std::array<Word32, 4>& excErr, Word16 t0, Word16 t0Frac) {
    const Word16 t1 = t0Frac > 0 ? add(t0, 1) : t0;
    Word16 i = sub(t1, L_SUBFR + L_INTER10);
    if (i < 0) i = 0;
    const Word16 zone1 = tabZone[i];
    const Word16 zone2 = tabZone[add(t1, L_INTER10 - 2)];

    Word32 maxloc = -1;
    for (int z = zone2; z >= zone1; z--) {
        if (lSub(excErr[z], maxloc) > 0) maxloc = excErr[z];
    }
    return lSub(maxloc, L_THRESH_ERR) > 0;
}

namespace {

// 1 + gain * err of one zone (Q14 error, gain Q14).
Word32 grownError(Word32 err, Word16 gainPit) {
    Word16 hi;
    Word16 lo;
    lExtract(err, hi, lo);
    return lAdd(0x00004000, lShl(mpy32_16(hi, lo, gainPit), 1));
}

}  // namespace

void updateExcErr(std::array<Word32, 4>& excErr, Word16 gainPit, Word16 t0) {
    Word32 worst = -1;
    const Word16 n = sub(t0, L_SUBFR);
    if (n < 0) {
        // The delay reads the current subframe itself: the error grows twice.
        Word32 t = grownError(excErr[0], gainPit);
        if (lSub(t, worst) > 0) worst = t;
        t = grownError(t, gainPit);
        if (lSub(t, worst) > 0) worst = t;
    } else {
        const Word16 zone1 = tabZone[n];
        const Word16 zone2 = tabZone[sub(t0, 1)];
        for (int z = zone1; z <= zone2; z++) {
            const Word32 t = grownError(excErr[z], gainPit);
            if (lSub(t, worst) > 0) worst = t;
        }
    }
    for (int i = 3; i >= 1; i--) excErr[i] = excErr[i - 1];
    excErr[0] = worst;
}

}  // namespace vorpel::g729
