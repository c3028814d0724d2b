// G.729 Annex A decoder: parameter decoding, excitation, synthesis and the
// erased-frame concealment (ITU-T G.729 clause 4 with Annex A), followed by
// the postfilter and the post-processing.
#include "codec/decoder.h"

#include <algorithm>
#include <cstring>

#include "codec/g729a_state.h"
#include "codec/lpc_common.h"
#include "codec/postfilter.h"
#include "codec/tables.h"

namespace vorpel {

using namespace g729;

namespace {

constexpr Word16 LSP_RESET[M] = {30000, 26000, 21000, 15000, 8000, 0, -8000, -15000, -21000, -26000};

Word16 nextRandom(Word16& seed) {
    seed = extractL(lAdd(lShr(lMult(seed, 31821), 1), 13849));
    return seed;
}

// Quantised LSPs from the two LSP parameters; an erased frame repeats the
// last good LSFs and moves the predictor memory as if they had been coded.
void decodeLsp(G729Decoder& d, const Word16* prm, Word16* lspQ, bool erased) {
    Word16 lsf[M];
    if (!erased) {
        int mode = shr(prm[0], NC0_B) & 1;
        Word16 code0 = static_cast<Word16>(prm[0] & (NC0 - 1));
        Word16 code1 = static_cast<Word16>(shr(prm[1], NC1_B) & (NC1 - 1));
        Word16 code2 = static_cast<Word16>(prm[1] & (NC1 - 1));
        lspGetQuant(code0, code1, code2, mode, d.freqPrev, lsf, d.warnings);
        std::memcpy(d.prevLsf.data(), lsf, sizeof lsf);
        d.prevMa = static_cast<Word16>(mode);
    } else {
        std::memcpy(lsf, d.prevLsf.data(), sizeof lsf);
        Word16 buf[M];
        lspPrevExtract(d.prevLsf.data(), buf, d.prevMa, d.freqPrev);
        lspPrevUpdate(buf, d.freqPrev);
    }
    lsfLsp2(lsf, lspQ, M);
}

// Pitch delay of a subframe from its index (G.729 4.1.3): the first subframe
// codes 1/3 resolution below 85 and integers above, the second is relative.
void decodeLag3(Word16 index, bool firstSubframe, Word16& t0, Word16& t0Frac) {
    if (firstSubframe) {
        if (index < 197) {
            t0 = add(mult(add(index, 2), 10923), 19);
            Word16 i = add(add(t0, t0), t0);
            t0Frac = add(sub(index, i), 58);
        } else {
            t0 = sub(index, 112);
            t0Frac = 0;
        }
        return;
    }
    Word16 t0Min = sub(t0, 5);
    if (t0Min < PIT_MIN) t0Min = PIT_MIN;
    Word16 t0Max = add(t0Min, 9);
    if (t0Max > PIT_MAX) {
        t0Max = PIT_MAX;
        t0Min = sub(t0Max, 9);
    }
    Word16 i = sub(mult(add(index, 2), 10923), 1);
    t0 = add(i, t0Min);
    i = add(add(i, i), i);
    t0Frac = sub(sub(index, 2), i);
}

// Algebraic codebook vector: four unit pulses at the coded positions (Q13).
void decodeAcelp(Word16 sign, Word16 index, Word16* cod) {
    Word16 pos[4];
    Word16 i = static_cast<Word16>(index & 7);
    pos[0] = add(i, shl(i, 2));
    index = shr(index, 3);
    i = static_cast<Word16>(index & 7);
    pos[1] = add(add(i, shl(i, 2)), 1);
    index = shr(index, 3);
    i = static_cast<Word16>(index & 7);
    pos[2] = add(add(i, shl(i, 2)), 2);
    index = shr(index, 3);
    Word16 j = static_cast<Word16>(index & 1);
    index = shr(index, 1);
    i = static_cast<Word16>(index & 7);
    pos[3] = add(add(add(i, shl(i, 2)), 3), j);

    std::memset(cod, 0, sizeof(Word16) * L_SUBFR);
    for (int k = 0; k < 4; k++) {
        cod[pos[k]] = (sign & 1) != 0 ? Word16{8191} : Word16{-8192};
        sign = shr(sign, 1);
    }
}

// Pitch and code gains (G.729 4.1.5); an erased subframe attenuates both.
void decodeGain(G729Decoder& d, Word16 index, const Word16* code, bool erased) {
    if (erased) {
        d.gainPitch = mult(d.gainPitch, 29491);  // 0.9
        if (d.gainPitch > 29491) d.gainPitch = 29491;
        d.gainCode = mult(d.gainCode, 32111);  // 0.98
        gainUpdateErasure(d.pastQuaEn.data());
        return;
    }
    Word16 index1 = imap1[shr(index, NCODE2_B)];
    Word16 index2 = imap2[index & (NCODE2 - 1)];
    d.gainPitch = add(gbk1[index1][0], gbk2[index2][0]);

    Word16 gcode0;
    Word16 expGcode0;
    gainPredict(d.pastQuaEn.data(), code, L_SUBFR, gcode0, expGcode0);
    Word32 gbk12 = lAdd(gbk1[index1][1], gbk2[index2][1]);  // Q13
    Word16 tmp = extractL(lShr(gbk12, 1));                  // Q12
    Word32 acc = lMult(tmp, gcode0);
    acc = lShl(acc, add(negate(expGcode0), -12 - 1 + 1 + 16));
    d.gainCode = extractH(acc);  // Q1
    gainUpdate(d.pastQuaEn.data(), gbk12);
}

// One frame of the Annex A decoder: prm[0] is the erasure flag, prm[1..11]
// the parameters (prm[4] = parity check result). Writes the synthesis, A(z)
// of both subframes and the two integer delays.
void decodeSynthesis(G729Decoder& d, Word16* prm, Word16* synth, Word16* azDec, Word16* lags) {
    Word16* exc = d.oldExc.data() + G729Decoder::EXC_HISTORY;
    const bool erased = *prm++ != 0;

    Word16 lspNew[M];
    decodeLsp(d, prm, lspNew, erased);
    prm += 2;
    intQlpc(d.lspOld.data(), lspNew, azDec);
    std::memcpy(d.lspOld.data(), lspNew, sizeof lspNew);

    Word16 t0 = 0;
    Word16 t0Frac = 0;
    Word16 code[L_SUBFR];
    const Word16* az = azDec;
    for (int sub0 = 0; sub0 < L_FRAME; sub0 += L_SUBFR) {
        Word16 index = *prm++;
        bool badPitch = erased;
        if (sub0 == 0) badPitch = add(static_cast<Word16>(erased), *prm++) != 0;
        if (!badPitch) {
            decodeLag3(index, sub0 == 0, t0, t0Frac);
            d.oldT0 = t0;
        } else {
            t0 = d.oldT0;
            t0Frac = 0;
            d.oldT0 = add(d.oldT0, 1);
            if (d.oldT0 > PIT_MAX) d.oldT0 = PIT_MAX;
        }
        *lags++ = t0;

        predLt3(exc + sub0, t0, t0Frac, L_SUBFR);

        if (erased) {
            prm[0] = static_cast<Word16>(nextRandom(d.seed) & 0x1fff);
            prm[1] = static_cast<Word16>(nextRandom(d.seed) & 0x000f);
        }
        decodeAcelp(prm[1], prm[0], code);
        prm += 2;

        // Pitch sharpening of the fixed codebook vector.
        Word16 sharp = shl(d.sharp, 1);
        for (int i = t0; i < L_SUBFR; i++) code[i] = add(code[i], mult(code[i - t0], sharp));

        decodeGain(d, *prm++, code, erased);

        d.sharp = d.gainPitch;
        if (d.sharp > SHARPMAX) d.sharp = SHARPMAX;
        if (d.sharp < SHARPMIN) d.sharp = SHARPMIN;

        for (int i = 0; i < L_SUBFR; i++) {
            Word32 t = lMult(exc[i + sub0], d.gainPitch);
            t = lMac(t, code[i], d.gainCode);
            t = lShl(t, 1);
            exc[i + sub0] = roundL(t);
        }

        if (synFilt(az, exc + sub0, synth + sub0, L_SUBFR, d.memSyn.data(), false)) {
            // Overflow in the synthesis: scale the whole excitation down and redo.
            for (auto& v : d.oldExc) v = shr(v, 2);
            synFilt(az, exc + sub0, synth + sub0, L_SUBFR, d.memSyn.data(), true);
        } else {
            std::memcpy(d.memSyn.data(), synth + sub0 + L_SUBFR - M, sizeof(Word16) * M);
        }
        az += MP1;
    }
    std::memmove(d.oldExc.data(), d.oldExc.data() + L_FRAME, sizeof(Word16) * G729Decoder::EXC_HISTORY);
}

}  // namespace

void resetDecoder(G729Decoder& d) {
    d = G729Decoder{};
    d.oldExc.fill(0);
    std::memcpy(d.lspOld.data(), LSP_RESET, sizeof LSP_RESET);
    d.memSyn.fill(0);
    d.sharp = SHARPMIN;
    d.oldT0 = 60;
    d.gainCode = 0;
    d.gainPitch = 0;
    d.seed = 21845;
    for (auto& row : d.freqPrev) std::memcpy(row.data(), freqPrevReset, sizeof(Word16) * M);
    std::memcpy(d.prevLsf.data(), freqPrevReset, sizeof(Word16) * M);
    d.prevMa = 0;
    d.pastQuaEn.fill(-14336);
    d.synthBuf.fill(0);
    d.azDec.fill(0);
    d.pitchLags.fill(0);
    d.res2Buf.fill(0);
    d.scalRes2Buf.fill(0);
    d.memSynPst.fill(0);
    d.memPre = 0;
    d.pastGain = 4096;
    d.y2Hi = d.y2Lo = d.y1Hi = d.y1Lo = d.x0 = d.x1 = 0;
}

void decodeParameters(G729Decoder& d, bool erased, std::span<const int16_t, G729_PARAMETER_COUNT> parameters,
                      std::span<int16_t, G729_FRAME_SAMPLES> samples) {
    Word16 prm[PRM_SIZE + 1];
    prm[0] = erased ? 1 : 0;
    std::copy(parameters.begin(), parameters.end(), prm + 1);
    prm[4] = checkParityPitch(prm[3], prm[4]);

    Word16* synth = d.synthBuf.data() + M;
    decodeSynthesis(d, prm, synth, d.azDec.data(), d.pitchLags.data());
    postFilter(d, synth, d.azDec.data(), d.pitchLags.data());
    postProcess(d, synth, L_FRAME);
    std::memcpy(samples.data(), synth, sizeof(Word16) * L_FRAME);
}

void decodeFrame(G729Decoder& d, std::span<const uint8_t, G729_FRAME_BYTES> bytes, bool missing,
                 std::span<int16_t, G729_FRAME_SAMPLES> samples) {
    if (missing) {
        std::fill(samples.begin(), samples.end(), int16_t{-1});
        return;
    }
    int16_t parameters[G729_PARAMETER_COUNT];
    unpackParameters(bytes, parameters);
    bool erased = true;
    for (uint8_t b : bytes) erased = erased && b == 0;
    decodeParameters(d, erased, parameters, samples);
}

}  // namespace vorpel
