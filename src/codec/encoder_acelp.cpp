// Algebraic (fixed) codebook search of G.729 Annex A (ITU-T G.729 A.3.8):
// four signed pulses on the tracks {0,5,..,35}, {1,6,..,36}, {2,7,..,37} and
// {3,8,..,38} u {4,9,..,39}, found by a depth-first tree search with a fixed
// number of tries (2 x 2 x (2 x 8 + 8 x 8) = 320 combinations).
//
// The arithmetic is the reference's 16/32-bit arithmetic; where its operators
// provably cannot saturate (the correlations of the normalised impulse
// response, the energies of the search), plain integer operations are used.
#include <algorithm>
#include <array>

#include "codec/encoder_parts.h"

namespace vorpel::g729 {

namespace {

constexpr int TRACKS = 5;
constexpr int DIAG_SIZE = TRACKS * NB_POS;
constexpr int PAIRS = 9;  // track pairs ta < tb except (3, 4), which hold the same pulse
constexpr int CROSS_SIZE = PAIRS * NB_POS * NB_POS;

// Block of each track pair in the cross-correlation storage.
constexpr int pairBlock(int ta, int tb) { return ta == 0 ? tb - 1 : (ta == 1 ? tb + 2 : tb + 4); }

// Correlations of the impulse response between pulse positions, in one block:
// the diagonal rr(p, p) per track, then for each track pair ta < tb an 8 x 8
// matrix rr(ta + 5 ka, tb + 5 kb) with the signs of the pulses folded in.
struct Correlations {
    Word16 v[DIAG_SIZE + CROSS_SIZE];

