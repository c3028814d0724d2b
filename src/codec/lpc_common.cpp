// LP, LSP and excitation routines shared by the encoder and the decoder.
#include "codec/lpc_common.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "codec/tables.h"
#include "codec/vector_kernels.h"

#if VORPEL_G729_X86
#include <immintrin.h>
#endif

namespace vorpel::g729 {

namespace {

bool processorHasVectors() {
#if VORPEL_G729_X86
    __builtin_cpu_init();  // this may run among the static constructors
    return __builtin_cpu_supports("sse4.1");
#else
    return false;
#endif
}

std::atomic<bool> vectorsOn{processorHasVectors()};

}  // namespace

bool vectorKernels() { return vectorsOn.load(std::memory_order_relaxed); }
void setVectorKernels(bool on) { vectorsOn.store(on && processorHasVectors(), std::memory_order_relaxed); }

namespace {

// Coefficients of F1(z) or F2(z) from every other LSP (G.729 3.2.6), Q24.
void getLspPol(const Word16* lsp, Word32* f) {
    f[0] = lMult(4096, 2048);
    f[1] = lMsu(0, lsp[0], 512);
    for (int i = 2; i <= 5; i++) {
        const Word16 l = lsp[2 * (i - 1)];
        f[i] = f[i - 2];
        for (int j = i; j > 1; j--) {
            Word16 hi;
            Word16 lo;
            lExtract(f[j - 1], hi, lo);
            Word32 t0 = lShl(mpy32_16(hi, lo, l), 1);
            f[j] = lAdd(f[j], f[j - 2]);
            f[j] = lSub(f[j], t0);
        }
        f[1] = lMsu(f[1], l, 512);
    }
}

}  // namespace

void lspAz(const Word16* lsp, Word16* a) {
    Word32 f1[6];
    Word32 f2[6];
    getLspPol(&lsp[0], f1);
    getLspPol(&lsp[1], f2);
    for (int i = 5; i > 0; i--) {
        f1[i] = lAdd(f1[i], f1[i - 1]);
        f2[i] = lSub(f2[i], f2[i - 1]);
    }
    a[0] = 4096;
    for (int i = 1, j = 10; i <= 5; i++, j--) {
        a[i] = extractL(lShrR(lAdd(f1[i], f2[i]), 13));
        a[j] = extractL(lShrR(lSub(f1[i], f2[i]), 13));
    }
}

void intQlpc(const Word16* lspOld, const Word16* lspNew, Word16* az) {
    Word16 lsp[M];
    for (int i = 0; i < M; i++) lsp[i] = add(shr(lspNew[i], 1), shr(lspOld[i], 1));
    lspAz(lsp, az);
    lspAz(lspNew, az + MP1);
}

void lsfLsp2(const Word16* lsf, Word16* lsp, int m) {
    for (int i = 0; i < m; i++) {
        Word16 freq = mult(lsf[i], 20861);  // 1 / (2 pi) in Q17
        Word16 ind = shr(freq, 8);
        Word16 offset = static_cast<Word16>(freq & 0x00ff);
        if (ind > 63) ind = 63;
        Word32 t = lMult(slopeCos[ind], offset);
        lsp[i] = add(table2[ind], extractL(lShr(t, 13)));
    }
}

void lspLsf2(const Word16* lsp, Word16* lsf, int m) {
    Word16 ind = 63;
    for (int i = m - 1; i >= 0; i--) {
        while (table2[ind] < lsp[i]) {
            ind = static_cast<Word16>(ind - 1);
            if (ind <= 0) break;
        }
        Word16 offset = sub(lsp[i], table2[ind]);
        Word32 t = lMult(slopeAcos[ind], offset);
        Word16 freq = add(shl(ind, 9), extractL(lShr(t, 12)));
        lsf[i] = mult(freq, 25736);  // 2 pi in Q12
    }
}

void weightAz(const Word16* a, Word16 gamma, int m, Word16* ap) {
    ap[0] = a[0];
    Word16 fac = gamma;
    for (int i = 1; i < m; i++) {
        ap[i] = roundL(lMult(a[i], fac));
        fac = roundL(lMult(fac, gamma));
    }
    ap[m] = roundL(lMult(a[m], fac));
}

namespace {
inline void expandRange(Word16* buf, Word16 gap, int from, int to) {
    for (int j = from; j < to; j++) {
        Word16 diff = sub(buf[j - 1], buf[j]);
        Word16 tmp = shr(add(diff, gap), 1);
        if (tmp > 0) {
            buf[j - 1] = sub(buf[j - 1], tmp);
            buf[j] = add(buf[j], tmp);
        }
    }
}
}  // namespace

void lspExpand1(Word16* buf, Word16 gap) { expandRange(buf, gap, 1, NC); }
void lspExpand2(Word16* buf, Word16 gap) { expandRange(buf, gap, NC, M); }
void lspExpand12(Word16* buf, Word16 gap) { expandRange(buf, gap, 1, M); }

void lspStability(Word16* buf, CodecWarnings& warnings) {
    for (int j = 0; j < M - 1; j++) {
        if (buf[j + 1] < buf[j]) {
            Word16 tmp = buf[j + 1];
            buf[j + 1] = buf[j];
            buf[j] = tmp;
        }
    }
    if (buf[0] < L_LIMIT) {
        buf[0] = L_LIMIT;
        ++warnings.lspLow;
    }
    for (int j = 0; j < M - 1; j++) {
        if (Word32{buf[j + 1]} - buf[j] < GAP3) buf[j + 1] = add(buf[j], GAP3);
    }
    if (buf[M - 1] > M_LIMIT) {
        buf[M - 1] = M_LIMIT;
        ++warnings.lspHigh;
    }
}

void lspPrevCompose(const Word16* lspEle, Word16* lsp, int mode, const LsfHistory& freqPrev) {
    for (int j = 0; j < M; j++) {
        Word32 acc = lMult(lspEle[j], fgSum[mode][j]);
        for (int k = 0; k < MA_NP; k++) acc = lMac(acc, freqPrev[k][j], fg[mode][k][j]);
        lsp[j] = extractH(acc);
    }
}

void lspPrevExtract(const Word16* lsp, Word16* lspEle, int mode, const LsfHistory& freqPrev) {
    for (int j = 0; j < M; j++) {
        Word32 t = lDepositH(lsp[j]);
        for (int k = 0; k < MA_NP; k++) t = lMsu(t, freqPrev[k][j], fg[mode][k][j]);
        Word16 temp = extractH(t);
        t = lMult(temp, fgSumInv[mode][j]);
        lspEle[j] = extractH(lShl(t, 3));
    }
}

void lspPrevUpdate(const Word16* lspEle, LsfHistory& freqPrev) {
    for (int k = MA_NP - 1; k > 0; k--) freqPrev[k] = freqPrev[k - 1];
    std::memcpy(freqPrev[0].data(), lspEle, sizeof(Word16) * M);
}

void lspGetQuant(Word16 code0, Word16 code1, Word16 code2, int mode, LsfHistory& freqPrev, Word16* lspq,
                 CodecWarnings& warnings) {
    Word16 buf[M];
    for (int j = 0; j < NC; j++) buf[j] = add(lspcb1[code0][j], lspcb2[code1][j]);
    for (int j = NC; j < M; j++) buf[j] = add(lspcb1[code0][j], lspcb2[code2][j]);
    lspExpand12(buf, GAP1);
    lspExpand12(buf, GAP2);
    lspPrevCompose(buf, lspq, mode, freqPrev);
    lspPrevUpdate(buf, freqPrev);
    lspStability(lspq, warnings);
}

namespace {

// Range of s in which L_shl(s, 3) and the rounding after it do not saturate.
constexpr Word32 LOW = MIN_32 >> 3;
constexpr Word32 HIGH = (MAX_32 - 0x8000) >> 3;

// The reference's L_shl(s, 3) then round(), s = 2 * (sum of products):
// saturating at both steps. Branch-free, so that loops over it vectorise.
inline Word16 shl3Round(Word32 s) {
    const Word32 c = s < LOW ? LOW : (s > HIGH ? HIGH : s);
    return static_cast<Word16>((c * 8 + 0x8000) >> 16);
}

}  // namespace

namespace {

// One sample of 1/A(z) with the reference's saturating operators.
[[gnu::noinline]] Word16 synSample(const Word16* a, Word16 x, const Word16* past, bool& overflow) {
    Word32 s = lMultO(x, a[0], overflow);
    for (int j = 1; j <= M; j++) s = lMsuO(s, a[j], past[-j], overflow);
    return roundLO(lShlO(s, 3, overflow), overflow);
}

}  // namespace

bool synFilt(const Word16* a, const Word16* x, Word16* y, int lg, Word16* mem, bool update) {
    Word16 buf[M + 100];
    std::memcpy(buf, mem, sizeof(Word16) * M);
    Word16* yy = buf + M;
    Word32 c[MP1];
    Word32 sumA = 0;
    for (int j = 0; j <= M; j++) {
        c[j] = a[j];
        if (j > 0) sumA += a[j] < 0 ? -Word32{a[j]} : Word32{a[j]};
    }
    const Word32 absA0 = c[0] < 0 ? -c[0] : c[0];
    bool overflow = false;
    if (absA0 + sumA <= 32767) {
        // |x a0| + sum |a_j y| < 2^30 for any 16-bit values: no step of a
        // sample's accumulation can saturate, only its shift and rounding.
        // The older nine terms come from memory and are summed while the
        // newest output, kept in a register, is still being formed; the
        // coefficients are doubled (2 |a_j y| < 2^31 here). Where neither the
        // shift nor the rounding saturates, they are one rounding shift.
        Word32 c2[MP1];
        for (int j = 0; j <= M; j++) c2[j] = 2 * c[j];
        Word32 y1 = buf[M - 1];
        int ovf = 0;
        for (int i = 0; i < lg; i++) {
            const Word16* p = yy + i;
            const Word32 older = ((c2[2] * p[-2] + c2[3] * p[-3]) + (c2[4] * p[-4] + c2[5] * p[-5])) +
                                 ((c2[6] * p[-6] + c2[7] * p[-7]) + (c2[8] * p[-8] + c2[9] * p[-9])) +
                                 c2[10] * p[-10];
            const Word32 s = c2[0] * x[i] - older - c2[1] * y1;
            if (static_cast<uint32_t>(s) - static_cast<uint32_t>(LOW) > static_cast<uint32_t>(HIGH - LOW))
                [[unlikely]] {
                ovf = 1;
                y1 = shl3Round(s);
            } else {
                y1 = (s + 0x1000) >> 13;
            }
            yy[i] = static_cast<Word16>(y1);
        }
        overflow = ovf != 0;
    } else {
        // The same while |x a0| + sum |a_j| max|y| stays below 2^30; otherwise
        // the sample is computed with the saturating operators.
        Word32 maxY = 0;
        for (int j = 0; j < M; j++) maxY = std::max(maxY, buf[j] < 0 ? -Word32{buf[j]} : Word32{buf[j]});
        for (int i = 0; i < lg; i++) {
            const Word16* p = yy + i;
            const Word32 xa = c[0] * x[i];
            Word16 out;
            if ((xa < 0 ? -int64_t{xa} : int64_t{xa}) + int64_t{sumA} * maxY <= MAX_32 / 2) {
                Word32 acc = xa;
                for (int j = M; j >= 1; j--) acc -= c[j] * p[-j];
                const Word32 s = 2 * acc;
                overflow |= (s < LOW) | (s > HIGH);
                out = shl3Round(s);
            } else {
                out = synSample(a, x[i], p, overflow);
            }
            yy[i] = out;
            maxY = std::max(maxY, out < 0 ? -Word32{out} : Word32{out});
        }
    }
    std::memcpy(y, yy, sizeof(Word16) * lg);
    if (update) std::memcpy(mem, y + lg - M, sizeof(Word16) * M);
    return overflow;
}

namespace {

// Output j of predLt3 with the reference's saturating operators.
Word16 interpolateSaturating(const Word16* x1, const Word16* c1, const Word16* c2) {
    const Word16* x2 = x1 + 1;
    Word32 s = 0;
    for (int i = 0, k = 0; i < L_INTER10; i++, k += UP_SAMP) {
        s = lMac(s, x1[-i], c1[k]);
        s = lMac(s, x2[i], c2[k]);
    }
    return roundL(s);
}

#if VORPEL_G729_X86
// max |v[i]| over n samples (32768 for -32768).
VORPEL_G729_VECTOR_TARGET Word32 maxAbsVector(const Word16* v, int n) {
    __m128i m = _mm_setzero_si128();
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        m = _mm_max_epu16(m, _mm_abs_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i))));
    }
    m = _mm_max_epu16(m, _mm_srli_si128(m, 8));
    m = _mm_max_epu16(m, _mm_srli_si128(m, 4));
    m = _mm_max_epu16(m, _mm_srli_si128(m, 2));
    Word32 out = _mm_extract_epi16(m, 0);
    for (; i < n; i++) out = std::max(out, v[i] < 0 ? -Word32{v[i]} : Word32{v[i]});
    return out;
}

