// Building blocks of the G.729 Annex A encoder (ITU-T G.729 clause 3 with the
// Annex A simplifications), shared by encoder.cpp and the encoder's tests.
// Arrays are raw pointers with the lengths given in each comment.
#pragma once

#include <array>

#include "codec/constants.h"
#include "codec/lpc_common.h"

namespace vorpel {
struct G729Encoder;
}

namespace vorpel::g729 {

// Intermediate values of one frame, for comparing the encoder stage by stage
// with a reference run (filled only when a record is passed in).
struct EncoderTrace {
    struct Subframe {
        Word16 t0;
        Word16 t0Frac;
        Word16 gainPitRaw;  // unquantised pitch gain after the taming clip, Q14
        Word16 taming;
        Word16 fcbIndex;
        Word16 fcbSign;
        Word16 gainIndex;
        Word16 gainPit;   // Q14
        Word16 gainCode;  // Q1
    };
    Word16 preprocessed[L_FRAME];
    Word16 autocorrH[MP1];  // before lag windowing
    Word16 autocorrL[MP1];
    Word16 lpcA[MP1];
    Word16 refl[M];
    Word16 lsp[M];
    Word16 lspQ[M];
    Word16 aqSub[2][MP1];
    Word16 pitchOpenLoop;
    Subframe sub[2];
    Word16 params[PRM_SIZE];
};

// Encodes one frame into its 11 parameters (no packing), optionally recording
// the intermediate values.
void encodeParameters(G729Encoder& enc, const Word16* samples, Word16* params, EncoderTrace* trace);

// ---- pre-processing and LP analysis (G.729 3.1, 3.2) ----

// High-pass filter at 140 Hz and scaling by 1/2, in place on signal[lg].
void preProcess(G729Encoder& enc, Word16* signal, int lg);
// Windowed autocorrelations r[0..m] of x[L_WINDOW] in double precision,
// normalised; the window is scaled down by 4 until r[0] does not saturate.
void autocorr(const Word16* x, int m, Word16* rH, Word16* rL);
// Multiplies r[1..m] by the lag window.
void lagWindow(int m, Word16* rH, Word16* rL);
// Levinson-Durbin: a[M+1] (Q12) and reflection coefficients rc[M] (Q15).
// When a reflection coefficient reaches 32750 in magnitude the previous
// frame's filter is kept (oldA / oldRc of the state).
void levinson(G729Encoder& enc, const Word16* rH, const Word16* rL, Word16* a, Word16* rc);
// A(z) -> LSP (Q15) by Chebyshev root search on the 51-point grid; the old
// LSPs are kept when fewer than ten roots are found.
void azLsp(const Word16* a, Word16* lsp, const Word16* oldLsp);

// ---- LSP quantiser (G.729 3.2.4) ----

// Quantises lsp[M] to lspQ[M] and writes the two LSP parameters to ana[2].
void quaLsp(LsfHistory& freqPrev, const Word16* lsp, Word16* lspQ, Word16* ana, CodecWarnings& warnings);

// ---- pitch (G.729 3.4, 3.7, Annex A) ----

// Open-loop delay of the weighted speech signal[-PIT_MAX .. L_FRAME-1].
Word16 pitchOlFast(const Word16* signal);
// Closed-loop delay in [t0Min, t0Max] with fraction in {-1, 0, 1}. exc is the
// excitation at the subframe (past samples before it); on return exc[0..39]
// holds the adaptive codebook vector of the chosen delay.
Word16 pitchFr3Fast(Word16* exc, const Word16* xn, const Word16* h, Word16 t0Min, Word16 t0Max, int iSubfr,
                    Word16& pitFrac);
// Adaptive codebook gain (Q14, at most 1.2); gCoeff[4] receives <y1,y1>,
// its exponent, <xn,y1> and its exponent.
Word16 gPitch(const Word16* xn, const Word16* y1, Word16* gCoeff);
// Search range [t0Min, t0Min + width] starting `below` under center, kept
// inside [PIT_MIN, PIT_MAX].
void pitchRange(Word16 center, Word16 below, Word16 width, Word16& t0Min, Word16& t0Max);
// Delay index; after the first subframe t0Min / t0Max become the range of the second.
Word16 encLag3(Word16 t0, Word16 t0Frac, Word16& t0Min, Word16& t0Max, int iSubfr);
// Correlation of the target with the impulse response, scaled to 13 bits.
void corHX(const Word16* h, const Word16* x, Word16* d);

// ---- fixed codebook (G.729 3.8, Annex A) ----

// Correlations rr(p1, p2) = sum_{n=0}^{39-max(p1,p2)} h[n] h[n+|p1-p2|] of the
// impulse response (scaled for precision, high halves of the saturating
// sums), DIM_RR values: the diagonal of each of the 5 tracks (8 each), then the
// 8 x 8 blocks of the track pairs 01 02 03 04 12 13 14 23 24, row = the first
// track's position.
void impulseCorrelations(const Word16* h, Word16* rr);
// Algebraic codebook search; h[L_SUBFR] gets the pitch sharpening added.
// Returns the position index, sign the sign index; code (Q13) and y (Q12).
Word16 acelpCodeA(const Word16* x, Word16* h, Word16 t0, Word16 pitchSharp, Word16* code, Word16* y,
                  Word16& sign);

// ---- gains (G.729 3.9, taming) ----

// Adds <y2,y2>, -2<xn,y2> and 2<y1,y2> at gCoeff[2..4] / expGCoeff[2..4].
void corrXy2(const Word16* xn, const Word16* y1, const Word16* y2, Word16* gCoeff, Word16* expGCoeff);
// Gain quantisation; returns the gain parameter and the quantised gains.
Word16 quaGain(Word16* pastQuaEn, const Word16* code, const Word16* gCoeff, const Word16* expCoeff,
               Word16& gainPit, Word16& gainCode, bool tame);
// Taming: whether the excitation error around the delay exceeds the limit,
// and the update of the error memory after a subframe.
bool testErr(const std::array<Word32, 4>& excErr, Word16 t0, Word16 t0Frac);
void updateExcErr(std::array<Word32, 4>& excErr, Word16 gainPit, Word16 t0);

}  // namespace vorpel::g729
