// LSP quantiser of the encoder (ITU-T G.729 3.2.4): switched MA prediction
// with two predictors, a 7-bit first stage and two 5-bit second stages, each
// chosen by weighted distance, the predictor chosen last.
#include <algorithm>

#include "codec/encoder_parts.h"
#include "codec/tables.h"
#include "codec/vector_kernels.h"

#if VORPEL_G729_X86
#include <immintrin.h>
#endif

namespace vorpel::g729 {

namespace {

// Weights from the distances between neighbouring LSFs (Q13 in, normalised out).
void getWeights(const Word16* flsp, Word16* wegt) {
    Word16 buf[M];
    buf[0] = sub(flsp[1], PI04 + 8192);
    for (int i = 1; i < M - 1; i++) buf[i] = sub(sub(flsp[i + 1], flsp[i - 1]), 8192);
    buf[M - 1] = sub(PI92 - 8192, flsp[M - 2]);

    for (int i = 0; i < M; i++) {
        if (buf[i] > 0) {
            wegt[i] = 2048;  // 1.0 in Q11
        } else {
            Word16 tmp = extractH(lShl(lMult(buf[i], buf[i]), 2));  // Q13
            tmp = extractH(lShl(lMult(tmp, CONST10), 2));           // Q11
            wegt[i] = add(tmp, 2048);
        }
    }
    wegt[4] = extractH(lShl(lMult(wegt[4], CONST12), 1));
    wegt[5] = extractH(lShl(lMult(wegt[5], CONST12), 1));

    Word16 tmp = 0;
    for (int i = 0; i < M; i++) {
        if (wegt[i] > tmp) tmp = wegt[i];
    }
    const Word16 sft = normS(tmp);
    for (int i = 0; i < M; i++) wegt[i] = shl(wegt[i], sft);
}

// The distances below add non-negative terms, so the reference's saturating
// sums equal the exact sums clamped to MAX_32.
inline Word32 clampDistance(int64_t d) { return d > MAX_32 ? MAX_32 : static_cast<Word32>(d); }

// The first-stage codebook by columns, with each column's range.
struct FirstStageColumns {
    alignas(16) Word16 column[M][NC0];
    Word32 min[M];
    Word32 max[M];
};

const FirstStageColumns& firstStageColumns() {
    static const FirstStageColumns columns = [] {
        FirstStageColumns c{};
        for (int j = 0; j < M; j++) {
            c.min[j] = MAX_16;
            c.max[j] = MIN_16;
            for (int i = 0; i < NC0; i++) {
                c.column[j][i] = lspcb1[i][j];
                c.min[j] = std::min(c.min[j], Word32{lspcb1[i][j]});
                c.max[j] = std::max(c.max[j], Word32{lspcb1[i][j]});
            }
        }
        return c;
    }();
    return columns;
}

#if VORPEL_G729_X86
// Distance sums of the codebook rows, eight at a time, each a sum of
// non-negative terms below 2^30 that pmaddwd adds in pairs. A row can only
// win with a sum below 2^30, so the sums are capped there (as unsigned lanes
// they stay below 2^32).
template <int Rows>
struct NearestRow {
    alignas(16) Word32 sums[Rows];
    __m128i best = _mm_set1_epi32(1 << 30);
    __m128i lo = _mm_setzero_si128();
    __m128i hi = _mm_setzero_si128();

    // Adds a[r] b[r] + c[r] d[r] to the rows of the block.
    VORPEL_G729_VECTOR_TARGET void add(__m128i a, __m128i b, __m128i c, __m128i d) {
        const __m128i cap = _mm_set1_epi32(1 << 30);
        lo = _mm_min_epu32(
            _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, c), _mm_unpacklo_epi16(b, d))), cap);
        hi = _mm_min_epu32(
            _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, c), _mm_unpackhi_epi16(b, d))), cap);
    }
    // Closes the block of rows k .. k + 7.
    VORPEL_G729_VECTOR_TARGET void endBlock(int k) {
        _mm_store_si128(reinterpret_cast<__m128i*>(sums + k), lo);
        _mm_store_si128(reinterpret_cast<__m128i*>(sums + k + 4), hi);
        best = _mm_min_epu32(best, _mm_min_epu32(lo, hi));
        lo = _mm_setzero_si128();
        hi = _mm_setzero_si128();
    }
    // The first row of least sum; 0 when every row is at the cap (none is
    // nearer than the first).
    VORPEL_G729_VECTOR_TARGET Word16 first() {
        __m128i m = _mm_min_epu32(best, _mm_shuffle_epi32(best, 0x4e));
        m = _mm_min_epu32(m, _mm_shuffle_epi32(m, 0xb1));
        const Word32 min = _mm_cvtsi128_si32(m);
        if (min >= (1 << 30)) return 0;
        Word16 index = 0;
        while (sums[index] != min) index++;
        return index;
    }
};