// Eight sums at once, acc[k] = sum_n taps[n] first[k + n] over Taps taps
// (k = 0..3 in lo, 4..7 in hi): pmaddwd over tap pairs, an odd last tap
// paired with zero. Exact when no sum can leave 32 bits.
template <int Taps>
VORPEL_G729_VECTOR_TARGET void firSums8(const Word16* first, const Word16* taps, __m128i& lo, __m128i& hi) {
    lo = _mm_setzero_si128();
    hi = _mm_setzero_si128();
#pragma GCC unroll 10
    for (int n = 0; n + 1 < Taps; n += 2) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + n));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + n + 1));
        const __m128i pair = _mm_set1_epi32(
            static_cast<int>(static_cast<uint16_t>(taps[n]) |
                             (static_cast<uint32_t>(static_cast<uint16_t>(taps[n + 1])) << 16)));
        lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), pair));
        hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), pair));
    }
    if constexpr (Taps % 2 == 1) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + Taps - 1));
        const __m128i single = _mm_set1_epi32(static_cast<uint16_t>(taps[Taps - 1]));
        lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, _mm_setzero_si128()), single));
        hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, _mm_setzero_si128()), single));
    }
}

// Eight outputs of predLt3: round(2 acc), saturating only when
// 2 acc > MAX_32 - 0x8000.
VORPEL_G729_VECTOR_TARGET void interpolate8(const Word16* first, const Word16* taps, Word16* out) {
    __m128i acc0;
    __m128i acc1;
    firSums8<2 * L_INTER10>(first, taps, acc0, acc1);
    const __m128i limit = _mm_set1_epi32(MAX_32 - 0x8000);
    const __m128i half = _mm_set1_epi32(0x8000);
    acc0 = _mm_srai_epi32(_mm_add_epi32(_mm_min_epi32(_mm_slli_epi32(acc0, 1), limit), half), 16);
    acc1 = _mm_srai_epi32(_mm_add_epi32(_mm_min_epi32(_mm_slli_epi32(acc1, 1), limit), half), 16);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(acc0, acc1));
}

