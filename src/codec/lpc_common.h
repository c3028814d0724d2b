// LP, LSP and excitation routines shared by the G.729 Annex A encoder and
// decoder (ITU-T G.729 clauses 3.2 to 3.9, fixed-point form of Annex A).
//
// Arrays are passed as pointers with the lengths given in each comment; all
// values are in the Q formats of the Recommendation.
#pragma once

#include <array>

#include "codec/constants.h"
#include "codec/g729a.h"

namespace vorpel::g729 {

// The MA predictor memory of the LSF quantiser: the last four quantiser outputs.
using LsfHistory = std::array<std::array<Word16, M>, MA_NP>;

// ---- LSP / LP conversions ----

// lsp[M] (Q15) -> a[M+1] (Q12, a[0] = 4096).
void lspAz(const Word16* lsp, Word16* a);
// Interpolates the quantised LSPs for the two subframes (half of the old and
// new in the first, the new in the second) and converts both: az[2 * (M+1)].
void intQlpc(const Word16* lspOld, const Word16* lspNew, Word16* az);
// LSF (Q13, 0..pi) <-> LSP (Q15, cosine domain), table2 interpolation.
void lsfLsp2(const Word16* lsf, Word16* lsp, int m);
void lspLsf2(const Word16* lsp, Word16* lsf, int m);
// ap[i] = a[i] * gamma^i, i = 0..m.
void weightAz(const Word16* a, Word16 gamma, int m, Word16* ap);

// ---- LSF quantiser helpers (G.729 3.2.4) ----

// Minimum distance between neighbours in the low (1..NC) / high / both halves.
void lspExpand1(Word16* buf, Word16 gap);
void lspExpand2(Word16* buf, Word16 gap);
void lspExpand12(Word16* buf, Word16 gap);
// Orders buf[M], keeps it inside [L_LIMIT, M_LIMIT] with spacing GAP3; the two
// clamping cases count a warning.
void lspStability(Word16* buf, CodecWarnings& warnings);
// lsp = fgSum * lspEle + sum over k of fg[k] * freqPrev[k].
void lspPrevCompose(const Word16* lspEle, Word16* lsp, int mode, const LsfHistory& freqPrev);
// Inverse of lspPrevCompose: lspEle = (lsp - sum fg * freqPrev) / fgSum.
void lspPrevExtract(const Word16* lsp, Word16* lspEle, int mode, const LsfHistory& freqPrev);
// Shifts the history and puts lspEle in front.
void lspPrevUpdate(const Word16* lspEle, LsfHistory& freqPrev);
// Builds the quantised LSF (Q13) from the indices: code0 = first stage row,
// code1 / code2 = second stage rows of the low / high halves, mode = MA mode.
// Updates the history and applies the stability rules.
void lspGetQuant(Word16 code0, Word16 code1, Word16 code2, int mode, LsfHistory& freqPrev, Word16* lspq,
                 CodecWarnings& warnings);

// ---- filters ----

// Memory of a second-order filter whose output is kept in double precision
// (the pre- and post-processing filters), held in locals while a frame runs.
struct Biquad {
    Word16 y1Hi, y1Lo, y2Hi, y2Lo, x1, x2;
    // After a sample: its input x0 and output t become the newest.
    void push(Word16 x0, Word32 t) {
        x2 = x1;
        x1 = x0;
        y2Hi = y1Hi;
        y2Lo = y1Lo;
        lExtract(t, y1Hi, y1Lo);
    }
};

// Synthesis 1/A(z): y[lg] from x[lg], mem[M] the past outputs (updated when
// update is true). Returns whether any operation saturated.
bool synFilt(const Word16* a, const Word16* x, Word16* y, int lg, Word16* mem, bool update);
// Residual through A(z): y[lg] from x[-M .. lg-1].
void residu(const Word16* a, const Word16* x, Word16* y, int lg);
// y[n] = sum_{i<=n} x[i] h[n-i], n < l, result Q of x*h >> 12.
void convolve(const Word16* x, const Word16* h, Word16* y, int l);
// Adaptive codebook: exc[0..lg-1] from exc[-t0-...] with 1/3 fractional delay.
void predLt3(Word16* exc, Word16 t0, Word16 frac, int lg);

// ---- gains (G.729 3.9.1) ----

// Predicted code gain from the past quantised energies: gcode0 with exponent.
void gainPredict(const Word16* pastQuaEn, const Word16* code, int lcode, Word16& gcode0, Word16& expGcode0);
// Pushes the energy of the new quantised gain correction (Q13 gbk sum as 32-bit).
void gainUpdate(Word16* pastQuaEn, Word32 lGbk12);
// Erased frame: pushes the mean of the past energies minus 4 dB (floor -14 dB).
void gainUpdateErasure(Word16* pastQuaEn);

// ---- pitch parity (G.729 3.7.2) ----

// Parity bit of the 6 most significant bits of the first subframe's delay index.
Word16 parityPitch(Word16 pitchIndex);
// 0 when the received parity matches, 1 otherwise.
Word16 checkParityPitch(Word16 pitchIndex, Word16 parity);

// ---- mathematical functions (G.729 dspfunc) ----

// log2(x) = exponent + fraction/32768, x > 0.
void log2(Word32 x, Word16& exponent, Word16& fraction);
// 2^(exponent + fraction/32768), fraction in Q15.
Word32 pow2(Word16 exponent, Word16 fraction);
// 1/sqrt(x) in Q30, x > 0.
Word32 invSqrt(Word32 x);

}  // namespace vorpel::g729
