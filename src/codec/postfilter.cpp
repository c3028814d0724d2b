// Annex A postfilter: long-term postfilter with an integer delay searched
// around the decoded pitch, short-term postfilter A(z/0.55)/A(z/0.7), tilt
// compensation and adaptive gain control (ITU-T G.729 Annex A, A.4.2).
#include "codec/postfilter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <tuple>

#include "codec/lpc_common.h"
#include "codec/vector_kernels.h"

#if VORPEL_G729_X86
#include <immintrin.h>
#endif

namespace vorpel::g729 {

namespace {

constexpr Word16 GAMMAP = 16384;      // 0.5 in Q15, harmonic postfilter weight
constexpr Word16 INV_GAMMAP = 21845;  // 1 / (1 + GAMMAP)
constexpr Word16 GAMMAP_2 = 10923;    // GAMMAP / (1 + GAMMAP)

#if VORPEL_G729_X86
// sum v[i]^2: pmaddwd's pair sums are at most 2^31, exact as unsigned 32-bit
// lanes, which are widened before they are added.
VORPEL_G729_VECTOR_TARGET int64_t sumOfSquaresVector(const Word16* v, int n) {
    __m128i acc = _mm_setzero_si128();
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i));
        const __m128i pairs = _mm_madd_epi16(x, x);
        acc = _mm_add_epi64(acc, _mm_cvtepu32_epi64(pairs));
        acc = _mm_add_epi64(acc, _mm_cvtepu32_epi64(_mm_srli_si128(pairs, 8)));
    }
    int64_t sum = _mm_cvtsi128_si64(acc) + _mm_extract_epi64(acc, 1);
    for (; i < n; i++) sum += Word32{v[i]} * v[i];
    return sum;
}
#endif

// acc + sum of lMac(v, v) over n samples. The terms are never negative, so the
// saturating sum is the exact sum capped at MAX_32 (acc >= 0, |v| < 32768).
Word32 energy(Word32 acc, const Word16* v, int n) {
    int64_t sum = 0;
#if VORPEL_G729_X86
    if (vectorKernels()) {
        sum = sumOfSquaresVector(v, n);
    } else
#endif
    {
        for (int i = 0; i < n; i++) sum += Word32{v[i]} * v[i];
    }
    sum = acc + 2 * sum;
    return sum > MAX_32 ? MAX_32 : static_cast<Word32>(sum);
}

Word16 maxAbs(const Word16* v, int from, int to) {
    Word32 m = 0;
    for (int i = from; i < to; i++) m = std::max(m, v[i] < 0 ? -Word32{v[i]} : Word32{v[i]});
    return static_cast<Word16>(std::min(m, Word32{MAX_16}));
}

// Long-term postfilter on one subframe: picks the integer delay in
// [t0Min, t0Max] of largest correlation, then mixes in the delayed residual
// when the prediction gain exceeds 3 dB.
void pitchPostFilter(const Word16* signal, const Word16* scalSig, Word16 t0Min, Word16 t0Max, Word16* out) {
    Word32 corMax = MIN_32;
    Word16 t0 = t0Min;
    // 2 * 40 * max^2 below 2^31: every correlation is an exact 32-bit sum.
    const Word32 peak = maxAbs(scalSig, -t0Max, L_SUBFR);
    const bool exact = int64_t{2} * L_SUBFR * peak * peak <= MAX_32;
    for (Word16 i = t0Min; i <= t0Max; i++) {
        const Word16* p1 = scalSig - i;
        Word32 corr = 0;
        if (exact) {
            for (int j = 0; j < L_SUBFR; j++) corr += Word32{scalSig[j]} * p1[j];
            corr *= 2;
        } else {
            for (int j = 0; j < L_SUBFR; j++) corr = lMac(corr, scalSig[j], p1[j]);
        }
        if (lSub(corr, corMax) > 0) {
            corMax = corr;
            t0 = i;
        }
    }
    const Word32 ener = energy(1, scalSig - t0, L_SUBFR);
    const Word32 ener0 = energy(1, scalSig, L_SUBFR);
    if (corMax < 0) corMax = 0;

    Word32 temp = corMax;
    if (ener > temp) temp = ener;
    if (ener0 > temp) temp = ener0;
    Word16 j = normL(temp);
    Word16 cmax = roundL(lShl(corMax, j));
    Word16 en = roundL(lShl(ener, j));
    Word16 en0 = roundL(lShl(ener0, j));

    // Prediction gain below 3 dB: cmax^2 < en * en0 / 2, no filtering.
    temp = lMult(cmax, cmax);
    temp = lSub(temp, lShr(lMult(en, en0), 1));
    if (temp < 0) {
        std::memcpy(out, signal, sizeof(Word16) * L_SUBFR);
        return;
    }

    Word16 g0;
    Word16 gain;
    if (cmax > en) {  // pitch gain above 1
        g0 = INV_GAMMAP;
        gain = GAMMAP_2;
    } else {
        cmax = shr(mult(cmax, GAMMAP), 1);
        en = shr(en, 1);
        Word16 s = add(cmax, en);
        if (s > 0) {
            gain = divS(cmax, s);
            g0 = sub(32767, gain);
        } else {
            g0 = 32767;
            gain = 0;
        }
    }
    for (int i = 0; i < L_SUBFR; i++) {
        out[i] = add(mult(g0, signal[i]), mult(gain, signal[i - t0]));
    }
}

