// Gain quantisation of the encoder (ITU-T G.729 3.9): the adaptive and fixed
// codebook gains are vector quantised with the two-stage conjugate-structure
// codebook; a presearch narrows each stage to 4 and 8 candidates around the
// unquantised optimum, then the combination with the least error wins.
#include "codec/encoder_parts.h"
#include "codec/encoder_tables.h"
#include "codec/tables.h"

namespace vorpel::g729 {

void corrXy2(const Word16* xn, const Word16* y1, const Word16* y2, Word16* gCoeff, Word16* expGCoeff) {
    Word16 scaledY2[L_SUBFR];  // Q12 -> Q9 against overflow
    for (int i = 0; i < L_SUBFR; i++) scaledY2[i] = shr(y2[i], 3);

    Word32 acc = 1;  // never zero
    for (int i = 0; i < L_SUBFR; i++) acc = lMac(acc, scaledY2[i], scaledY2[i]);
    Word16 e = normL(acc);
    gCoeff[2] = roundL(lShl(acc, e));
    expGCoeff[2] = add(e, 19 - 16);  // <y2,y2>

    acc = 1;
    for (int i = 0; i < L_SUBFR; i++) acc = lMac(acc, xn[i], scaledY2[i]);
    e = normL(acc);
    gCoeff[3] = negate(roundL(lShl(acc, e)));
    expGCoeff[3] = sub(add(e, 10 - 16), 1);  // -2<xn,y2>

    acc = 1;
    for (int i = 0; i < L_SUBFR; i++) acc = lMac(acc, y1[i], scaledY2[i]);
    e = normL(acc);
    gCoeff[4] = roundL(lShl(acc, e));
    expGCoeff[4] = sub(add(e, 10 - 16), 1);  // 2<y1,y2>
}

namespace {

// Presearch: first candidates cand1 (of 4 in gbk1) and cand2 (of 8 in gbk2)
// from the unquantised gains (best[0] pitch Q9, best[1] code Q2), gcode0 Q4.
void gbkPresel(const Word16* best, Word16& cand1, Word16& cand2, Word16 gcode0) {
    // x = (best[1] - (coef00 best[0] + coef11) gcode0) inv_coef
    const Word32 cfbg = lMult(coef[0][0], best[0]);  // Q20
    Word32 acc = lAdd(cfbg, lShr(lCoef[1][1], 15));
    Word16 accH = extractH(acc);        // Q4
    Word32 preg = lMult(accH, gcode0);  // Q9
    acc = lSub(lShl(lDepositL(best[1]), 7), preg);
    accH = extractH(lShl(acc, 2));
    const Word32 tmpX = lMult(accH, INV_COEF);  // Q15

    // y = (coef10 (-coef01 + best[0] coef00) gcode0 - coef00 best[1]) inv_coef
    acc = lSub(cfbg, lShr(lCoef[0][1], 10));     // Q20
    accH = mult(extractH(acc), gcode0);
    const Word32 tmp = lMult(accH, coef[1][0]);  // Q10
    preg = lMult(coef[0][0], best[1]);           // Q13
    acc = lSub(tmp, lShr(preg, 3));              // Q10
    accH = extractH(lShl(acc, 2));
    const Word32 tmpY = lMult(accH, INV_COEF);   // Q16

    constexpr Word16 SFT_Y = (14 + 4 + 1) - 16;
    constexpr Word16 SFT_X = (15 + 4 + 1) - 15;
    cand1 = 0;
    cand2 = 0;
    if (gcode0 > 0) {
        while (cand1 < NCODE1 - NCAN1 && lSub(tmpY, lShr(lMult(thr1[cand1], gcode0), SFT_Y)) > 0) cand1++;
        while (cand2 < NCODE2 - NCAN2 && lSub(tmpX, lShr(lMult(thr2[cand2], gcode0), SFT_X)) > 0) cand2++;
    } else {
        while (cand1 < NCODE1 - NCAN1 && lSub(tmpY, lShr(lMult(thr1[cand1], gcode0), SFT_Y)) < 0) cand1++;
        while (cand2 < NCODE2 - NCAN2 && lSub(tmpX, lShr(lMult(thr2[cand2], gcode0), SFT_X)) < 0) cand2++;
    }
}

// Optimum of one gain from the correlations, as a (mantissa, exponent) ratio:
// (2 c[a] c[b] - c[d] c[e]) / -(4 c0 c2 - c4^2) scaled to Q(qOut).
Word16 bestGain(const Word16* g, const Word16* e, int a, int b, int d, Word16 invDenom, Word16 expInvDenom,
                Word16 qOut) {
    const Word32 tmp1 = lMult(g[a], g[b]);
    const Word16 exp1 = add(e[a], e[b]);
    const Word32 tmp2 = lMult(g[d], g[4]);
    const Word16 exp2 = add(add(e[d], e[4]), 1);
    Word32 l;
    Word16 ex;
    if (sub(exp1, exp2) > 0) {
        l = lSub(lShr(tmp1, add(sub(exp1, exp2), 1)), lShr(tmp2, 1));
        ex = sub(exp2, 1);
    } else {
        l = lSub(lShr(tmp1, 1), lShr(tmp2, add(sub(exp2, exp1), 1)));
        ex = sub(exp1, 1);
    }
    const Word16 sft = normL(l);
    const Word16 nume = extractH(lShl(l, sft));
    const Word16 expNume = sub(add(ex, sft), 16);
    const Word16 s = sub(add(expNume, expInvDenom), static_cast<Word16>(qOut + 16 - 1));
    return extractH(lShr(lMult(nume, invDenom), s));
}

}  // namespace

Word16 quaGain(Word16* pastQuaEn, const Word16* code, const Word16* gCoeff, const Word16* expCoeff,
               Word16& gainPit, Word16& gainCode, bool tame) {
    Word16 gcode0;
    Word16 expGcode0;
    gainPredict(pastQuaEn, code, L_SUBFR, gcode0, expGcode0);

    // -1 / (4 c0 c2 - c4^2)
    Word32 tmp1 = lMult(gCoeff[0], gCoeff[2]);
    Word16 exp1 = add(add(expCoeff[0], expCoeff[2]), 1 - 2);
    Word32 tmp2 = lMult(gCoeff[4], gCoeff[4]);
    Word16 exp2 = add(add(expCoeff[4], expCoeff[4]), 1);
    Word32 l;
    Word16 ex;
    if (sub(exp1, exp2) > 0) {
        l = lSub(lShr(tmp1, sub(exp1, exp2)), tmp2);
        ex = exp2;
    } else {
        l = lSub(tmp1, lShr(tmp2, sub(exp2, exp1)));
        ex = exp1;
    }
    Word16 sft = normL(l);
    const Word16 denom = extractH(lShl(l, sft));
    const Word16 expDenom = sub(add(ex, sft), 16);
    const Word16 invDenom = negate(divS(16384, denom));
    const Word16 expInvDenom = sub(14 + 15, expDenom);

    Word16 best[2];
    // pitch gain: (2 c2 c1 - c3 c4) * tmp, Q9
    best[0] = bestGain(gCoeff, expCoeff, 2, 1, 3, invDenom, expInvDenom, 9);
    if (tame && sub(best[0], GPCLIP2) > 0) best[0] = GPCLIP2;
    // code gain: (2 c0 c3 - c1 c4) * tmp, Q2
    best[1] = bestGain(gCoeff, expCoeff, 0, 3, 1, invDenom, expInvDenom, 2);

    // gcode0 in Q4 for the presearch
    Word16 gcode0Q4;
    if (sub(expGcode0, 4) >= 0) {
        gcode0Q4 = shr(gcode0, sub(expGcode0, 4));
    } else {
        gcode0Q4 = extractH(lShl(lDepositL(gcode0), sub(4 + 16, expGcode0)));
    }
    Word16 cand1;
    Word16 cand2;
    gbkPresel(best, cand1, cand2, gcode0Q4);

    // Align the five correlations to the smallest exponent of the error terms.
    Word16 expMin[5];
    expMin[0] = add(expCoeff[0], 13);
    expMin[1] = add(expCoeff[1], 14);
    expMin[2] = add(expCoeff[2], sub(shl(expGcode0, 1), 21));
    expMin[3] = add(expCoeff[3], sub(expGcode0, 3));
    expMin[4] = add(expCoeff[4], sub(expGcode0, 4));
    Word16 eMin = expMin[0];
    for (int i = 1; i < 5; i++) {
        if (sub(expMin[i], eMin) < 0) eMin = expMin[i];
    }
    Word16 cH[5];
    Word16 cL[5];
    for (int i = 0; i < 5; i++) {
        lExtract(lShr(lDepositH(gCoeff[i]), sub(expMin[i], eMin)), cH[i], cL[i]);
    }

    // error = gp^2 c0 + gp c1 + gc^2 c2 + gc c3 + gp gc c4 over the candidates
    Word32 distMin = MAX_32;
    Word16 index1 = cand1;
    Word16 index2 = cand2;
    for (int i = 0; i < NCAN1; i++) {
        for (int j = 0; j < NCAN2; j++) {
            const Word16 gp = add(gbk1[cand1 + i][0], gbk2[cand2 + j][0]);  // Q14
            if (tame && gp >= GP0999) continue;
            const Word32 sum = lAdd(lDepositL(gbk1[cand1 + i][1]), lDepositL(gbk2[cand2 + j][1]));
            const Word16 gsum = extractL(lShr(sum, 1));  // Q12
            const Word16 gc = mult(gcode0, gsum);
            const Word16 gp2 = mult(gp, gp);
            const Word16 gc2 = mult(gc, gc);
            const Word16 gpgc = mult(gc, gp);
            Word32 d = mpy32_16(cH[0], cL[0], gp2);
            d = lAdd(d, mpy32_16(cH[1], cL[1], gp));
            d = lAdd(d, mpy32_16(cH[2], cL[2], gc2));
            d = lAdd(d, mpy32_16(cH[3], cL[3], gc));
            d = lAdd(d, mpy32_16(cH[4], cL[4], gpgc));
            if (lSub(d, distMin) < 0) {
                distMin = d;
                index1 = static_cast<Word16>(cand1 + i);
                index2 = static_cast<Word16>(cand2 + j);
            }
        }
    }

    gainPit = add(gbk1[index1][0], gbk2[index2][0]);                                    // Q14
    const Word32 gbk12 = lAdd(lDepositL(gbk1[index1][1]), lDepositL(gbk2[index2][1]));  // Q13
    const Word16 tmp = extractL(lShr(gbk12, 1));                                        // Q12
    Word32 acc = lMult(tmp, gcode0);
    acc = lShl(acc, add(negate(expGcode0), -12 - 1 + 1 + 16));
    gainCode = extractH(acc);  // Q1

    gainUpdate(pastQuaEn, gbk12);
    return add(static_cast<Word16>(map1[index1] * NCODE2), map2[index2]);
}

}  // namespace vorpel::g729