// The first branch of preSelect below: the differences fit in 16 bits.
VORPEL_G729_VECTOR_TARGET Word16 preSelectVector(const Word16* rbuf, const FirstStageColumns& cols) {
    NearestRow<NC0> rows;
    for (int i = 0; i < NC0; i += 8) {
        for (int j = 0; j < M; j += 2) {
            const __m128i a =
                _mm_sub_epi16(_mm_set1_epi16(rbuf[j]),
                              _mm_load_si128(reinterpret_cast<const __m128i*>(cols.column[j] + i)));
            const __m128i b =
                _mm_sub_epi16(_mm_set1_epi16(rbuf[j + 1]),
                              _mm_load_si128(reinterpret_cast<const __m128i*>(cols.column[j + 1] + i)));
            rows.add(a, a, b, b);
        }
        rows.endBlock(i);
    }
    return rows.first();
}
#endif

// First-stage row nearest (unweighted) to rbuf: the reference's saturating
// distance 2 sum sub(r, cb)^2.
Word16 preSelect(const Word16* rbuf) {
    const FirstStageColumns& cols = firstStageColumns();
    bool noSaturation = true;
    for (int j = 0; j < M; j++) {
        noSaturation = noSaturation && rbuf[j] - cols.min[j] <= MAX_16 && rbuf[j] - cols.max[j] > MIN_16;
    }
    Word16 cand = 0;
#if VORPEL_G729_X86
    if (noSaturation && vectorKernels()) return preSelectVector(rbuf, cols);
#endif
    if (noSaturation) {
        // All rows at once. A row can only win with sum d^2 < 2^30, so the sums
        // are capped there: each d^2 < 2^30, so the capped sums stay in 32 bits.
        constexpr Word32 CAP = Word32{1} << 30;
        Word32 sums[NC0] = {};
        for (int j = 0; j < M; j++) {
            const Word32 r = rbuf[j];
            const Word16* column = cols.column[j];
            for (int i = 0; i < NC0; i++) {
                const Word32 d = r - column[i];
                sums[i] = std::min(sums[i] + d * d, CAP);
            }
        }
        Word32 best = CAP;
        for (int i = 0; i < NC0; i++) {
            if (sums[i] < best) {
                best = sums[i];
                cand = static_cast<Word16>(i);
            }
        }
        return cand;
    }
    Word32 dmin = MAX_32;
    for (int i = 0; i < NC0; i++) {
        const Word16* cb = lspcb1[i];
        int64_t dist = 0;
        for (int j = 0; j < M; j++) {
            const Word32 d = sub(rbuf[j], cb[j]);
            dist += int64_t{d} * d;
        }
        const Word32 dc = clampDistance(2 * dist);
        if (dc < dmin) {
            dmin = dc;
            cand = static_cast<Word16>(i);
        }
    }
    return cand;
}

#if VORPEL_G729_X86
// The second-stage codebook by columns.
struct SecondStageColumns {
    alignas(16) Word16 column[M][NC1];
};

const SecondStageColumns& secondStageColumns() {
    static const SecondStageColumns columns = [] {
        SecondStageColumns c{};
        for (int j = 0; j < M; j++)
            for (int k = 0; k < NC1; k++) c.column[j][k] = lspcb2[k][j];
        return c;
    }();
    return columns;
}