// shl3Round(2 acc) of four sums.
VORPEL_G729_VECTOR_TARGET __m128i shl3Round4(__m128i acc) {
    acc = _mm_max_epi32(_mm_min_epi32(_mm_slli_epi32(acc, 1), _mm_set1_epi32(HIGH)), _mm_set1_epi32(LOW));
    return _mm_srai_epi32(_mm_add_epi32(_mm_slli_epi32(acc, 3), _mm_set1_epi32(0x8000)), 16);
}

// Eight outputs of residu.
VORPEL_G729_VECTOR_TARGET void residual8(const Word16* first, const Word16* taps, Word16* out) {
    __m128i acc0;
    __m128i acc1;
    firSums8<MP1>(first, taps, acc0, acc1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(shl3Round4(acc0), shl3Round4(acc1)));
}
#endif

}  // namespace

void residu(const Word16* a, const Word16* x, Word16* y, int lg) {
    // When 2 sum |a_j| max|x| fits in 32 bits no partial sum can saturate and
    // plain integer arithmetic equals the saturating operators.
    Word32 sumA = 0;
    for (int j = 0; j <= M; j++) sumA += a[j] < 0 ? -Word32{a[j]} : Word32{a[j]};
    Word32 maxX = 0;
    for (int i = -M; i < lg; i++) maxX = std::max(maxX, x[i] < 0 ? -Word32{x[i]} : Word32{x[i]});
    if (2 * int64_t{sumA} * maxX <= MAX_32) {
#if VORPEL_G729_X86
        if (vectorKernels() && lg % 8 == 0) {
            Word16 taps[MP1];  // a[10] .. a[0]: the order of x[i - 10] .. x[i]
            for (int j = 0; j <= M; j++) taps[j] = a[M - j];
            for (int i = 0; i < lg; i += 8) residual8(x + i - M, taps, y + i);
            return;
        }
#endif
        const Word32 a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3], a4 = a[4], a5 = a[5];
        const Word32 a6 = a[6], a7 = a[7], a8 = a[8], a9 = a[9], a10 = a[10];
        for (int i = 0; i < lg; i++) {
            const Word16* p = x + i;
            const Word32 acc = a0 * p[0] + a1 * p[-1] + a2 * p[-2] + a3 * p[-3] + a4 * p[-4] + a5 * p[-5] +
                               a6 * p[-6] + a7 * p[-7] + a8 * p[-8] + a9 * p[-9] + a10 * p[-10];
            y[i] = shl3Round(2 * acc);
        }
        return;
    }
    for (int i = 0; i < lg; i++) {
        Word32 s = lMult(x[i], a[0]);
        for (int j = 1; j <= M; j++) s = lMac(s, a[j], x[i - j]);
        y[i] = roundL(lShl(s, 3));
    }
}