// Tilt compensation 1 - g z^-1, in place.
void preemphasis(Word16& memPre, Word16* signal, Word16 g) {
    Word16 last = signal[L_SUBFR - 1];
    for (int i = L_SUBFR - 1; i > 0; i--) signal[i] = sub(signal[i], mult(g, signal[i - 1]));
    signal[0] = sub(signal[0], mult(g, memPre));
    memPre = last;
}

// Scales the postfiltered subframe to the energy of its input, smoothing the
// gain sample by sample.
void agc(Word16& pastGain, const Word16* sigIn, Word16* sigOut) {
    Word16 scaled[L_SUBFR];
    for (int i = 0; i < L_SUBFR; i++) scaled[i] = shr(sigOut[i], 2);
    Word32 s = energy(0, scaled, L_SUBFR);
    if (s == 0) {
        pastGain = 0;
        return;
    }
    Word16 exp = sub(normL(s), 1);
    Word16 gainOut = roundL(lShl(s, exp));

    for (int i = 0; i < L_SUBFR; i++) scaled[i] = shr(sigIn[i], 2);
    s = energy(0, scaled, L_SUBFR);
    Word16 g0;
    if (s == 0) {
        g0 = 0;
    } else {
        Word16 i = normL(s);
        Word16 gainIn = roundL(lShl(s, i));
        exp = sub(exp, i);
        s = lDepositL(divS(gainOut, gainIn));
        s = lShl(s, 7);    // Q22
        s = lShr(s, exp);  // Q22 with the exponent
        s = invSqrt(s);
        Word16 r = roundL(lShl(s, 9));  // Q12
        g0 = mult(r, AGC_FAC1);
    }
    // The gain of each sample (never negative: mult() of it by AGC_FAC cannot
    // saturate), then the scaling, whose shift saturates at +-2^28.
    // With g0 <= 3276 it cannot saturate either: 0.9 * 32767 + 3276 < 32767.
    Word16 gains[L_SUBFR];
    Word32 gain = pastGain;
    if (g0 <= 3276) {
        for (int i = 0; i < L_SUBFR; i++) {
            gain = ((gain * AGC_FAC) >> 15) + g0;
            gains[i] = static_cast<Word16>(gain);
        }
    } else {
        for (int i = 0; i < L_SUBFR; i++) {
            gain = std::min<Word32>(((gain * AGC_FAC) >> 15) + g0, MAX_16);
            gains[i] = static_cast<Word16>(gain);
        }
    }
    pastGain = static_cast<Word16>(gain);
    for (int i = 0; i < L_SUBFR; i++) {
        const Word32 v = std::clamp(2 * (sigOut[i] * gains[i]), MIN_32 >> 3, MAX_32 >> 3);
        sigOut[i] = static_cast<Word16>((v * 8) >> 16);
    }
}

}  // namespace

