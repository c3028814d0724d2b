// The G.729 Annex A encoder (ITU-T G.729 Annex A, clause A.3): per 10-ms
// frame, LP analysis and LSP quantisation once, then per 5-ms subframe the
// adaptive codebook, the algebraic codebook and the gains.
#include <algorithm>

#include "codec/encoder_parts.h"
#include "codec/encoder_state.h"
#include "codec/g729a.h"
#include "codec/tables.h"

namespace vorpel {

using namespace g729;

namespace {

constexpr int SPEECH_OFFSET = L_TOTAL - L_FRAME - L_NEXT;  // frame being coded
constexpr int NEW_SPEECH_OFFSET = L_TOTAL - L_FRAME;       // newest input
constexpr int WSP_OFFSET = PIT_MAX;
constexpr int EXC_OFFSET = PIT_MAX + L_INTERPOL;
constexpr Word16 LSP_RESET[M] = {30000, 26000, 21000, 15000, 8000, 0, -8000, -15000, -21000, -26000};
constexpr Word16 PAST_QUA_EN_RESET = -14336;  // -14 dB in Q10
constexpr Word32 EXC_ERR_RESET = 0x00004000;  // 1.0 in Q14
constexpr Word16 TILT_WSP = 22938;            // 0.7 in Q15

// Computes the 11 parameters of the frame whose newest 80 samples have just
// been pre-processed into the speech buffer.
void codeFrame(G729Encoder& enc, Word16* ana, EncoderTrace* trace) {
    Word16* speech = enc.oldSpeech.data() + SPEECH_OFFSET;
    Word16* wsp = enc.oldWsp.data() + WSP_OFFSET;
    Word16* exc = enc.oldExc.data() + EXC_OFFSET;

    Word16 aqT[2 * MP1];  // quantised A(z) of both subframes
    Word16 apT[2 * MP1];  // weighted A(z / gamma)
    {
        Word16 rH[MP1];
        Word16 rL[MP1];
        Word16 rc[M];
        Word16 lspNew[M];
        Word16 lspNewQ[M];
        autocorr(enc.oldSpeech.data(), M, rH, rL);
        if (trace != nullptr) {
            std::copy_n(rH, MP1, trace->autocorrH);
            std::copy_n(rL, MP1, trace->autocorrL);
        }
        lagWindow(M, rH, rL);
        levinson(enc, rH, rL, apT, rc);
        azLsp(apT, lspNew, enc.lspOld.data());
        if (trace != nullptr) {
            std::copy_n(apT, MP1, trace->lpcA);
            std::copy_n(rc, M, trace->refl);
            std::copy_n(lspNew, M, trace->lsp);
        }
        quaLsp(enc.freqPrev, lspNew, lspNewQ, ana, enc.warnings);
        ana += 2;

        intQlpc(enc.lspOldQ.data(), lspNewQ, aqT);
        if (trace != nullptr) {
            std::copy_n(lspNewQ, M, trace->lspQ);
            std::copy_n(aqT, MP1, trace->aqSub[0]);
            std::copy_n(aqT + MP1, MP1, trace->aqSub[1]);
        }
        weightAz(aqT, GAMMA1, M, apT);
        weightAz(aqT + MP1, GAMMA1, M, apT + MP1);

        std::copy_n(lspNew, M, enc.lspOld.begin());
        std::copy_n(lspNewQ, M, enc.lspOldQ.begin());
    }

    // LP residual of the frame, then the weighted speech through
    // 1 / (A(z / gamma) (1 - 0.7 z^-1)) for the open-loop pitch.
    residu(aqT, speech, exc, L_SUBFR);
    residu(aqT + MP1, speech + L_SUBFR, exc + L_SUBFR, L_SUBFR);
    for (int s = 0; s < 2; s++) {
        const Word16* ap = apT + s * MP1;
        Word16 ap1[MP1];
        ap1[0] = 4096;
        for (int i = 1; i <= M; i++) ap1[i] = sub(ap[i], mult(ap[i - 1], TILT_WSP));
        synFilt(ap1, exc + s * L_SUBFR, wsp + s * L_SUBFR, L_SUBFR, enc.memW.data(), true);
    }

    const Word16 tOp = pitchOlFast(wsp);
    if (trace != nullptr) trace->pitchOpenLoop = tOp;
    Word16 t0Min;
    Word16 t0Max;
    pitchRange(tOp, 3, 6, t0Min, t0Max);

    for (int iSubfr = 0; iSubfr < L_FRAME; iSubfr += L_SUBFR) {
        const Word16* ap = apT + (iSubfr / L_SUBFR) * MP1;

        // Impulse response of the weighted synthesis filter 1 / A(z / gamma).
        Word16 impulse[L_SUBFR] = {4096};
        Word16 h1[L_SUBFR];
        Word16 zeroMem[M] = {};
        synFilt(ap, impulse, h1, L_SUBFR, zeroMem, false);

        // Target of the pitch search.
        Word16 xn[L_SUBFR];
        synFilt(ap, exc + iSubfr, xn, L_SUBFR, enc.memW0.data(), false);

        Word16 t0Frac;
        const Word16 t0 = pitchFr3Fast(exc + iSubfr, xn, h1, t0Min, t0Max, iSubfr, t0Frac);
        const Word16 lagIndex = encLag3(t0, t0Frac, t0Min, t0Max, iSubfr);
        *ana++ = lagIndex;
        if (iSubfr == 0) *ana++ = parityPitch(lagIndex);

        // The adaptive codebook vector (left in exc by the search) through the
        // weighted synthesis filter, and its gain.
        Word16 y1[L_SUBFR];
        synFilt(ap, exc + iSubfr, y1, L_SUBFR, zeroMem, false);
        Word16 gCoeff[4];
        Word16 gainPit = gPitch(xn, y1, gCoeff);
        const bool tame = testErr(enc.excErr, t0, t0Frac);
        if (tame && gainPit > GPCLIP) gainPit = GPCLIP;

        // Target of the algebraic codebook: xn - gain * y1.
        Word16 xn2[L_SUBFR];
        for (int i = 0; i < L_SUBFR; i++) {
            xn2[i] = sub(xn[i], extractH(lShl(lMult(y1[i], gainPit), 1)));
        }

        Word16 code[L_SUBFR];
        Word16 y2[L_SUBFR];
        Word16 sign;
        *ana++ = acelpCodeA(xn2, h1, t0, enc.sharp, code, y2, sign);
        *ana++ = sign;

        // Gains.
        Word16 gCoeffCs[5];
        Word16 expGCoeffCs[5];
        gCoeffCs[0] = gCoeff[0];  // <y1,y1>
        expGCoeffCs[0] = negate(gCoeff[1]);
        gCoeffCs[1] = negate(gCoeff[2]);  // -2<xn,y1>
        expGCoeffCs[1] = negate(add(gCoeff[3], 1));
        corrXy2(xn, y1, y2, gCoeffCs, expGCoeffCs);
        Word16 gainCode;
        const Word16 gainPitRaw = gainPit;
        *ana++ = quaGain(enc.pastQuaEn.data(), code, gCoeffCs, expGCoeffCs, gainPit, gainCode, tame);
        if (trace != nullptr) {
            EncoderTrace::Subframe& st = trace->sub[iSubfr / L_SUBFR];
            st.t0 = t0;
            st.t0Frac = t0Frac;
            st.gainPitRaw = gainPitRaw;
            st.taming = tame ? 1 : 0;
            st.fcbIndex = ana[-3];
            st.fcbSign = ana[-2];
            st.gainIndex = ana[-1];
            st.gainPit = gainPit;
            st.gainCode = gainCode;
        }

        enc.sharp = std::clamp(gainPit, SHARPMIN, SHARPMAX);

        // Excitation: gain_pit * v + gain_code * c (Q0 = Q0 Q14 + Q13 Q1).
        for (int i = 0; i < L_SUBFR; i++) {
            Word32 acc = lMult(exc[i + iSubfr], gainPit);
            acc = lMac(acc, code[i], gainCode);
            exc[i + iSubfr] = roundL(lShl(acc, 1));
        }
        updateExcErr(enc.excErr, gainPit, t0);

        // Memory of the weighting filter for the next target.
        for (int i = L_SUBFR - M, j = 0; i < L_SUBFR; i++, j++) {
            const Word16 t = extractH(lShl(lMult(y1[i], gainPit), 1));
            const Word16 k = extractH(lShl(lMult(y2[i], gainCode), 2));
            enc.memW0[j] = sub(xn[i], add(t, k));
        }
    }

    // Shift the signal buffers by one frame.
    std::copy(enc.oldSpeech.begin() + L_FRAME, enc.oldSpeech.end(), enc.oldSpeech.begin());
    std::copy(enc.oldWsp.begin() + L_FRAME, enc.oldWsp.end(), enc.oldWsp.begin());
    std::copy(enc.oldExc.begin() + L_FRAME, enc.oldExc.end(), enc.oldExc.begin());
}

}  // namespace

namespace g729 {

void encodeParameters(G729Encoder& enc, const Word16* samples, Word16* params, EncoderTrace* trace) {
    Word16* newSpeech = enc.oldSpeech.data() + NEW_SPEECH_OFFSET;
    std::copy_n(samples, L_FRAME, newSpeech);
    preProcess(enc, newSpeech, L_FRAME);
    if (trace != nullptr) std::copy_n(newSpeech, L_FRAME, trace->preprocessed);
    codeFrame(enc, params, trace);
    if (trace != nullptr) std::copy_n(params, PRM_SIZE, trace->params);
}

}  // namespace g729

void resetEncoder(G729Encoder& encoder) {
    encoder = G729Encoder{};
    std::copy_n(LSP_RESET, M, encoder.lspOld.begin());
    std::copy_n(LSP_RESET, M, encoder.lspOldQ.begin());
    encoder.sharp = SHARPMIN;
    encoder.oldA[0] = 4096;
    for (auto& row : encoder.freqPrev) std::copy_n(freqPrevReset, M, row.begin());
    encoder.pastQuaEn.fill(PAST_QUA_EN_RESET);
    encoder.excErr.fill(EXC_ERR_RESET);
}

void encodeFrame(G729Encoder& encoder, std::span<const int16_t, G729_FRAME_SAMPLES> samples,
                 std::span<uint8_t, G729_FRAME_BYTES> bytes) {
    encodeParameters(encoder, samples.data(), encoder.parameters.data(), nullptr);
    packParameters(encoder.parameters, bytes);
}

}  // namespace vorpel