void convolve(const Word16* x, const Word16* h, Word16* y, int l) {
    for (int n = 0; n < l; n++) {
        Word32 s = 0;
        for (int i = 0; i <= n; i++) s = lMac(s, x[i], h[n - i]);
        s = lShl(s, 3);
        y[n] = extractH(s);
    }
}

void predLt3(Word16* exc, Word16 t0, Word16 frac, int lg) {
    Word16* x0 = exc - t0;
    frac = negate(frac);
    if (frac < 0) {
        frac = add(frac, UP_SAMP);
        x0--;
    }
    const Word16* c1 = &inter3l[frac];
    const Word16* c2 = &inter3l[UP_SAMP - frac];

    // Output j reads x0[j - 9 .. j + 10]; samples at exc[0] and after are
    // outputs of this call. While 2 sum|c| max|x| fits in 32 bits, no step of
    // the accumulation can saturate and plain integer arithmetic is exact.
    Word32 sumC = 0;
    for (int k = 0; k < UP_SAMP * L_INTER10; k += UP_SAMP) {
        sumC += (c1[k] < 0 ? -Word32{c1[k]} : Word32{c1[k]}) + (c2[k] < 0 ? -Word32{c2[k]} : Word32{c2[k]});
    }
    // The 20 taps in the order of the samples they weight, x0[j - 9 .. j + 10],
    // and 4 zeros (reading up to x0[j + 14], which precedes exc[j] for every
    // delay of at least PIT_MIN).
    Word16 taps[2 * L_INTER10 + 4] = {};
    for (int i = 0; i < L_INTER10; i++) {
        taps[L_INTER10 - 1 - i] = c1[UP_SAMP * i];
        taps[L_INTER10 + i] = c2[UP_SAMP * i];
    }
#if VORPEL_G729_X86
    // Blocks of eight outputs: output j reads at most x0[j + 10], at least ten
    // samples before exc[j] (delays from PIT_MIN on), so a block reads only
    // outputs of the blocks before it.
    if (vectorKernels() && lg % 8 == 0 && t0 >= PIT_MIN) {
        const Word16* from = x0 - (L_INTER10 - 1);
        Word32 maxX = maxAbsVector(from, static_cast<int>(std::min(exc, x0 + lg + L_INTER10) - from));
        for (int j = 0; j < lg; j += 8) {
            if (2 * int64_t{sumC} * maxX <= MAX_32) {
                interpolate8(x0 + j - (L_INTER10 - 1), taps, exc + j);
            } else {
                for (int k = j; k < j + 8; k++) exc[k] = interpolateSaturating(x0 + k, c1, c2);
            }
            maxX = std::max(maxX, maxAbsVector(exc + j, 8));
        }
        return;
    }
#endif
    Word32 maxX = 0;
    for (const Word16* p = x0 - (L_INTER10 - 1); p < exc && p <= x0 + lg + L_INTER10 - 1; p++) {
        maxX = std::max(maxX, *p < 0 ? -Word32{*p} : Word32{*p});
    }
    for (int j = 0; j < lg; j++) {
        if (2 * int64_t{sumC} * maxX <= MAX_32) {
            const Word16* first = x0 + j - (L_INTER10 - 1);
            Word32 acc = 0;
            for (int n = 0; n < 2 * L_INTER10 + 4; n++) acc += Word32{first[n]} * taps[n];
            exc[j] = roundL(2 * acc);
        } else {
            exc[j] = interpolateSaturating(x0 + j, c1, c2);
        }
        maxX = std::max(maxX, exc[j] < 0 ? -Word32{exc[j]} : Word32{exc[j]});
    }
}

