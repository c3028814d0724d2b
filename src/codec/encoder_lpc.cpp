// LP analysis of the encoder (ITU-T G.729 3.2.1, 3.2.2): windowed
// autocorrelation, lag windowing and the Levinson-Durbin recursion in double
// precision.
#include "codec/encoder_parts.h"
#include "codec/encoder_state.h"
#include "codec/encoder_tables.h"

namespace vorpel::g729 {

void autocorr(const Word16* x, int m, Word16* rH, Word16* rL) {
    // Zeros after the window let every lag run over the same 240 products.
    Word16 y[L_WINDOW + 16] = {};
    for (int i = 0; i < L_WINDOW; i++) y[i] = multR(x[i], hamwindow[i]);

    // r[0]; while it saturates, divide the windowed signal by 4.
    Word32 sum;
    for (;;) {
        bool overflow = false;
        sum = 1;  // never all zero
        for (int i = 0; i < L_WINDOW; i++) sum = lMacO(sum, y[i], y[i], overflow);
        if (!overflow) break;
        for (int i = 0; i < L_WINDOW; i++) y[i] = shr(y[i], 2);
    }

    const Word16 norm = normL(sum);
    lExtract(lShl(sum, norm), rH[0], rL[0]);

    for (int i = 1; i <= m; i++) {
        // Twice any partial sum of products is at most r[0] < 2^31 (Cauchy-Schwarz),
        // so plain 32-bit accumulation equals the saturating one.
        Word32 s = 0;
        for (int j = 0; j < L_WINDOW; j++) s += Word32{y[j]} * y[j + i];
        lExtract(lShl(2 * s, norm), rH[i], rL[i]);
    }
}

void lagWindow(int m, Word16* rH, Word16* rL) {
    for (int i = 1; i <= m; i++) {
        lExtract(mpy32(rH[i], rL[i], lagH[i - 1], lagL[i - 1]), rH[i], rL[i]);
    }
}

namespace {

// (hi, lo) of 1 - K^2 applied to alpha, renormalised.
void shrinkAlpha(Word16 kH, Word16 kL, Word16& alpH, Word16& alpL, Word16& alpExp, bool first) {
    Word32 t0 = lAbs(mpy32(kH, kL, kH, kL));  // K*K in Q31 (can come out < 0)
    t0 = lSub(MAX_32, t0);                    // 1 - K*K
    Word16 hi;
    Word16 lo;
    lExtract(t0, hi, lo);
    t0 = mpy32(alpH, alpL, hi, lo);
    const Word16 j = normL(t0);
    lExtract(lShl(t0, j), alpH, alpL);
    alpExp = first ? j : add(alpExp, j);
}

}  // namespace

void levinson(G729Encoder& enc, const Word16* rH, const Word16* rL, Word16* a, Word16* rc) {
    Word16 ah[MP1];
    Word16 al[MP1];
    Word16 anh[MP1];
    Word16 anl[MP1];
    Word16 kH;
    Word16 kL;

    // K = A[1] = -R[1] / R[0]
    Word32 t1 = lComp(rH[1], rL[1]);
    Word32 t0 = div32(lAbs(t1), rH[0], rL[0]);
    if (t1 > 0) t0 = lNegate(t0);
    lExtract(t0, kH, kL);
    rc[0] = kH;
    lExtract(lShr(t0, 4), ah[1], al[1]);  // A[1] in Q27

    // alpha = R[0] (1 - K^2)
    Word16 alpH = rH[0];
    Word16 alpL = rL[0];
    Word16 alpExp = 0;
    shrinkAlpha(kH, kL, alpH, alpL, alpExp, true);

    for (int i = 2; i <= M; i++) {
        // t0 = sum_{j=1}^{i-1} R[j] A[i-j] + R[i]
        t0 = 0;
        for (int j = 1; j < i; j++) t0 = lAdd(t0, mpy32(rH[j], rL[j], ah[i - j], al[i - j]));
        t0 = lShl(t0, 4);  // Q27 -> Q31
        t0 = lAdd(t0, lComp(rH[i], rL[i]));

        // K = -t0 / alpha
        Word32 t2 = div32(lAbs(t0), alpH, alpL);
        if (t0 > 0) t2 = lNegate(t2);
        t2 = lShl(t2, alpExp);
        lExtract(t2, kH, kL);
        rc[i - 1] = kH;

        // An unstable filter keeps the previous frame's.
        if (absS(kH) > 32750) {
            for (int j = 0; j <= M; j++) a[j] = enc.oldA[j];
            rc[0] = enc.oldRc[0];
            rc[1] = enc.oldRc[1];
            return;
        }

        // An[j] = A[j] + K A[i-j], An[i] = K
        for (int j = 1; j < i; j++) {
            t0 = mpy32(kH, kL, ah[i - j], al[i - j]);
            t0 = lAdd(t0, lComp(ah[j], al[j]));
            lExtract(t0, anh[j], anl[j]);
        }
        lExtract(lShr(t2, 4), anh[i], anl[i]);

        shrinkAlpha(kH, kL, alpH, alpL, alpExp, false);

        for (int j = 1; j <= i; j++) {
            ah[j] = anh[j];
            al[j] = anl[j];
        }
    }

    a[0] = 4096;
    enc.oldA[0] = 4096;
    for (int i = 1; i <= M; i++) {
        a[i] = roundL(lShl(lComp(ah[i], al[i]), 1));  // Q27 -> Q12 with rounding
        enc.oldA[i] = a[i];
    }
    enc.oldRc[0] = rc[0];
    enc.oldRc[1] = rc[1];
}

}  // namespace vorpel::g729