    const Word16* diag(int t) const { return v + t * NB_POS; }
    const Word16* cross(int ta, int tb) const { return v + DIAG_SIZE + pairBlock(ta, tb) * NB_POS * NB_POS; }
};

// For each cross entry in storage order, where the correlation of its two
// positions pa, pb is in the running sums of correlate():
// (39 - max(pa, pb)) * 40 + |pa - pb|.
constexpr std::array<int16_t, CROSS_SIZE> crossSources() {
    std::array<int16_t, CROSS_SIZE> src{};
    for (int ta = 0; ta < TRACKS; ta++) {
        for (int tb = ta + 1; tb < TRACKS; tb++) {
            if (ta == 3) continue;
            for (int ka = 0; ka < NB_POS; ka++) {
                for (int kb = 0; kb < NB_POS; kb++) {
                    const int pa = ta + STEP * ka;
                    const int pb = tb + STEP * kb;
                    const int last = pa > pb ? pa : pb;
                    const int lag = pa > pb ? pa - pb : pb - pa;
                    src[(pairBlock(ta, tb) * NB_POS + ka) * NB_POS + kb] =
                        static_cast<int16_t>((L_SUBFR - 1 - last) * L_SUBFR + lag);
                }
            }
        }
    }
    return src;
}
constexpr std::array<int16_t, CROSS_SIZE> CROSS_SOURCES = crossSources();

// Folds the sign products into a row of 8 correlations: mult(v, 32767) when
// the two pulses have the same sign (v - 1 for v > 0, -32767 for -32768, v
// otherwise), mult(v, -32768) when they differ (-v, 32767 for -32768).
void applySigns(Word16* row, Word16 maskA, const Word16* maskB) {
    for (int k = 0; k < NB_POS; k++) {
        const Word16 v = row[k];
        const Word16 isMin = static_cast<Word16>(v == MIN_16 ? 1 : 0);
        const Word16 same = static_cast<Word16>(v - (v > 0 ? 1 : 0) + isMin);
        const Word16 opposite = static_cast<Word16>(-(v + isMin));
        const Word16 flip = static_cast<Word16>(maskA ^ maskB[k]);
        row[k] = static_cast<Word16>((same & ~flip) | (opposite & flip));
    }
}

// Signs, 16-bit lanes: mask -1 for a negative pulse. Folded into the cross
// terms as the reference does: multiplied by 32767 (slightly less than 1) for
// equal signs and by -32768 for opposite signs.
void foldSigns(const bool* negative, Correlations& rr) {
    Word16 mask[TRACKS][NB_POS];
    for (int p = 0; p < L_SUBFR; p++) mask[p % STEP][p / STEP] = negative[p] ? Word16{-1} : Word16{0};
    Word16* cross = rr.v + DIAG_SIZE;
    for (int ta = 0; ta < 3; ta++) {
        for (int tb = ta + 1; tb < TRACKS; tb++) {
            Word16* block = cross + pairBlock(ta, tb) * NB_POS * NB_POS;
            for (int ka = 0; ka < NB_POS; ka++) {
                applySigns(block + ka * NB_POS, mask[ta][ka], mask[tb]);
            }
        }
    }
}

}  // namespace

void impulseCorrelations(const Word16* hIn, Word16* rr) {
    Word16 h[L_SUBFR];
    Word32 cor = 0;
    for (int i = 0; i < L_SUBFR; i++) cor = lMac(cor, hIn[i], hIn[i]);
    if (extractH(cor) > 32000) {
        for (int i = 0; i < L_SUBFR; i++) h[i] = shr(hIn[i], 1);
    } else {
        const Word16 k = shr(normL(cor), 1);
        for (int i = 0; i < L_SUBFR; i++) h[i] = shl(hIn[i], k);
    }

    // part[m * 40 + d]: high half of 2 sum_{n=0}^{m} h[n] h[n+d], the running
    // sums of all lags advanced together. Every partial sum is bounded by the
    // energy 2 sum h^2 (Cauchy-Schwarz); when that fits in 32 bits the sums
    // are exact, otherwise (an impulse response too loud for the halving
    // above) they saturate as the reference's do.
    int64_t energy = 0;
    for (int i = 0; i < L_SUBFR; i++) energy += Word32{h[i]} * h[i];
    Word16 part[L_SUBFR * L_SUBFR];
    Word32 sums[L_SUBFR] = {};
    if (2 * energy <= MAX_32) {
        // Over h padded with zeros every row has all 40 lags: fixed-length
        // loops without a data-dependent end (the entries past 39 - m are
        // never read).
        Word16 hp[2 * L_SUBFR] = {};
        std::copy_n(h, L_SUBFR, hp);
        for (int m = 0; m < L_SUBFR; m++) {
            const Word32 hm = h[m];
            for (int d = 0; d < L_SUBFR; d++) {
                sums[d] += 2 * hm * hp[m + d];
                part[m * L_SUBFR + d] = static_cast<Word16>(sums[d] >> 16);
            }
        }
    } else {
        for (int m = 0; m < L_SUBFR; m++) {
            for (int d = 0; d < L_SUBFR - m; d++) {
                sums[d] = lMac(sums[d], h[m], h[m + d]);
                part[m * L_SUBFR + d] = extractH(sums[d]);
            }
        }
    }
    for (int p = 0; p < L_SUBFR; p++) rr[(p % STEP) * NB_POS + p / STEP] = part[(L_SUBFR - 1 - p) * L_SUBFR];
    for (int i = 0; i < CROSS_SIZE; i++) rr[DIAG_SIZE + i] = part[CROSS_SOURCES[i]];
}

namespace {

struct Best {
    Word16 sq = -1;
    Word16 alp = 1;
    Word16 ps = 0;
    int ix = 0;
    int iy = 0;

