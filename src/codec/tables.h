// Tables of ITU-T G.729 Annex A used by the decoder and shared with the
// encoder: LSP codebooks and MA predictor, cosine tables of the LSF/LSP
// conversions, the 1/3-resolution interpolation filter, gain codebooks and the
// tables of log2, pow2 and 1/sqrt.
#pragma once

#include <array>

#include "codec/constants.h"

namespace vorpel::g729 {

extern const Word16 lspcb1[NC0][M];      // first stage LSF codebook, Q13
extern const Word16 lspcb2[NC1][M];      // second stage LSF codebook, Q13
extern const Word16 fg[MODE][MA_NP][M];  // MA predictor coefficients, Q15
extern const Word16 fgSum[MODE][M];      // 1 - sum of fg, Q15
extern const Word16 fgSumInv[MODE][M];   // 1 / fgSum, Q12
extern const Word16 freqPrevReset[M];    // initial LSF history, Q13

extern const Word16 table2[64];     // cos(pi * i / 64), Q15
extern const Word16 slopeCos[64];   // slope of table2, for LSF -> LSP
extern const Word16 slopeAcos[64];  // inverse slope of table2, for LSP -> LSF

extern const Word16 inter3l[FIR_SIZE_SYN];  // 1/3 resolution interpolation filter, Q15

extern const Word16 gbk1[NCODE1][2];  // gain codebook, first stage (Q14, Q13)
extern const Word16 gbk2[NCODE2][2];  // gain codebook, second stage (Q14, Q13)
extern const Word16 imap1[NCODE1];    // transmitted index -> gbk1 row
extern const Word16 imap2[NCODE2];    // transmitted index -> gbk2 row
extern const Word16 pred[4];          // MA prediction of the code gain, Q13

extern const Word16 tabLog[33];  // log2 table
extern const Word16 tabPow[33];  // pow2 table
extern const Word16 tabSqr[49];  // 1/sqrt table

extern const Word16 bitsno[11];  // bits of each of the 11 parameters

}  // namespace vorpel::g729
