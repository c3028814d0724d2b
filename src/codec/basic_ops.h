// The saturating 16/32-bit fixed-point operators of the ITU-T G.729 reference
// arithmetic (ITU-T G.191 basic operators and the double-precision helpers of
// G.729), written as inline functions without a global overflow flag.
//
// Where the codec must know whether a saturation happened (the synthesis
// filter, some energy computations), the *O variants report it through a
// bool that they only ever set, so it accumulates like the reference's flag.
//
// Division by an impossible operand (zero or negative denominator, negative
// numerator, numerator above the denominator) never ends the process here:
// divS returns MAX_16 instead.
#pragma once

#include <cstdint>

namespace vorpel::g729 {

using Word16 = int16_t;
using Word32 = int32_t;

inline constexpr Word16 MAX_16 = 0x7fff;
inline constexpr Word16 MIN_16 = -0x8000;
inline constexpr Word32 MAX_32 = 0x7fffffff;
inline constexpr Word32 MIN_32 = -0x7fffffff - 1;

// ---- 16-bit ----

inline Word16 saturate(Word32 v) {
    return v > MAX_16 ? MAX_16 : (v < MIN_16 ? MIN_16 : static_cast<Word16>(v));
}
inline Word16 saturateO(Word32 v, bool& overflow) {
    if (v > MAX_16) {
        overflow = true;
        return MAX_16;
    }
    if (v < MIN_16) {
        overflow = true;
        return MIN_16;
    }
    return static_cast<Word16>(v);
}

inline Word16 add(Word16 a, Word16 b) { return saturate(Word32{a} + b); }
inline Word16 sub(Word16 a, Word16 b) { return saturate(Word32{a} - b); }
inline Word16 addO(Word16 a, Word16 b, bool& o) { return saturateO(Word32{a} + b, o); }
inline Word16 subO(Word16 a, Word16 b, bool& o) { return saturateO(Word32{a} - b, o); }
inline Word16 absS(Word16 a) { return a == MIN_16 ? MAX_16 : static_cast<Word16>(a < 0 ? -a : a); }
inline Word16 negate(Word16 a) { return a == MIN_16 ? MAX_16 : static_cast<Word16>(-a); }
inline Word16 extractH(Word32 l) { return static_cast<Word16>(l >> 16); }
inline Word16 extractL(Word32 l) { return static_cast<Word16>(l); }

inline Word16 shr(Word16 a, Word16 n);
inline Word16 shl(Word16 a, Word16 n) {
    if (n < 0) return shr(a, static_cast<Word16>(-n));
    if (n > 15) return a == 0 ? Word16{0} : (a > 0 ? MAX_16 : MIN_16);
    return saturate(Word32{a} * (Word32{1} << n));
}
inline Word16 shr(Word16 a, Word16 n) {
    if (n < 0) return shl(a, static_cast<Word16>(-n));
    if (n >= 15) return a < 0 ? Word16{-1} : Word16{0};
    return static_cast<Word16>(a >> n);
}
// Rounding shift right.
inline Word16 shrR(Word16 a, Word16 n) {
    if (n > 15) return 0;
    Word16 out = shr(a, n);
    if (n > 0 && (a & (1 << (n - 1))) != 0) out = static_cast<Word16>(out + 1);
    return out;
}

inline Word16 mult(Word16 a, Word16 b) { return saturate((Word32{a} * b) >> 15); }
inline Word16 multR(Word16 a, Word16 b) { return saturate((Word32{a} * b + 0x4000) >> 15); }

inline Word16 normS(Word16 a) {
    if (a == 0) return 0;
    if (a == -1) return 15;
    Word32 v = a < 0 ? ~Word32{a} : Word32{a};
    return static_cast<Word16>(__builtin_clz(static_cast<uint32_t>(v)) - 17);
}
inline Word16 normL(Word32 l) {
    if (l == 0) return 0;
    if (l == -1) return 31;
    Word32 v = l < 0 ? ~l : l;
    return static_cast<Word16>(__builtin_clz(static_cast<uint32_t>(v)) - 1);
}

// ---- 32-bit ----

inline Word32 saturate32(int64_t v) {
    return v > MAX_32 ? MAX_32 : (v < MIN_32 ? MIN_32 : static_cast<Word32>(v));
}
inline Word32 saturate32O(int64_t v, bool& o) {
    if (v > MAX_32) {
        o = true;
        return MAX_32;
    }
    if (v < MIN_32) {
        o = true;
        return MIN_32;
    }
    return static_cast<Word32>(v);
}

inline Word32 lMult(Word16 a, Word16 b) {
    Word32 p = Word32{a} * b;
    return p == 0x40000000 ? MAX_32 : p * 2;
}
inline Word32 lMultO(Word16 a, Word16 b, bool& o) {
    Word32 p = Word32{a} * b;
    if (p == 0x40000000) {
        o = true;
        return MAX_32;
    }
    return p * 2;
}
// A 32-bit sum or difference overflows only towards the sign of a.
inline Word32 saturatedLike(Word32 a) { return (a >> 31) ^ MAX_32; }
inline Word32 lAdd(Word32 a, Word32 b) {
    Word32 r;
    return __builtin_add_overflow(a, b, &r) ? saturatedLike(a) : r;
}
inline Word32 lSub(Word32 a, Word32 b) {
    Word32 r;
    return __builtin_sub_overflow(a, b, &r) ? saturatedLike(a) : r;
}
inline Word32 lAddO(Word32 a, Word32 b, bool& o) {
    Word32 r;
    const bool v = __builtin_add_overflow(a, b, &r);
    o |= v;
    return v ? saturatedLike(a) : r;
}
inline Word32 lSubO(Word32 a, Word32 b, bool& o) {
    Word32 r;
    const bool v = __builtin_sub_overflow(a, b, &r);
    o |= v;
    return v ? saturatedLike(a) : r;
}
inline Word32 lMac(Word32 acc, Word16 a, Word16 b) { return lAdd(acc, lMult(a, b)); }
inline Word32 lMsu(Word32 acc, Word16 a, Word16 b) { return lSub(acc, lMult(a, b)); }
inline Word32 lMacO(Word32 acc, Word16 a, Word16 b, bool& o) { return lAddO(acc, lMultO(a, b, o), o); }
inline Word32 lMsuO(Word32 acc, Word16 a, Word16 b, bool& o) { return lSubO(acc, lMultO(a, b, o), o); }
inline Word32 lNegate(Word32 l) { return l == MIN_32 ? MAX_32 : -l; }
inline Word32 lAbs(Word32 l) { return l == MIN_32 ? MAX_32 : (l < 0 ? -l : l); }
inline Word32 lDepositH(Word16 a) {
    return static_cast<Word32>(static_cast<uint32_t>(static_cast<uint16_t>(a)) << 16);
}
inline Word32 lDepositL(Word16 a) { return a; }

inline Word32 lShr(Word32 l, Word16 n);
inline Word32 lShl(Word32 l, Word16 n) {
    if (n <= 0) return lShr(l, static_cast<Word16>(-n));
    if (n >= 31) return l == 0 ? 0 : (l > 0 ? MAX_32 : MIN_32);
    if (l > (MAX_32 >> n)) return MAX_32;
    if (l < (MIN_32 >> n)) return MIN_32;
    return static_cast<Word32>(static_cast<uint32_t>(l) << n);
}
inline Word32 lShlO(Word32 l, Word16 n, bool& o) {
    if (n <= 0) return lShr(l, static_cast<Word16>(-n));
    if (n >= 31) {
        if (l == 0) return 0;
        o = true;
        return l > 0 ? MAX_32 : MIN_32;
    }
    if (l > (MAX_32 >> n)) {
        o = true;
        return MAX_32;
    }
    if (l < (MIN_32 >> n)) {
        o = true;
        return MIN_32;
    }
    return static_cast<Word32>(static_cast<uint32_t>(l) << n);
}
inline Word32 lShr(Word32 l, Word16 n) {
    if (n < 0) return lShl(l, static_cast<Word16>(-n));
    if (n >= 31) return l < 0 ? -1 : 0;
    return l >> n;
}
inline Word32 lShrR(Word32 l, Word16 n) {
    if (n > 31) return 0;
    Word32 out = lShr(l, n);
    if (n > 0 && (l & (Word32{1} << (n - 1))) != 0) out++;
    return out;
}

// The reference's round(): adds 0x8000 with saturation and keeps the high half.
inline Word16 roundL(Word32 l) { return extractH(lAdd(l, 0x8000)); }
inline Word16 roundLO(Word32 l, bool& o) { return extractH(lAddO(l, 0x8000, o)); }
inline Word16 macR(Word32 acc, Word16 a, Word16 b) { return roundL(lMac(acc, a, b)); }
inline Word16 msuR(Word32 acc, Word16 a, Word16 b) { return roundL(lMsu(acc, a, b)); }

// Fractional integer division a/b in Q15 for 0 <= a <= b, b > 0.
// Impossible operands saturate to MAX_16 instead of ending the process.
inline Word16 divS(Word16 num, Word16 den) {
    if (den <= 0 || num < 0 || num > den) return MAX_16;
    if (num == 0) return 0;
    if (num == den) return MAX_16;
    // Restoring division, one quotient bit per step, without branches.
    Word32 n = num;
    const Word32 d = den;
    Word32 out = 0;
    for (int i = 0; i < 15; i++) {
        n <<= 1;
        const Word32 bit = n >= d ? 1 : 0;
        n -= d & -bit;
        out = (out << 1) | bit;
    }
    return static_cast<Word16>(out);
}

// ---- double precision (hi, lo) helpers of the G.729 reference ----

// Splits l into hi = l >> 16 and lo = (l - hi << 16) >> 1.
inline void lExtract(Word32 l, Word16& hi, Word16& lo) {
    hi = extractH(l);
    lo = extractL(lMsu(lShr(l, 1), hi, 16384));
}
inline Word32 lComp(Word16 hi, Word16 lo) { return lMac(lDepositH(hi), lo, 1); }
inline Word32 mpy32(Word16 hi1, Word16 lo1, Word16 hi2, Word16 lo2) {
    Word32 l = lMult(hi1, hi2);
    l = lMac(l, mult(hi1, lo2), 1);
    return lMac(l, mult(lo1, hi2), 1);
}
inline Word32 mpy32_16(Word16 hi, Word16 lo, Word16 n) {
    Word32 l = lMult(hi, n);
    return lMac(l, mult(lo, n), 1);
}
// num / (denHi, denLo) for 0 <= num < den, den normalised; result in Q31.
inline Word32 div32(Word32 num, Word16 denHi, Word16 denLo) {
    Word16 approx = divS(0x3fff, denHi);
    Word32 l = mpy32_16(denHi, denLo, approx);
    l = lSub(MAX_32, l);
    Word16 hi;
    Word16 lo;
    lExtract(l, hi, lo);
    l = mpy32_16(hi, lo, approx);
    lExtract(l, hi, lo);
    Word16 nHi;
    Word16 nLo;
    lExtract(num, nHi, nLo);
    l = mpy32(nHi, nLo, hi, lo);
    return lShl(l, 2);
}

}  // namespace vorpel::g729
