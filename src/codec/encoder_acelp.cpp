// Algebraic (fixed) codebook search of G.729 Annex A (ITU-T G.729 A.3.8):
// four signed pulses on the tracks {0,5,..,35}, {1,6,..,36}, {2,7,..,37} and
// {3,8,..,38} u {4,9,..,39}, found by a depth-first tree search with a fixed
// number of tries (2 x 2 x (2 x 8 + 8 x 8) = 320 combinations).
#include "codec/encoder_parts.h"

namespace vorpel::g729 {

namespace {

constexpr Word16 Q_1_2 = 16384;
constexpr Word16 Q_1_4 = 8192;
constexpr Word16 Q_1_8 = 4096;
constexpr Word16 Q_1_16 = 2048;
constexpr int TRACKS = 5;

// Correlations of the impulse response between pulse positions:
// diag[t][k] = rr(p, p) for p = t + 5k; cross[ta][tb][ka][kb] = rr(pa, pb)
// for ta < tb, with the signs of the pulses applied (see applySigns).
struct Correlations {
  Word16 diag[TRACKS][NB_POS];
  Word16 cross[TRACKS][TRACKS][NB_POS][NB_POS];

  Word16 d(int p) const { return diag[p % STEP][p / STEP]; }
  Word16 c(int pa, int pb) const {
    const int ta = pa % STEP;
    const int tb = pb % STEP;
    return ta < tb ? cross[ta][tb][pa / STEP][pb / STEP] : cross[tb][ta][pb / STEP][pa / STEP];
  }
};

// rr(pa, pb) = sum_{n=0}^{39-max(pa,pb)} h[n] h[n+|pa-pb|], high halves, with
// h scaled for the most precision first.
void correlate(const Word16* hIn, Correlations& rr) {
  Word16 h[L_SUBFR];
  Word32 cor = 0;
  for (int i = 0; i < L_SUBFR; i++) cor = lMac(cor, hIn[i], hIn[i]);
  if (extractH(cor) > 32000) {
    for (int i = 0; i < L_SUBFR; i++) h[i] = shr(hIn[i], 1);
  } else {
    const Word16 k = shr(normL(cor), 1);
    for (int i = 0; i < L_SUBFR; i++) h[i] = shl(hIn[i], k);
  }

  for (int t = 0; t < TRACKS; t++) {
    for (int k = 0; k < NB_POS; k++) {
      const int p = t + STEP * k;
      Word32 s = 0;
      for (int n = 0; n < L_SUBFR - p; n++) s = lMac(s, h[n], h[n]);
      rr.diag[t][k] = extractH(s);
    }
  }
  for (int ta = 0; ta < TRACKS; ta++) {
    for (int tb = ta + 1; tb < TRACKS; tb++) {
      if (ta == 3) continue;  // tracks 3 and 4 hold the same pulse
      for (int ka = 0; ka < NB_POS; ka++) {
        for (int kb = 0; kb < NB_POS; kb++) {
          const int pa = ta + STEP * ka;
          const int pb = tb + STEP * kb;
          const int last = pa > pb ? pa : pb;
          const int lag = pa > pb ? pa - pb : pb - pa;
          Word32 s = 0;
          for (int n = 0; n < L_SUBFR - last; n++) s = lMac(s, h[n], h[n + lag]);
          rr.cross[ta][tb][ka][kb] = extractH(s);
        }
      }
    }
  }
}

// Folds the pulse signs into the cross correlations the way the reference
// does: multiplied by 32767 (not exactly 1) for equal signs, by -32768 for
// opposite signs.
void applySigns(const Word16* signDn, Correlations& rr) {
  for (int ta = 0; ta < TRACKS; ta++) {
    for (int tb = ta + 1; tb < TRACKS; tb++) {
      if (ta == 3) continue;
      for (int ka = 0; ka < NB_POS; ka++) {
        const int pa = ta + STEP * ka;
        for (int kb = 0; kb < NB_POS; kb++) {
          const int pb = tb + STEP * kb;
          const Word16 s = (signDn[pa] >= 0) == (signDn[pb] >= 0) ? MAX_16 : MIN_16;
          rr.cross[ta][tb][ka][kb] = mult(rr.cross[ta][tb][ka][kb], s);
        }
      }
    }
  }
}

struct Best {
  Word16 sq = -1;
  Word16 alp = 1;
  Word16 ps = 0;
  int ix = 0;
  int iy = 0;
};

// Is sq2 / alp2 > best.sq / best.alp?
inline bool better(Word16 sq2, Word16 alp2, const Best& b) {
  return lMsu(lMult(b.alp, sq2), b.sq, alp2) > 0;
}

// The two positions of the largest dn[] in the track starting at first.
void twoLargest(const Word16* dn, int first, int* out) {
  int prev = -1;
  int pos = first;
  for (int n = 0; n < 2; n++) {
    Word16 max = -1;
    for (int j = first; j < L_SUBFR; j += STEP) {
      if (dn[j] > max && j != prev) {
        max = dn[j];
        pos = j;
      }
    }
    prev = pos;
    out[n] = pos;
  }
}

// Phase A: the first pulse among the two largest of trackA, the second over
// all of trackB. best.ix / best.iy receive the pair.
void searchPair(const Word16* dn, const Correlations& rr, int trackA, int trackB, Best& best) {
  int cand[2];
  twoLargest(dn, trackA, cand);
  for (int i0 : cand) {
    const Word16 ps1 = dn[i0];
    const Word32 alp1 = lMult(rr.d(i0), Q_1_4);
    for (int i1 = trackB; i1 < L_SUBFR; i1 += STEP) {
      const Word16 ps2 = add(ps1, dn[i1]);
      Word32 alp2 = lMac(alp1, rr.c(i0, i1), Q_1_2);
      alp2 = lMac(alp2, rr.d(i1), Q_1_4);
      const Word16 sq2 = mult(ps2, ps2);
      const Word16 alp16 = roundL(alp2);
      if (better(sq2, alp16, best)) {
        best.sq = sq2;
        best.ps = ps2;
        best.alp = alp16;
        best.ix = i0;
        best.iy = i1;
      }
    }
  }
}

// Phase B: with pulses i0, i1 fixed, all pairs of trackC x trackD.
void searchRest(const Word16* dn, const Correlations& rr, int i0, int i1, Word16 ps0, Word16 alpIn,
                int trackC, int trackD, Best& best) {
  const Word32 alp0 = lMult(alpIn, Q_1_4);
  Word16 rrv[NB_POS];
  for (int k = 0; k < NB_POS; k++) {
    const int i3 = trackD + STEP * k;
    Word32 s = lMult(rr.c(i3, i0), Q_1_4);
    s = lMac(s, rr.c(i3, i1), Q_1_4);
    s = lMac(s, rr.d(i3), Q_1_8);
    rrv[k] = roundL(s);
  }
  for (int i2 = trackC; i2 < L_SUBFR; i2 += STEP) {
    const Word16 ps1 = add(ps0, dn[i2]);
    Word32 alp1 = lMac(alp0, rr.c(i2, i0), Q_1_8);
    alp1 = lMac(alp1, rr.c(i2, i1), Q_1_8);
    alp1 = lMac(alp1, rr.d(i2), Q_1_16);
    for (int k = 0; k < NB_POS; k++) {
      const int i3 = trackD + STEP * k;
      const Word16 ps2 = add(ps1, dn[i3]);
      Word32 alp2 = lMac(alp1, rr.c(i2, i3), Q_1_8);
      alp2 = lMac(alp2, rrv[k], Q_1_2);
      const Word16 sq2 = mult(ps2, ps2);
      const Word16 alp16 = roundL(alp2);
      if (better(sq2, alp16, best)) {
        best.sq = sq2;
        best.alp = alp16;
        best.ix = i2;
        best.iy = i3;
      }
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

  Correlations rr;
  correlate(h, rr);
  Word16 dn[L_SUBFR];
  corHX(h, x, dn);

  // Pulse signs follow dn; dn becomes |dn|.
  Word16 signDn[L_SUBFR];
  for (int i = 0; i < L_SUBFR; i++) {
    if (dn[i] >= 0) {
      signDn[i] = MAX_16;
    } else {
      signDn[i] = MIN_16;
      dn[i] = negate(dn[i]);
    }
  }
  applySigns(signDn, rr);

  Word16 psk = -1;
  Word16 alpk = 1;
  // Pulse k of the codeword is the one on track k (track 3 or 4 for k = 3).
  int ip[4] = {0, 1, 2, 3};
  Best pair;  // ix, iy and ps persist between searches like the reference's
  for (int track = 3; track < 5; track++) {
    // Two searches per choice of the last track: first the pair of tracks
    // (a, b) with a limited to its two best positions, then tracks (c, d).
    const int order[2][4] = {{2, track, 0, 1}, {track, 0, 1, 2}};
    for (const auto& o : order) {
      pair.sq = -1;
      pair.alp = 1;
      searchPair(dn, rr, o[0], o[1], pair);
      const int i0 = pair.ix;
      const int i1 = pair.iy;
      Best rest = pair;
      rest.sq = -1;
      rest.alp = 1;
      searchRest(dn, rr, i0, i1, pair.ps, pair.alp, o[2], o[3], rest);
      if (lMsu(lMult(alpk, rest.sq), psk, rest.alp) > 0) {
        psk = rest.sq;
        alpk = rest.alp;
        for (int p : {i0, i1, rest.ix, rest.iy}) ip[p % STEP < 3 ? p % STEP : 3] = p;
      }
      pair.ix = rest.ix;
      pair.iy = rest.iy;
    }
  }
  const int ip0 = ip[0];
  const int ip1 = ip[1];
  const int ip2 = ip[2];
  const int ip3 = ip[3];

  const Word16 s0 = signDn[ip0];
  const Word16 s1 = signDn[ip1];
  const Word16 s2 = signDn[ip2];
  const Word16 s3 = signDn[ip3];

  for (int i = 0; i < L_SUBFR; i++) code[i] = 0;
  code[ip0] = shr(s0, 2);  // Q15 -> Q13
  code[ip1] = shr(s1, 2);
  code[ip2] = shr(s2, 2);
  code[ip3] = shr(s3, 2);

  // Filtered codeword.
  for (int i = 0; i < L_SUBFR; i++) y[i] = 0;
  const int pos[4] = {ip0, ip1, ip2, ip3};
  const Word16 sg[4] = {s0, s1, s2, s3};
  for (int p = 0; p < 4; p++) {
    if (sg[p] > 0) {
      for (int i = pos[p], j = 0; i < L_SUBFR; i++, j++) y[i] = add(y[i], h[j]);
    } else {
      for (int i = pos[p], j = 0; i < L_SUBFR; i++, j++) y[i] = sub(y[i], h[j]);
    }
  }

  sign = static_cast<Word16>((s0 > 0 ? 1 : 0) + (s1 > 0 ? 2 : 0) + (s2 > 0 ? 4 : 0) + (s3 > 0 ? 8 : 0));

  // 13-bit position index: 3 bits per track, the last track's bit chooses 3 or 4.
  const int p3 = 2 * (ip3 / STEP) + (ip3 % STEP - 3);
  const int index = ip0 / STEP + ((ip1 / STEP) << 3) + ((ip2 / STEP) << 6) + (p3 << 9);

  // Include the pitch sharpening in the codeword.
  if (t0 < L_SUBFR) {
    for (int i = t0; i < L_SUBFR; i++) code[i] = add(code[i], mult(code[i - t0], sharp));
  }
  return static_cast<Word16>(index);
}

}  // namespace vorpel::g729
