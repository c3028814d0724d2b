// Tables used only by the G.729 Annex A encoder: the LP analysis window and
// lag window, the cosine grid of the LSP root search, the excitation-error
// zones of the taming procedure, the pre-processing filter and the tables of
// the gain quantiser's presearch.
#pragma once

#include "codec/constants.h"

namespace vorpel::g729 {

extern const Word16 hamwindow[L_WINDOW];    // asymmetric LP analysis window, Q15
extern const Word16 lagH[M];                // lag window (with white-noise correction), high half
extern const Word16 lagL[M];                // lag window, low half
extern const Word16 grid[GRID_POINTS + 1];  // cos(pi * i / 50), Q15, root search grid

// Zone of the excitation-error memory for each distance into the past
// excitation: tabZone[d - 1] is the 40-sample zone (0 = the last subframe)
// holding the sample d samples back, up to the farthest the taming test
// reaches (t0 + 1 + 9).
inline constexpr int TAB_ZONE_SIZE = PIT_MAX + L_INTER10;
extern const Word16 tabZone[TAB_ZONE_SIZE];

// 140 Hz high-pass pre-processing filter (numerator already halved), Q12.
extern const Word16 b140[3];
extern const Word16 a140[3];

// Gain quantiser presearch.
extern const Word16 coef[2][2];            // rotation of the presearch: Q10 and Q16 (row 1 col 0)
extern const Word32 lCoef[2][2];           // the same in 32 bits
extern const Word16 thr1[NCODE1 - NCAN1];  // thresholds on the first codebook, Q14 (published table)
extern const Word16 thr2[NCODE2 - NCAN2];  // thresholds on the second codebook, Q15
extern const Word16 map1[NCODE1];          // gbk1 row -> transmitted index
extern const Word16 map2[NCODE2];          // gbk2 row -> transmitted index

}  // namespace vorpel::g729