    // Takes the candidate when `better`, by masks: which candidates win
    // follows the signal and would defeat branch prediction.
    void take(bool better, Word16 sq2, Word16 alp2, int x, int y, Word16 ps2) {
        const int m = -static_cast<int>(better);  // all ones when better
        sq = static_cast<Word16>((sq2 & m) | (sq & ~m));
        alp = static_cast<Word16>((alp2 & m) | (alp & ~m));
        ps = static_cast<Word16>((ps2 & m) | (ps & ~m));
        ix = (x & m) | (ix & ~m);
        iy = (y & m) | (iy & ~m);
    }
};

// The reference compares sq2 / alp2 > sq / alp as
// L_msu(L_mult(alp, sq2), sq, alp2) > 0; with |products| < 2^30 the sign of the
// plain difference is the same.
inline bool better(Word16 sq2, Word16 alp2, const Best& b) {
    return Word32{b.alp} * sq2 - Word32{b.sq} * alp2 > 0;
}

// round() of an energy that cannot reach the saturation of the addition.
inline Word16 roundE(Word32 v) { return static_cast<Word16>((v + 0x8000) >> 16); }

// mult(ps, ps) for 0 <= ps < 2^15.
inline Word16 square(Word16 ps) { return static_cast<Word16>((Word32{ps} * ps) >> 15); }

// The two positions of the largest dn[] in the track starting at first.
void twoLargest(const Word16* dn, int first, int* out) {
    int prev = -1;
    int pos = first;
    for (int n = 0; n < 2; n++) {
        Word16 max = -1;
        for (int j = first; j < L_SUBFR; j += STEP) {
            const bool take = (dn[j] > max) & (j != prev);  // selects rather than branches
            max = take ? dn[j] : max;
            pos = take ? j : pos;
        }
        prev = pos;
        out[n] = pos;
    }
}

// Products x * 2^15 / 2^n as L_mult(x, 2^(15-n)) would give them.
inline Word32 q(Word16 x, int n) { return Word32{x} << (16 - n); }

// One pair search: the first pulse among the two largest dn[] of track a,
// the second over all of track b, with the energy terms rrAB[k0][k1]
// (the cross term of the two, indexed by the position numbers on each track)
// and the diagonals. best.ix / best.iy receive the pair.
template <typename Cross>
void searchPair(const Word16* dn, const Correlations& rr, int ta, int tb, Cross cross, Best& best) {
    int cand[2];
    twoLargest(dn, ta, cand);
    for (int i0 : cand) {
        const int k0 = i0 / STEP;
        const Word16 ps1 = dn[i0];
        const Word32 alp1 = q(rr.diag(ta)[k0], 2);
        for (int k1 = 0; k1 < NB_POS; k1++) {
            const int i1 = tb + STEP * k1;
            const Word16 ps2 = static_cast<Word16>(ps1 + dn[i1]);
            const Word32 alp2 = alp1 + q(cross(k0, k1), 1) + q(rr.diag(tb)[k1], 2);
            const Word16 sq2 = square(ps2);
            const Word16 alp16 = roundE(alp2);
            best.take(better(sq2, alp16, best), sq2, alp16, i0, i1, ps2);
        }
    }
}

// With pulses i0, i1 fixed, all pairs of tracks c x d. c0[kc], c1[kc]: the
// cross terms of i0 / i1 with track c; d0[kd], d1[kd] with track d;
// cd[kc][kd] between c and d.
void searchRest(const Word16* dn, const Correlations& rr, const Word16* c0, int c0Step, const Word16* c1,
                int c1Step, const Word16* d0, int d0Step, const Word16* d1, int d1Step, const Word16* cd,
                Word16 ps0, Word16 alpIn, int tc, int td, Best& best) {
    const Word32 alp0 = q(alpIn, 2);
    Word16 rrv[NB_POS];
    for (int k = 0; k < NB_POS; k++) {
        rrv[k] = roundE(q(d0[k * d0Step], 2) + q(d1[k * d1Step], 2) + q(rr.diag(td)[k], 3));
    }
    Word16 dnD[NB_POS];
    for (int k = 0; k < NB_POS; k++) dnD[k] = dn[td + STEP * k];
    for (int kc = 0; kc < NB_POS; kc++) {
        const int i2 = tc + STEP * kc;
        const Word16 ps1 = static_cast<Word16>(ps0 + dn[i2]);
        const Word32 alp1 = alp0 + q(c0[kc * c0Step], 3) + q(c1[kc * c1Step], 3) + q(rr.diag(tc)[kc], 4);
        Word16 sq2[NB_POS];
        Word16 alp16[NB_POS];
        for (int k = 0; k < NB_POS; k++) {
            // Four magnitudes of at most 8192: the sum saturates like add().
            sq2[k] = square(static_cast<Word16>(std::min<Word32>(Word32{ps1} + dnD[k], MAX_16)));
            alp16[k] = roundE(alp1 + q(cd[kc * NB_POS + k], 3) + q(rrv[k], 1));
        }
        // A row without a candidate better than the best so far changes
        // nothing; only rows with one are scanned in order.
        bool any = false;
        for (int k = 0; k < NB_POS; k++) any |= better(sq2[k], alp16[k], best);
        if (!any) continue;
        for (int k = 0; k < NB_POS; k++) {
            best.take(better(sq2[k], alp16[k], best), sq2[k], alp16[k], i2, td + STEP * k, best.ps);
        }
    }
}

}  // namespace

Word16 acelpCodeA(const Word16* x, Word16* h, Word16 t0, Word16 pitchSharp, Word16* code, Word16* y,
                  Word16& sign) {
    // Include the pitch sharpening in the impulse response.
    const Word16 sharp = shl(pitchSharp, 1);  // Q14 -> Q15
    if (t0 < L_SUBFR) {
        for (int i = t0; i < L_SUBFR; i++) h[i] = add(h[i], mult(h[i - t0], sharp));
    }

    Word16 dn[L_SUBFR];
    corHX(h, x, dn);

    // Pulse signs follow dn; dn becomes |dn| (13-bit values).
    bool negative[L_SUBFR];
    for (int i = 0; i < L_SUBFR; i++) {
        negative[i] = dn[i] < 0;
        dn[i] = negative[i] ? negate(dn[i]) : dn[i];
    }
    Correlations rr;
    impulseCorrelations(h, rr.v);
    foldSigns(negative, rr);

    Word16 psk = -1;
    Word16 alpk = 1;
    // Pulse k of the codeword is the one on track k (track 3 or 4 for k = 3).
    int ip[4] = {0, 1, 2, 3};
    Best pair;  // ix, iy and ps persist between searches like the reference's
    auto keep = [&](const Best& rest, int i0, int i1) {
        if (Word32{alpk} * rest.sq - Word32{psk} * rest.alp > 0) {
            psk = rest.sq;
            alpk = rest.alp;
            for (int p : {i0, i1, rest.ix, rest.iy}) ip[p % STEP < 3 ? p % STEP : 3] = p;
        }
        pair.ix = rest.ix;
        pair.iy = rest.iy;
    };
    for (int t = 3; t < 5; t++) {
        // Search 1: track 2 (two best positions) with track t, then tracks 0 and 1.
        {
            pair.sq = -1;
            pair.alp = 1;
            searchPair(
                dn, rr, 2, t, [&](int k0, int k1) { return rr.cross(2, t)[k0 * NB_POS + k1]; }, pair);
            const int k0 = pair.ix / STEP;
            const int k1 = pair.iy / STEP;
            Best rest = pair;
            rest.sq = -1;
            rest.alp = 1;
            searchRest(dn, rr, rr.cross(0, 2) + k0, NB_POS, rr.cross(0, t) + k1, NB_POS, rr.cross(1, 2) + k0,
                       NB_POS, rr.cross(1, t) + k1, NB_POS, rr.cross(0, 1), pair.ps, pair.alp, 0, 1, rest);
            keep(rest, pair.ix, pair.iy);
        }
        // Search 2: track t (two best positions) with track 0, then tracks 1 and 2.
        {
            pair.sq = -1;
            pair.alp = 1;
            searchPair(
                dn, rr, t, 0, [&](int k0, int k1) { return rr.cross(0, t)[k1 * NB_POS + k0]; }, pair);
            const int k0 = pair.ix / STEP;
            const int k1 = pair.iy / STEP;
            Best rest = pair;
            rest.sq = -1;
            rest.alp = 1;
            searchRest(dn, rr, rr.cross(1, t) + k0, NB_POS, rr.cross(0, 1) + k1 * NB_POS, 1,
                       rr.cross(2, t) + k0, NB_POS, rr.cross(0, 2) + k1 * NB_POS, 1, rr.cross(1, 2), pair.ps,
                       pair.alp, 1, 2, rest);
            keep(rest, pair.ix, pair.iy);
        }
    }

    // Codeword with signs (Q13) and its filtered version.
    const bool neg[4] = {negative[ip[0]], negative[ip[1]], negative[ip[2]], negative[ip[3]]};
    for (int i = 0; i < L_SUBFR; i++) code[i] = 0;
    for (int p = 0; p < 4; p++) code[ip[p]] = neg[p] ? Word16{-8192} : Word16{8191};
    for (int i = 0; i < L_SUBFR; i++) y[i] = 0;
    for (int p = 0; p < 4; p++) {
        if (neg[p]) {
            for (int i = ip[p], j = 0; i < L_SUBFR; i++, j++) y[i] = sub(y[i], h[j]);
        } else {
            for (int i = ip[p], j = 0; i < L_SUBFR; i++, j++) y[i] = add(y[i], h[j]);
        }
    }
    sign = static_cast<Word16>((neg[0] ? 0 : 1) + (neg[1] ? 0 : 2) + (neg[2] ? 0 : 4) + (neg[3] ? 0 : 8));

    // 13-bit position index: 3 bits per track, the last track's bit chooses 3 or 4.
    const int p3 = 2 * (ip[3] / STEP) + (ip[3] % STEP - 3);
    const int index = ip[0] / STEP + ((ip[1] / STEP) << 3) + ((ip[2] / STEP) << 6) + (p3 << 9);

    // Include the pitch sharpening in the codeword.
    if (t0 < L_SUBFR) {
        for (int i = t0; i < L_SUBFR; i++) code[i] = add(code[i], mult(code[i - t0], sharp));
    }
    return static_cast<Word16>(index);
}

}  // namespace vorpel::g729
