// Pitch analysis of the encoder (ITU-T G.729 3.4, 3.7, 3.7.1 and Annex A):
// the open-loop delay on the decimated weighted speech, the closed-loop
// search of integer delay and 1/3 fraction, the adaptive codebook gain and
// the delay coding.
#include <algorithm>

#include "codec/encoder_parts.h"

namespace vorpel::g729 {

namespace {

// 2 sum a[k] b[k] over 40 samples without saturation (kept out of line so
// that the compiler vectorises this loop rather than the caller's).
[[gnu::noinline]] Word32 dot40(const Word16* a, const Word16* b) {
    Word32 s = 0;
    for (int k = 0; k < L_SUBFR; k++) s += Word32{a[k]} * b[k];
    return 2 * s;
}

// The scaled weighted speech sig[-PIT_MAX .. L_FRAME-1] of the open-loop
// search, split into its even and odd samples: every correlation of the
// decimated search is then a dot product of 40 consecutive values.
class Decimated {
public:
    explicit Decimated(const Word16* sig) : sig_(sig) {
        // even[m] = sig[2m - 144], odd[m] = sig[2m + 1 - 144]
        even_[0] = 0;
        for (int m = 1; m < HALF; m++) even_[m] = sig[2 * m - 144];
        for (int m = 0; m < HALF; m++) odd_[m] = sig[2 * m + 1 - 144];
        int64_t e = 0;
        int64_t o = 0;
        for (int m = 0; m < HALF; m++) {
            e += Word32{even_[m]} * even_[m];
            o += Word32{odd_[m]} * odd_[m];
        }
        // Every partial sum of a correlation or energy is at most twice the
        // larger of the two energies (Cauchy-Schwarz): when that fits, the
        // reference's saturating sums are plain sums.
        exact_ = 2 * (e > o ? e : o) + 1 <= MAX_32;
    }

    // Correlation of sig[0, 2, ..., 78] with sig[-t, -t + 2, ...].
    Word32 correlation(int t) const {
        if (exact_) return dot40(even_ + 72, lagged(t));
        Word32 sum = 0;
        for (int j = 0; j < L_FRAME; j += 2) sum = lMac(sum, sig_[j], sig_[j - t]);
        return sum;
    }

    // max / sqrt(energy of sig at delay t), as the reference computes it.
    Word16 normalisedMax(int t, Word32 max) const {
        Word32 sum;
        if (exact_) {
            const Word16* p = lagged(t);
            sum = 1 + dot40(p, p);  // never zero
        } else {
            sum = 1;
            for (int i = 0; i < L_FRAME; i += 2) sum = lMac(sum, sig_[i - t], sig_[i - t]);
        }
        sum = invSqrt(sum);  // Q30
        Word16 maxH;
        Word16 maxL;
        Word16 enH;
        Word16 enL;
        lExtract(max, maxH, maxL);
        lExtract(sum, enH, enL);
        return extractL(mpy32(maxH, maxL, enH, enL));
    }

    // Best delay of [from, to) in steps of step, ties to the smaller delay.
    Word16 bestDelay(int from, int to, int step, Word32& max) const {
        max = MIN_32;
        Word16 best = static_cast<Word16>(from);
        for (int t = from; t < to; t += step) {
            const Word32 c = correlation(t);
            if (lSub(c, max) > 0) {
                max = c;
                best = static_cast<Word16>(t);
            }
        }
        return best;
    }

private:
    static constexpr int HALF = (PIT_MAX + 1 + L_FRAME) / 2;  // 112

    // sig[-t], sig[-t + 2], ... in the split arrays.
    const Word16* lagged(int t) const { return (t & 1) == 0 ? even_ + 72 - t / 2 : odd_ + 72 - (t + 1) / 2; }

