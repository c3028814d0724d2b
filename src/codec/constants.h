// Sizes and fixed constants of the G.729 Annex A codec (ITU-T G.729, ld8a).
#pragma once

#include "codec/basic_ops.h"

namespace vorpel::g729 {

inline constexpr int L_TOTAL = 240;   // speech buffer of the encoder
inline constexpr int L_WINDOW = 240;  // LP analysis window
inline constexpr int L_NEXT = 40;     // look-ahead
inline constexpr int L_FRAME = 80;
inline constexpr int L_SUBFR = 40;
inline constexpr int M = 10;  // LP order
inline constexpr int MP1 = M + 1;
inline constexpr int PIT_MIN = 20;
inline constexpr int PIT_MAX = 143;
inline constexpr int L_INTERPOL = 10 + 1;
inline constexpr int PRM_SIZE = 11;
inline constexpr int UP_SAMP = 3;
inline constexpr int L_INTER10 = 10;
inline constexpr int FIR_SIZE_SYN = UP_SAMP * L_INTER10 + 1;

inline constexpr Word16 GAMMA1 = 24576;    // 0.75 in Q15, perceptual weighting
inline constexpr Word16 SHARPMAX = 13017;  // 0.8 in Q14
inline constexpr Word16 SHARPMIN = 3277;   // 0.2 in Q14
inline constexpr Word16 GPCLIP = 15564;    // 0.95 in Q14
inline constexpr Word16 GPCLIP2 = 481;     // 0.94 in Q9
inline constexpr Word16 GP0999 = 16383;    // 0.9999 in Q14
inline constexpr Word32 L_THRESH_ERR = 983040000;
inline constexpr Word16 INV_L_SUBFR = 819;  // 1/40 in Q15

// LSP quantiser
inline constexpr int NC = M / 2;
inline constexpr int MA_NP = 4;
inline constexpr int MODE = 2;
inline constexpr int NC0_B = 7;
inline constexpr int NC0 = 1 << NC0_B;
inline constexpr int NC1_B = 5;
inline constexpr int NC1 = 1 << NC1_B;
inline constexpr Word16 L_LIMIT = 40;     // 0.005 in Q13
inline constexpr Word16 M_LIMIT = 25681;  // 3.135 in Q13
inline constexpr Word16 GAP1 = 10;        // 0.0012 in Q13
inline constexpr Word16 GAP2 = 5;         // 0.0006 in Q13
inline constexpr Word16 GAP3 = 321;       // 0.0392 in Q13
inline constexpr int GRID_POINTS = 50;
inline constexpr Word16 PI04 = 1029;         // pi * 0.04 in Q13
inline constexpr Word16 PI92 = 23677;        // pi * 0.92 in Q13
inline constexpr Word16 CONST10 = 10 << 11;  // 10.0 in Q11
inline constexpr Word16 CONST12 = 19661;     // 1.2 in Q14

// Gain quantiser
inline constexpr int NCODE1_B = 3;
inline constexpr int NCODE1 = 1 << NCODE1_B;
inline constexpr int NCODE2_B = 4;
inline constexpr int NCODE2 = 1 << NCODE2_B;
inline constexpr int NCAN1 = 4;
inline constexpr int NCAN2 = 8;
inline constexpr Word16 INV_COEF = -17103;

// Fixed codebook
inline constexpr int DIM_RR = 616;
inline constexpr int NB_POS = 8;
inline constexpr int STEP = 5;
inline constexpr int MSIZE = 64;

// Annex A postfilter
inline constexpr Word16 GAMMA2_PST = 18022;  // 0.55 in Q15
inline constexpr Word16 GAMMA1_PST = 22938;  // 0.70 in Q15
inline constexpr Word16 MU = 26214;          // 0.8 in Q15
inline constexpr Word16 AGC_FAC = 29491;     // 0.9 in Q15
inline constexpr Word16 AGC_FAC1 = 32767 - AGC_FAC;
inline constexpr int L_H = 22;  // truncated impulse response length

}  // namespace vorpel::g729
