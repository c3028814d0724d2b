// LSP quantiser of the encoder (ITU-T G.729 3.2.4): switched MA prediction
// with two predictors, a 7-bit first stage and two 5-bit second stages, each
// chosen by weighted distance, the predictor chosen last.
#include <algorithm>

#include "codec/encoder_parts.h"
#include "codec/tables.h"

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
    Word16 column[M][NC0];
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

// First-stage row nearest (unweighted) to rbuf: the reference's saturating
// distance 2 sum sub(r, cb)^2.
Word16 preSelect(const Word16* rbuf) {
    const FirstStageColumns& cols = firstStageColumns();
    bool noSaturation = true;
    for (int j = 0; j < M; j++) {
        noSaturation = noSaturation && rbuf[j] - cols.min[j] <= MAX_16 && rbuf[j] - cols.max[j] > MIN_16;
    }
    Word16 cand = 0;
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

// Second-stage row for the coefficients [from, to) by weighted distance.
Word16 selectSecond(const Word16* rbuf, const Word16* cb1, const Word16* wegt, int from, int to) {
    Word16 buf[M];
    for (int j = from; j < to; j++) buf[j] = sub(rbuf[j], cb1[j]);
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

void quaLsp(LsfHistory& freqPrev, const Word16* lsp, Word16* lspQ, Word16* ana) {
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

    lspGetQuant(cand[mode], index1[mode], index2[mode], mode, freqPrev, lsfQ);
    lsfLsp2(lsfQ, lspQ, M);
}

}  // namespace vorpel::g729