void gainPredict(const Word16* pastQuaEn, const Word16* code, int lcode, Word16& gcode0, Word16& expGcode0) {
    Word32 t = 0;
    for (int i = 0; i < lcode; i++) t = lMac(t, code[i], code[i]);
    Word16 exp;
    Word16 frac;
    log2(t, exp, frac);
    t = mpy32_16(exp, frac, -24660);  // -3.0103 in Q13
    t = lMac(t, 32588, 32);           // 127.298 in Q14
    t = lShl(t, 10);
    for (int i = 0; i < 4; i++) t = lMac(t, pred[i], pastQuaEn[i]);
    gcode0 = extractH(t);     // Q8
    t = lMult(gcode0, 5439);  // log2(10) / 20 in Q15
    t = lShr(t, 8);
    lExtract(t, exp, frac);
    gcode0 = extractL(pow2(14, frac));
    expGcode0 = sub(14, exp);
}

void gainUpdate(Word16* pastQuaEn, Word32 lGbk12) {
    for (int i = 3; i > 0; i--) pastQuaEn[i] = pastQuaEn[i - 1];
    Word16 exp;
    Word16 frac;
    log2(lGbk12, exp, frac);
    Word32 acc = lComp(sub(exp, 13), frac);
    Word16 tmp = extractH(lShl(acc, 13));
    pastQuaEn[0] = mult(tmp, 24660);  // 20 log10(2) in Q12
}