void postFilter(G729Decoder& d, Word16* syn, const Word16* az, const Word16* lags) {
    Word16* res2 = d.res2Buf.data() + G729Decoder::PST_HISTORY;
    Word16* scalRes2 = d.scalRes2Buf.data() + G729Decoder::PST_HISTORY;
    Word16 synPst[L_FRAME];
    Word16 res2Pst[L_SUBFR];
    Word16 ap3[MP1];
    Word16 ap4[MP1];
    Word16 h[L_H];

    for (int sub0 = 0, s = 0; sub0 < L_FRAME; sub0 += L_SUBFR, s++) {
        const Word16* a = az + s * MP1;
        Word16 t0Min = sub(lags[s], 3);
        Word16 t0Max = add(t0Min, 6);
        if (t0Max > PIT_MAX) {
            t0Max = PIT_MAX;
            t0Min = sub(t0Max, 6);
        }
        weightAz(a, GAMMA2_PST, M, ap3);
        weightAz(a, GAMMA1_PST, M, ap4);
        residu(ap3, syn + sub0, res2, L_SUBFR);
        for (int j = 0; j < L_SUBFR; j++) scalRes2[j] = shr(res2[j], 2);

        pitchPostFilter(res2, scalRes2, t0Min, t0Max, res2Pst);

        // Impulse response of A(z/0.55) / A(z/0.7), for the tilt estimate.
        std::memcpy(h, ap3, sizeof(Word16) * MP1);
        std::memset(h + MP1, 0, sizeof(Word16) * (L_H - MP1));
        synFilt(ap4, h, h, L_H, h + MP1, false);
        const Word32 energyH = energy(0, h, L_H);
        Word16 temp1 = extractH(energyH);
        Word32 acc = 0;
        if (energyH < MAX_32) {
            // Every partial sum of the neighbour products is bounded by the
            // energy (Cauchy-Schwarz): exact in 32 bits.
            for (int i = 0; i < L_H - 1; i++) acc += h[i] * h[i + 1];
            acc *= 2;
        } else {
            acc = lMult(h[0], h[1]);
            for (int i = 1; i < L_H - 1; i++) acc = lMac(acc, h[i], h[i + 1]);
        }
        Word16 temp2 = extractH(acc);
        if (temp2 <= 0) {
            temp2 = 0;
        } else {
            temp2 = mult(temp2, MU);
            temp2 = divS(temp2, temp1);
        }
        preemphasis(d.memPre, res2Pst, temp2);

        synFilt(ap4, res2Pst, synPst + sub0, L_SUBFR, d.memSynPst.data(), true);
        agc(d.pastGain, syn + sub0, synPst + sub0);

        std::memmove(res2 - PIT_MAX, res2 + L_SUBFR - PIT_MAX, sizeof(Word16) * PIT_MAX);
        std::memmove(scalRes2 - PIT_MAX, scalRes2 + L_SUBFR - PIT_MAX, sizeof(Word16) * PIT_MAX);
    }
    std::memcpy(syn - M, syn + L_FRAME - M, sizeof(Word16) * M);
    std::memcpy(syn, synPst, sizeof(Word16) * L_FRAME);
}

void postProcess(G729Decoder& d, Word16* signal, int lg) {
    static constexpr Word16 B100[3] = {7699, -15398, 7699};  // Q13
    static constexpr Word16 A100[3] = {8192, 15836, -7667};  // Q13
    // y[i] = b0 x[i] + b1 x[i-1] + b2 x[i-2] + a1 y[i-1] + a2 y[i-2], y in
    // double precision, accumulated in that order. The first three terms
    // together stay below 2^31 in magnitude
    // (2^16 (|a1| + |a2| + |b0|) + 2^17 < 2^31), so only the last two
    // additions can saturate; y1Lo and y2Lo lie in [0, 32767].
    static_assert(65536 * (15836 + 7667 + 7699) + 131072 < MAX_32);
    Biquad m{d.y1Hi, d.y1Lo, d.y2Hi, d.y2Lo, d.x0, d.x1};
    for (int i = 0; i < lg; i++) {
        const Word16 x0 = signal[i];
        Word32 t = 2 * (m.y2Hi * A100[2]) + 2 * ((m.y2Lo * A100[2]) >> 15) + 2 * (x0 * B100[0]);
        t += 2 * (m.y1Hi * A100[1]) + 2 * ((m.y1Lo * A100[1]) >> 15);
        t = lMac(t, m.x1, B100[1]);
        t = lMac(t, m.x2, B100[2]);
        if (t > -(1 << 28) && t < (1 << 28) - 0x1000) {  // neither shift nor rounding saturates
            t *= 4;
            signal[i] = static_cast<Word16>((t * 2 + 0x8000) >> 16);
        } else {
            t = lShl(t, 2);
            signal[i] = roundL(lShl(t, 1));
        }
        m.push(x0, t);
    }
    std::tie(d.y1Hi, d.y1Lo, d.y2Hi, d.y2Lo, d.x0, d.x1) =
        std::tie(m.y1Hi, m.y1Lo, m.y2Hi, m.y2Lo, m.x1, m.x2);
}

}  // namespace vorpel::g729