// selectSecond below. Each term mult(w, d) d is never negative (w >= 0).
VORPEL_G729_VECTOR_TARGET Word16 selectSecondVector(const Word16* buf, const Word16* wegt, int from, int to) {
    const SecondStageColumns& cols = secondStageColumns();
    NearestRow<NC1> rows;
    for (int k = 0; k < NC1; k += 8) {
        __m128i d[2];
        __m128i m[2];
        for (int j = from; j < to; j += 2) {
            for (int t = 0; t < 2; t++) {
                d[t] = _mm_setzero_si128();
                m[t] = _mm_setzero_si128();
                if (j + t == to) continue;  // an odd last column pairs with zeros
                d[t] =
                    _mm_subs_epi16(_mm_set1_epi16(buf[j + t]),
                                   _mm_load_si128(reinterpret_cast<const __m128i*>(cols.column[j + t] + k)));
                const __m128i w = _mm_set1_epi16(wegt[j + t]);
                const __m128i pl = _mm_mullo_epi16(w, d[t]);
                const __m128i ph = _mm_mulhi_epi16(w, d[t]);
                m[t] = _mm_packs_epi32(_mm_srai_epi32(_mm_unpacklo_epi16(pl, ph), 15),
                                       _mm_srai_epi32(_mm_unpackhi_epi16(pl, ph), 15));
            }
            rows.add(m[0], d[0], m[1], d[1]);
        }
        rows.endBlock(k);
    }
    return rows.first();
}
#endif

// Second-stage row for the coefficients [from, to) by weighted distance.
Word16 selectSecond(const Word16* rbuf, const Word16* cb1, const Word16* wegt, int from, int to) {
    Word16 buf[M];
    for (int j = from; j < to; j++) buf[j] = sub(rbuf[j], cb1[j]);
#if VORPEL_G729_X86
    if (vectorKernels()) return selectSecondVector(buf, wegt, from, to);
#endif
    Word16 index = 0;
    Word32 dmin = MAX_32;
    for (int k = 0; k < NC1; k++) {
        int64_t dist = 0;
        for (int j = from; j < to; j++) {
            const Word16 d = sub(buf[j], lspcb2[k][j]);
            dist += 2 * Word32{mult(wegt[j], d)} * d;
        }
        const Word32 dc = clampDistance(dist);
        if (dc < dmin) {
            dmin = dc;
            index = static_cast<Word16>(k);
        }
    }
    return index;
}

// Weighted distance of the quantised vector to the target in the LSF domain.
Word32 totalDistance(const Word16* wegt, const Word16* buf, const Word16* rbuf, const Word16* fgs) {
    Word32 dist = 0;
    for (int j = 0; j < M; j++) {
        const Word16 d = mult(sub(buf[j], rbuf[j]), fgs[j]);
        const Word16 wd = extractH(lShl(lMult(wegt[j], d), 4));
        dist = lMac(dist, wd, d);
    }
    return dist;
}

}  // namespace

void quaLsp(LsfHistory& freqPrev, const Word16* lsp, Word16* lspQ, Word16* ana, CodecWarnings& warnings) {
    Word16 lsf[M];
    Word16 lsfQ[M];
    Word16 wegt[M];
    lspLsf2(lsp, lsf, M);
    getWeights(lsf, wegt);

    Word16 cand[MODE];
    Word16 index1[MODE];
    Word16 index2[MODE];
    Word32 tdist[MODE];
    for (int mode = 0; mode < MODE; mode++) {
        Word16 rbuf[M];
        Word16 buf[M];
        lspPrevExtract(lsf, rbuf, mode, freqPrev);
        const Word16 c = preSelect(rbuf);
        cand[mode] = c;

        index1[mode] = selectSecond(rbuf, lspcb1[c], wegt, 0, NC);
        for (int j = 0; j < NC; j++) buf[j] = add(lspcb1[c][j], lspcb2[index1[mode]][j]);
        lspExpand1(buf, GAP1);

        index2[mode] = selectSecond(rbuf, lspcb1[c], wegt, NC, M);
        for (int j = NC; j < M; j++) buf[j] = add(lspcb1[c][j], lspcb2[index2[mode]][j]);
        lspExpand2(buf, GAP1);
        lspExpand12(buf, GAP2);

        tdist[mode] = totalDistance(wegt, buf, rbuf, fgSum[mode]);
    }

    const int mode = lSub(tdist[1], tdist[0]) < 0 ? 1 : 0;
    ana[0] = static_cast<Word16>((mode << NC0_B) | cand[mode]);
    ana[1] = static_cast<Word16>((index1[mode] << NC1_B) | index2[mode]);

    lspGetQuant(cand[mode], index1[mode], index2[mode], mode, freqPrev, lsfQ, warnings);
    lsfLsp2(lsfQ, lspQ, M);
}

}  // namespace vorpel::g729