void gainUpdateErasure(Word16* pastQuaEn) {
    Word32 t = 0;
    for (int i = 0; i < 4; i++) t = lAdd(t, pastQuaEn[i]);
    Word16 av = extractL(lShr(t, 2));
    av = sub(av, 4096);
    if (av < -14336) av = -14336;
    for (int i = 3; i > 0; i--) pastQuaEn[i] = pastQuaEn[i - 1];
    pastQuaEn[0] = av;
}

namespace {
Word16 paritySum(Word16 pitchIndex) {
    Word16 temp = shr(pitchIndex, 1);
    Word16 sum = 1;
    for (int i = 0; i <= 5; i++) {
        temp = shr(temp, 1);
        sum = add(sum, static_cast<Word16>(temp & 1));
    }
    return sum;
}
}  // namespace

Word16 parityPitch(Word16 pitchIndex) { return static_cast<Word16>(paritySum(pitchIndex) & 1); }

Word16 checkParityPitch(Word16 pitchIndex, Word16 parity) {
    return static_cast<Word16>(add(paritySum(pitchIndex), parity) & 1);
}

void log2(Word32 x, Word16& exponent, Word16& fraction) {
    if (x <= 0) {
        exponent = 0;
        fraction = 0;
        return;
    }
    Word16 exp = normL(x);
    x = lShl(x, exp);
    exponent = sub(30, exp);
    x = lShr(x, 9);
    Word16 i = extractH(x);
    x = lShr(x, 1);
    Word16 a = static_cast<Word16>(extractL(x) & 0x7fff);
    i = sub(i, 32);
    Word32 y = lDepositH(tabLog[i]);
    Word16 tmp = sub(tabLog[i], tabLog[i + 1]);
    y = lMsu(y, tmp, a);
    fraction = extractH(y);
}

Word32 pow2(Word16 exponent, Word16 fraction) {
    Word32 x = lMult(fraction, 32);
    Word16 i = extractH(x);
    x = lShr(x, 1);
    Word16 a = static_cast<Word16>(extractL(x) & 0x7fff);
    x = lDepositH(tabPow[i]);
    Word16 tmp = sub(tabPow[i], tabPow[i + 1]);
    x = lMsu(x, tmp, a);
    return lShrR(x, sub(30, exponent));
}

Word32 invSqrt(Word32 x) {
    if (x <= 0) return 0x3fffffff;
    Word16 exp = normL(x);
    x = lShl(x, exp);
    exp = sub(30, exp);
    if ((exp & 1) == 0) x = lShr(x, 1);
    exp = shr(exp, 1);
    exp = add(exp, 1);
    x = lShr(x, 9);
    Word16 i = extractH(x);
    x = lShr(x, 1);
    Word16 a = static_cast<Word16>(extractL(x) & 0x7fff);
    i = sub(i, 16);
    Word32 y = lDepositH(tabSqr[i]);
    Word16 tmp = sub(tabSqr[i], tabSqr[i + 1]);
    y = lMsu(y, tmp, a);
    return lShr(y, exp);
}

}  // namespace vorpel::g729