    const Word16* sig_;
    Word16 even_[HALF];
    Word16 odd_[HALF];
    bool exact_;
};

}  // namespace

Word16 pitchOlFast(const Word16* signal) {
    Word16 scaledBuf[L_FRAME + PIT_MAX];
    Word16* scal = scaledBuf + PIT_MAX;

    // Scale the signal: down by 8 when its energy saturates, up by 8 when small.
    bool overflow = false;
    Word32 sum = 0;
    for (int i = -PIT_MAX; i < L_FRAME; i += 2) sum = lMacO(sum, signal[i], signal[i], overflow);
    if (overflow) {
        for (int i = -PIT_MAX; i < L_FRAME; i++) scal[i] = shr(signal[i], 3);
    } else if (lSub(sum, 1048576) < 0) {
        for (int i = -PIT_MAX; i < L_FRAME; i++) scal[i] = shl(signal[i], 3);
    } else {
        for (int i = -PIT_MAX; i < L_FRAME; i++) scal[i] = signal[i];
    }
    const Decimated d(scal);

    // Three delay ranges, each without a multiple of its own delays.
    Word32 max;
    Word16 t1 = d.bestDelay(20, 40, 1, max);
    Word16 max1 = d.normalisedMax(t1, max);

    Word16 t2 = d.bestDelay(40, 80, 1, max);
    Word16 max2 = d.normalisedMax(t2, max);

    Word16 t3 = d.bestDelay(80, 143, 2, max);
    const Word16 i3 = t3;
    Word32 c = d.correlation(i3 + 1);
    if (lSub(c, max) > 0) {
        max = c;
        t3 = static_cast<Word16>(i3 + 1);
    }
    c = d.correlation(i3 - 1);
    if (lSub(c, max) > 0) {
        max = c;
        t3 = static_cast<Word16>(i3 - 1);
    }
    const Word16 max3 = d.normalisedMax(t3, max);

    // Favour the lower ranges when the higher delay is close to a multiple.
    Word16 i = sub(shl(t2, 1), t3);
    if (sub(absS(i), 5) < 0) max2 = add(max2, shr(max3, 2));
    i = add(i, t2);
    if (sub(absS(i), 7) < 0) max2 = add(max2, shr(max3, 2));
    i = sub(shl(t1, 1), t2);
    if (sub(absS(i), 5) < 0) max1 = add(max1, mult(max2, 6554));
    i = add(i, t1);
    if (sub(absS(i), 7) < 0) max1 = add(max1, mult(max2, 6554));

    if (sub(max1, max2) < 0) {
        max1 = max2;
        t1 = t2;
    }
    if (sub(max1, max3) < 0) t1 = t3;
    return t1;
}

void corHX(const Word16* h, const Word16* x, Word16* d) {
    Word32 y32[L_SUBFR];
    // When 2 max|h| sum|x| fits in 32 bits no partial sum can saturate.
    int64_t sumX = 0;
    Word32 maxH = 0;
    for (int i = 0; i < L_SUBFR; i++) {
        sumX += x[i] < 0 ? -Word32{x[i]} : Word32{x[i]};
        const Word32 a = h[i] < 0 ? -Word32{h[i]} : Word32{h[i]};
        maxH = a > maxH ? a : maxH;
    }
    if (2 * sumX * maxH <= MAX_32) {
        // Fixed-length dot products over the target padded with zeros.
        Word16 xp[2 * L_SUBFR] = {};
        for (int j = 0; j < L_SUBFR; j++) xp[j] = x[j];
        for (int i = 0; i < L_SUBFR; i++) y32[i] = dot40(xp + i, h);
    } else {
        for (int i = 0; i < L_SUBFR; i++) {
            Word32 s = 0;
            for (int j = i; j < L_SUBFR; j++) s = lMac(s, x[j], h[j - i]);
            y32[i] = s;
        }
    }
    Word32 max = 0;
    for (int i = 0; i < L_SUBFR; i++) {
        const Word32 a = lAbs(y32[i]);
        if (a > max) max = a;
    }
    // Shift so that the largest value has 13 bits.
    Word16 j = normL(max);
    if (j > 16) j = 16;
    j = sub(18, j);
    for (int i = 0; i < L_SUBFR; i++) d[i] = extractL(lShr(y32[i], j));
}

namespace {

// The reference's saturating <x, y>; plain sums when `exact`.
Word32 dot(const Word16* x, const Word16* y, bool exact) {
    if (exact) return dot40(x, y);
    Word32 s = 0;
    for (int i = 0; i < L_SUBFR; i++) s = lMac(s, x[i], y[i]);
    return s;
}

Word32 maxAbs(const Word16* x, int n) {
    Word32 m = 0;
    for (int i = 0; i < n; i++) m = std::max(m, x[i] < 0 ? -Word32{x[i]} : Word32{x[i]});
    return m;
}

}  // namespace

Word16 pitchFr3Fast(Word16* exc, const Word16* xn, const Word16* h, Word16 t0Min, Word16 t0Max, int iSubfr,
                    Word16& pitFrac) {
    Word16 dn[L_SUBFR];
    corHX(h, xn, dn);

    // No correlation of dn with a vector bounded by B can saturate when
    // 2 sum|dn| B fits in 32 bits.
    int64_t sumDn = 0;
    for (int i = 0; i < L_SUBFR; i++) sumDn += dn[i] < 0 ? -Word32{dn[i]} : Word32{dn[i]};
    const bool exactPast = 2 * sumDn * maxAbs(exc - t0Max, t0Max - t0Min + L_SUBFR) <= MAX_32;

    // Integer delay maximising the correlation with the backward-filtered target.
    Word32 max = MIN_32;
    Word16 t0 = t0Min;
    for (Word16 t = t0Min; t <= t0Max; t++) {
        const Word32 corr = dot(dn, exc - t, exactPast);
        if (lSub(corr, max) > 0) {
            max = corr;
            t0 = t;
        }
    }

    predLt3(exc, t0, 0, L_SUBFR);
    max = dot(dn, exc, 2 * sumDn * maxAbs(exc, L_SUBFR) <= MAX_32);
    pitFrac = 0;

    // No fraction in the first subframe above delay 84.
    if (iSubfr == 0 && t0 > 84) return t0;

    Word16 excTmp[L_SUBFR];
    for (int i = 0; i < L_SUBFR; i++) excTmp[i] = exc[i];

    predLt3(exc, t0, -1, L_SUBFR);
    Word32 corr = dot(dn, exc, 2 * sumDn * maxAbs(exc, L_SUBFR) <= MAX_32);
    if (lSub(corr, max) > 0) {
        max = corr;
        pitFrac = -1;
        for (int i = 0; i < L_SUBFR; i++) excTmp[i] = exc[i];
    }

    predLt3(exc, t0, 1, L_SUBFR);
    corr = dot(dn, exc, 2 * sumDn * maxAbs(exc, L_SUBFR) <= MAX_32);
    if (lSub(corr, max) > 0) {
        pitFrac = 1;
    } else {
        for (int i = 0; i < L_SUBFR; i++) exc[i] = excTmp[i];
    }
    return t0;
}

namespace {

// init + <a, b> as mantissa and exponent (normalised); if the sum saturates,
// init + <aScaled, bScaled> instead with the exponent lowered by correction.
void normalisedDot(const Word16* a, const Word16* b, const Word16* aScaled, const Word16* bScaled,
                   Word32 init, Word16 correction, Word16& mant, Word16& exp) {
    bool overflow = false;
    Word32 s = init;
    for (int i = 0; i < L_SUBFR; i++) s = lMacO(s, a[i], b[i], overflow);
    Word16 shift = 0;
    if (overflow) {
        s = init;
        for (int i = 0; i < L_SUBFR; i++) s = lMac(s, aScaled[i], bScaled[i]);
        shift = correction;
    }
    exp = normL(s);
    mant = roundL(lShl(s, exp));
    exp = sub(exp, shift);
}

}  // namespace

Word16 gPitch(const Word16* xn, const Word16* y1, Word16* gCoeff) {
    Word16 scaledY1[L_SUBFR];
    for (int i = 0; i < L_SUBFR; i++) scaledY1[i] = shr(y1[i], 2);  // against overflow
    // <y1, y1> and <xn, y1>; when a sum saturates it is redone with y1 / 4.
    Word16 yy;
    Word16 expYy;
    normalisedDot(y1, y1, scaledY1, scaledY1, 1, 4, yy, expYy);  // 1: never zero
    Word16 xy;
    Word16 expXy;
    normalisedDot(xn, y1, xn, scaledY1, 0, 2, xy, expXy);

    gCoeff[0] = yy;
    gCoeff[1] = sub(15, expYy);
    gCoeff[2] = xy;
    gCoeff[3] = sub(15, expXy);

    if (xy <= 0) {
        gCoeff[3] = -15;  // exponent of a zero correlation
        return 0;
    }

    // gain = xy / yy, at most 1.2 in Q14
    Word16 gain = divS(shr(xy, 1), yy);
    gain = shr(gain, sub(expXy, expYy));
    if (sub(gain, 19661) > 0) gain = 19661;
    return gain;
}

void pitchRange(Word16 center, Word16 below, Word16 width, Word16& t0Min, Word16& t0Max) {
    t0Min = sub(center, below);
    if (t0Min < PIT_MIN) t0Min = PIT_MIN;
    t0Max = add(t0Min, width);
    if (t0Max > PIT_MAX) {
        t0Max = PIT_MAX;
        t0Min = sub(t0Max, width);
    }
}

Word16 encLag3(Word16 t0, Word16 t0Frac, Word16& t0Min, Word16& t0Max, int iSubfr) {
    Word16 index;
    if (iSubfr == 0) {
        if (sub(t0, 85) <= 0) {
            index = add(sub(add(add(t0, t0), t0), 58), t0Frac);  // 3 t0 - 58 + frac
        } else {
            index = add(t0, 112);
        }
        pitchRange(t0, 5, 9, t0Min, t0Max);  // range of the second subframe
    } else {
        Word16 i = sub(t0, t0Min);
        i = add(add(i, i), i);
        index = add(add(i, 2), t0Frac);  // 3 (t0 - t0Min) + 2 + frac
    }
    return index;
}

}  // namespace vorpel::g729
