// A(z) -> line spectral pairs (ITU-T G.729 3.2.3 with the Annex A grid of 50
// intervals): the roots of the symmetric and antisymmetric polynomials are
// searched alternately on the cosine grid, each found sign change halved twice
// and refined by linear interpolation.
#include "codec/encoder_parts.h"
#include "codec/encoder_tables.h"

namespace vorpel::g729 {

namespace {

// Chebyshev series of f[0..NC] at x (Q15), computed in double precision.
// qShift selects the coefficient format: 11 for Q11 (Q24 arithmetic), 10 for
// Q10 (Q23 arithmetic). The result is in Q14.
template <int Q>
Word16 chebps(Word16 x, const Word16* f) {
    constexpr Word16 ONE_HI = Q == 11 ? 256 : 128;  // 1.0 in Q24 / Q23, high half
    constexpr Word16 TWO_X = Q == 11 ? 512 : 256;   // scales x to 2x
    constexpr Word16 F_SCALE = 4096;                // f in Q11 / Q10 -> Q24 / Q23
    constexpr Word16 OUT_SHIFT = Q == 11 ? 6 : 7;

    Word16 b2H = ONE_HI;
    Word16 b2L = 0;
    Word16 b1H;
    Word16 b1L;
    Word32 t0 = lMult(x, TWO_X);
    t0 = lMac(t0, f[1], F_SCALE);
    lExtract(t0, b1H, b1L);  // b1 = 2x + f[1]

    for (int i = 2; i < NC; i++) {
        t0 = lShl(mpy32_16(b1H, b1L, x), 1);  // 2 x b1
        t0 = lMac(t0, b2H, MIN_16);           // - b2
        t0 = lMsu(t0, b2L, 1);
        t0 = lMac(t0, f[i], F_SCALE);  // + f[i]
        Word16 b0H;
        Word16 b0L;
        lExtract(t0, b0H, b0L);
        b2H = b1H;
        b2L = b1L;
        b1H = b0H;
        b1L = b0L;
    }

    t0 = mpy32_16(b1H, b1L, x);  // x b1 - b2 + f[NC] / 2
    t0 = lMac(t0, b2H, MIN_16);
    t0 = lMsu(t0, b2L, 1);
    t0 = lMac(t0, f[NC], F_SCALE / 2);
    return extractH(lShl(t0, OUT_SHIFT));
}

}  // namespace

void azLsp(const Word16* a, Word16* lsp, const Word16* oldLsp) {
    Word16 f1[NC + 1];
    Word16 f2[NC + 1];

    // F1(z) = (A(z) + z^-11 A(1/z)) / (1 + z^-1), F2 likewise with (1 - z^-1):
    // f1[i+1] = a[i+1] + a[M-i] - f1[i], f2[i+1] = a[i+1] - a[M-i] + f2[i],
    // first in Q11; when that saturates, again in Q10.
    bool overflow = false;
    f1[0] = 2048;
    f2[0] = 2048;
    for (int i = 0; i < NC; i++) {
        Word32 t0 = lMultO(a[i + 1], 16384, overflow);
        t0 = lMacO(t0, a[M - i], 16384, overflow);
        f1[i + 1] = subO(extractH(t0), f1[i], overflow);
        t0 = lMultO(a[i + 1], 16384, overflow);
        t0 = lMsuO(t0, a[M - i], 16384, overflow);
        f2[i + 1] = addO(extractH(t0), f2[i], overflow);
    }
    const bool q10 = overflow;
    if (q10) {
        f1[0] = 1024;
        f2[0] = 1024;
        for (int i = 0; i < NC; i++) {
            Word32 t0 = lMult(a[i + 1], 8192);
            t0 = lMac(t0, a[M - i], 8192);
            f1[i + 1] = sub(extractH(t0), f1[i]);
            t0 = lMult(a[i + 1], 8192);
            t0 = lMsu(t0, a[M - i], 8192);
            f2[i + 1] = add(extractH(t0), f2[i]);
        }
    }
    auto cheb = [q10](Word16 x, const Word16* f) { return q10 ? chebps<10>(x, f) : chebps<11>(x, f); };

    int nf = 0;  // roots found
    const Word16* poly = f1;
    Word16 xlow = grid[0];
    Word16 ylow = cheb(xlow, poly);

    int j = 0;
    while (nf < M && j < GRID_POINTS) {
        j++;
        Word16 xhigh = xlow;
        Word16 yhigh = ylow;
        xlow = grid[j];
        ylow = cheb(xlow, poly);
        if (lMult(ylow, yhigh) > 0) continue;

        // Halve the interval twice.
        for (int k = 0; k < 2; k++) {
            const Word16 xmid = add(shr(xlow, 1), shr(xhigh, 1));
            const Word16 ymid = cheb(xmid, poly);
            if (lMult(ylow, ymid) <= 0) {
                yhigh = ymid;
                xhigh = xmid;
            } else {
                ylow = ymid;
                xlow = xmid;
            }
        }

        // xint = xlow - ylow (xhigh - xlow) / (yhigh - ylow)
        const Word16 x = sub(xhigh, xlow);
        Word16 y = sub(yhigh, ylow);
        Word16 xint;
        if (y == 0) {
            xint = xlow;
        } else {
            const Word16 sign = y;
            y = absS(y);
            const Word16 e = normS(y);
            y = shl(y, e);
            y = divS(16383, y);
            y = extractL(lShr(lMult(x, y), sub(20, e)));  // (xhigh - xlow) / (yhigh - ylow), Q11
            if (sign < 0) y = negate(y);
            xint = sub(xlow, extractL(lShr(lMult(ylow, y), 11)));
        }

        lsp[nf] = xint;
        xlow = xint;
        nf++;
        poly = poly == f1 ? f2 : f1;
        ylow = cheb(xlow, poly);
    }

    if (nf < M) {
        for (int i = 0; i < M; i++) lsp[i] = oldLsp[i];
    }
}

}  // namespace vorpel::g729
