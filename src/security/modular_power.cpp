#include "security/modular_power.h"

#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vorpel {
namespace {

using u64 = uint64_t;
__extension__ typedef unsigned __int128 u128;
constexpr size_t N = BIG_LIMBS;

inline u64 lo(u128 x) { return static_cast<u64>(x); }
inline u64 hi(u128 x) { return static_cast<u64>(x >> 64); }

// Add and subtract with carry. On x86-64 the intrinsics keep the carry in
// the flags (adc/sbb chains); elsewhere a double-width sum does.
#if defined(__x86_64__)
inline u64 addCarry(u64 a, u64 b, unsigned char& carry) {
    unsigned long long out;
    carry = _addcarry_u64(carry, a, b, &out);
    return out;
}
inline u64 subBorrow(u64 a, u64 b, unsigned char& borrow) {
    unsigned long long out;
    borrow = _subborrow_u64(borrow, a, b, &out);
    return out;
}
#else
inline u64 addCarry(u64 a, u64 b, unsigned char& carry) {
    const u128 s = static_cast<u128>(a) + b + carry;
    carry = static_cast<unsigned char>(hi(s));
    return lo(s);
}
inline u64 subBorrow(u64 a, u64 b, unsigned char& borrow) {
    const u128 d = static_cast<u128>(a) - b - borrow;
    borrow = static_cast<unsigned char>(hi(d) & 1);
    return lo(d);
}
#endif

// r = t - m over N limbs plus the extra top word of t, when t >= m;
// otherwise r = t. t < 2m. No branch on the values.
inline void finalSubtract(u64* r, const u64* t, u64 top, const u64* m) {
    std::array<u64, N> d;
    unsigned char borrow = 0;
#pragma GCC unroll 12
    for (size_t j = 0; j < N; ++j) d[j] = subBorrow(t[j], m[j], borrow);
    // t >= m exactly when the subtraction does not borrow past the top word.
    const u64 useDifference = 0 - static_cast<u64>(top != 0 || borrow == 0);
#pragma GCC unroll 12
    for (size_t j = 0; j < N; ++j) r[j] = (d[j] & useDifference) | (t[j] & ~useDifference);
}

// t[1..22] = the cross products a[i] a[j], i < j, each once; t is zero on entry.
inline void crossProducts(u64* t, const u64* a) {
#pragma GCC unroll 12
    for (size_t i = 0; i < N - 1; ++i) {
        const u64 ai = a[i];
        u64 c = 0;
#pragma GCC unroll 12
        for (size_t j = i + 1; j < N; ++j) {
            const u128 p = static_cast<u128>(ai) * a[j] + t[i + j] + c;
            t[i + j] = lo(p);
            c = hi(p);
        }
        t[i + N] = c;
    }
}

// t = 2 t + the squares a[i]^2 at limb 2i: turns the cross products of a
// square (limbs 1 to 22) into the whole square.
inline void doubleAndAddSquares(u64* t, const u64* a) {
    t[2 * N - 1] = t[2 * N - 2] >> 63;
#pragma GCC unroll 24
    for (size_t k = 2 * N - 2; k > 0; --k) t[k] = (t[k] << 1) | (t[k - 1] >> 63);
    t[0] <<= 1;
    u64 c = 0;
#pragma GCC unroll 12
    for (size_t i = 0; i < N; ++i) {
        const u128 sq = static_cast<u128>(a[i]) * a[i];
        u128 s = static_cast<u128>(t[2 * i]) + lo(sq) + c;
        t[2 * i] = lo(s);
        s = static_cast<u128>(t[2 * i + 1]) + hi(sq) + hi(s);
        t[2 * i + 1] = lo(s);
        c = hi(s);
    }
}

// Montgomery reduction of the 24-limb t (t < m R): r = t / R mod m. Row i
// adds q m 2^(64 i), q chosen to clear limb i. When the low limb of m is all
// ones (the Oakley primes are built so), n0 is 1 and q m[0] + t[i] is exactly
// q 2^64: the row's first product is skipped.
template <bool LOW_ONES>
inline void redcPortable(u64* r, u64* t, const u64* m, u64 n0) {
    u64 extra = 0;
#pragma GCC unroll 12
    for (size_t i = 0; i < N; ++i) {
        const u64 q = LOW_ONES ? t[i] : t[i] * n0;
        u64 carry = LOW_ONES ? q : 0;
#pragma GCC unroll 12
        for (size_t j = LOW_ONES ? 1 : 0; j < N; ++j) {
            const u128 p = static_cast<u128>(q) * m[j] + t[i + j] + carry;
            t[i + j] = lo(p);
            carry = hi(p);
        }
        const u128 s = static_cast<u128>(t[i + N]) + carry + extra;
        t[i + N] = lo(s);
        extra = hi(s);
    }
    finalSubtract(r, t + N, extra, m);
}

// r = a * b / R mod m: the whole product, then its reduction. a < R, b < m.
template <bool LOW_ONES>
__attribute__((noinline)) void montMul(u64* r, const u64* a, const u64* b, const u64* m, u64 n0) {
    std::array<u64, 2 * N> t{};
#pragma GCC unroll 12
    for (size_t i = 0; i < N; ++i) {
        const u64 bi = b[i];
        u64 c = 0;
#pragma GCC unroll 12
        for (size_t j = 0; j < N; ++j) {
            const u128 p = static_cast<u128>(a[j]) * bi + t[i + j] + c;
            t[i + j] = lo(p);
            c = hi(p);
        }
        t[i + N] = c;
    }
    redcPortable<LOW_ONES>(r, t.data(), m, n0);
}

// r = a^2 / R mod m: the square's cross products once, doubled, plus the
// diagonal, then the reduction.
template <bool LOW_ONES>
__attribute__((noinline)) void montSqr(u64* r, const u64* a, const u64* m, u64 n0) {
    std::array<u64, 2 * N> t{};
    crossProducts(t.data(), a);
    doubleAndAddSquares(t.data(), a);
    redcPortable<LOW_ONES>(r, t.data(), m, n0);
}

// r = a + b mod m for a, b < m, without branches on the values.
inline void addMod(u64* r, const u64* a, const u64* b, const u64* m) {
    std::array<u64, N> sum;
    unsigned char carry = 0;
#pragma GCC unroll 12
    for (size_t j = 0; j < N; ++j) sum[j] = addCarry(a[j], b[j], carry);
    finalSubtract(r, sum.data(), carry, m);
}

// r = a k mod m for a < m and a small k (below 256), by doubling and adding.
inline void mulSmall(u64* r, const u64* a, uint32_t k, const u64* m) {
    std::array<u64, N> acc;
    for (size_t j = 0; j < N; ++j) acc[j] = a[j];
    for (int bit = 30 - __builtin_clz(k); bit >= 0; --bit) {
        addMod(acc.data(), acc.data(), acc.data(), m);
        if ((k >> bit) & 1) addMod(acc.data(), acc.data(), a, m);
    }
    for (size_t j = 0; j < N; ++j) r[j] = acc[j];
}

// r = 3 a mod m for a < m, the generator's step: 3a < 3m, so one of 3a,
// 3a - m and 3a - 2m (2m given as 13 words) is the residue; no branch on
// the values.
inline void mulThree(u64* r, const u64* a, const u64* m, const u64* twoM) {
    std::array<u64, N + 1> t;
    unsigned char carry = 0;
    u64 previous = 0;
#pragma GCC unroll 12
    for (size_t j = 0; j < N; ++j) {
        const u64 doubled = (a[j] << 1) | (previous >> 63);
        previous = a[j];
        t[j] = addCarry(a[j], doubled, carry);
    }
    t[N] = (previous >> 63) + carry;
    std::array<u64, N + 1> minusM;
    std::array<u64, N + 1> minusTwoM;
    unsigned char borrow1 = 0;
    unsigned char borrow2 = 0;
#pragma GCC unroll 13
    for (size_t j = 0; j <= N; ++j) {
        minusM[j] = subBorrow(t[j], j < N ? m[j] : 0, borrow1);
        minusTwoM[j] = subBorrow(t[j], twoM[j], borrow2);
    }
    const u64 useTwo = 0 - static_cast<u64>(borrow2 == 0);
    const u64 useOne = ~useTwo & (0 - static_cast<u64>(borrow1 == 0));
    const u64 useNone = ~useTwo & ~useOne;
#pragma GCC unroll 12
    for (size_t j = 0; j < N; ++j) r[j] = (minusTwoM[j] & useTwo) | (minusM[j] & useOne) | (t[j] & useNone);
}

// Multiplication on processors with the BMI2 and ADX extensions: each
// row t[0..11] += x * a[0..11] is twelve MULX with two independent carry
// chains (ADCX for the low halves, ADOX for the high halves).
#if defined(__x86_64__)
constexpr bool ADX_BUILD = true;

// t[0..LEN-1] += x * a[0..LEN-1] + carryIn; returns the word that carries
// out of t[LEN-1].
template <unsigned LEN>
inline u64 mulAddRow(u64* t, const u64* a, u64 x, u64 carryIn) {
    u64 carry;
    __asm__ volatile(
        "xorl %%r8d, %%r8d\n\t"  // clears CF and OF
        "movq %[cin], %%r10\n\t"
        ".set vorpel_row_offset, 0\n\t"
        ".rept %c[len]\n\t"
        "mulx vorpel_row_offset(%[a]), %%r8, %%r9\n\t"
        "movq vorpel_row_offset(%[t]), %%r11\n\t"
        "adcx %%r8, %%r11\n\t"
        "adox %%r10, %%r11\n\t"
        "movq %%r11, vorpel_row_offset(%[t])\n\t"
        "movq %%r9, %%r10\n\t"
        ".set vorpel_row_offset, vorpel_row_offset + 8\n\t"
        ".endr\n\t"
        "movl $0, %%r8d\n\t"
        "adcx %%r8, %%r10\n\t"
        "adox %%r8, %%r10\n\t"
        "movq %%r10, %[c]\n\t"
        : [c] "=r"(carry)
        : [t] "r"(t), [a] "r"(a), "d"(x), [cin] "r"(carryIn), [len] "i"(LEN)
        : "r8", "r9", "r10", "r11", "cc", "memory");
    return carry;
}

// Montgomery reduction of the 24-limb t (t < m R): r = t / R mod m, one
// MULX row per limb cleared (eleven-limb rows when the low limb of m is all
// ones, as in redcPortable).
template <bool LOW_ONES>
inline void redcRows(u64* r, u64* t, const u64* m, u64 n0) {
    unsigned char extra = 0;
#pragma GCC unroll 12
    for (size_t i = 0; i < N; ++i) {
        const u64 carry =
            LOW_ONES ? mulAddRow<N - 1>(t + i + 1, m + 1, t[i], t[i]) : mulAddRow<N>(t + i, m, t[i] * n0, 0);
        unsigned char c = 0;
        t[i + N] = addCarry(t[i + N], carry, c);
        const u64 withExtra = addCarry(t[i + N], 0, extra);
        t[i + N] = withExtra;
        extra = static_cast<unsigned char>(extra + c);
    }
    finalSubtract(r, t + N, extra, m);
}

template <bool LOW_ONES>
__attribute__((noinline)) void montMulAdx(u64* r, const u64* a, const u64* b, const u64* m, u64 n0) {
    std::array<u64, 2 * N> t{};
#pragma GCC unroll 12
    for (size_t i = 0; i < N; ++i) t[i + N] = mulAddRow<N>(t.data() + i, a, b[i], 0);
    redcRows<LOW_ONES>(r, t.data(), m, n0);
}

template <bool LOW_ONES>
__attribute__((noinline)) void montSqrAdx(u64* r, const u64* a, const u64* m, u64 n0) {
    std::array<u64, 2 * N> t{};
    crossProducts(t.data(), a);
    doubleAndAddSquares(t.data(), a);
    redcRows<LOW_ONES>(r, t.data(), m, n0);
}

bool cpuHasAdx() {
    static const bool has = __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("adx");
    return has;
}
#else
constexpr bool ADX_BUILD = false;
template <bool LOW_ONES>
void montMulAdx(u64*, const u64*, const u64*, const u64*, u64) {}
template <bool LOW_ONES>
void montSqrAdx(u64*, const u64*, const u64*, u64) {}
bool cpuHasAdx() { return false; }
#endif

}  // namespace

bool ModularPower::setModulus(const BigNum& modulus) {
    ready_ = false;
    if ((modulus.limbs[0] & 1) == 0 || modulus == BigNum::fromWord(1)) return false;
    m_ = modulus;
    // n0 = -m^-1 mod 2^64 by Newton's iteration; m0 is its own inverse mod 8.
    u64 inverse = m_.limbs[0];
    for (int i = 0; i < 5; ++i) inverse *= 2 - m_.limbs[0] * inverse;
    n0_ = 0 - inverse;
    // R^2 mod m by 1536 doublings of 1, each reduced at once.
    BigNum x = BigNum::fromWord(1);
    for (int i = 0; i < 2 * 64 * static_cast<int>(N); ++i) {
        const u64 top = x.limbs[N - 1] >> 63;
        for (size_t j = N - 1; j > 0; --j) x.limbs[j] = (x.limbs[j] << 1) | (x.limbs[j - 1] >> 63);
        x.limbs[0] <<= 1;
        if (top != 0 || greaterOrEqual(x, m_)) {
            u64 borrow = 0;
            for (size_t j = 0; j < N; ++j) {
                const u128 diff = static_cast<u128>(x.limbs[j]) - m_.limbs[j] - borrow;
                x.limbs[j] = lo(diff);
                borrow = hi(diff) & 1;
            }
        }
        if (i == 64 * static_cast<int>(N) - 1) one_ = x;
    }
    rSquared_ = x;
    useAdx_ = ADX_BUILD && cpuHasAdx();
    lowOnes_ = m_.limbs[0] == ~u64{0};
    for (size_t j = 0; j < N; ++j) twoM_[j] = (m_.limbs[j] << 1) | (j > 0 ? m_.limbs[j - 1] >> 63 : 0);
    twoM_[N] = m_.limbs[N - 1] >> 63;
    ready_ = true;
    return true;
}

namespace {

// Where the processor has MULX/ADX, the reductions and the general products
// are MULX rows; the cross products of a square stay portable code, which
// is faster for their short rows.
template <bool LOW_ONES>
struct PortableArithmetic {
    static void mul(u64* r, const u64* a, const u64* b, const u64* m, u64 n0) {
        montMul<LOW_ONES>(r, a, b, m, n0);
    }
    static void sqr(u64* r, const u64* a, const u64* m, u64 n0) { montSqr<LOW_ONES>(r, a, m, n0); }
};

template <bool LOW_ONES>
struct AdxArithmetic {
    static void mul(u64* r, const u64* a, const u64* b, const u64* m, u64 n0) {
        montMulAdx<LOW_ONES>(r, a, b, m, n0);
    }
    static void sqr(u64* r, const u64* a, const u64* m, u64 n0) { montSqrAdx<LOW_ONES>(r, a, m, n0); }
};

struct Constants {
    const BigNum& m;
    const std::array<u64, N + 1>& twoM;
    const BigNum& rSquared;
    const BigNum& one;
    u64 n0;
};

template <class A>
BigNum fromMontgomery(const Constants& c, const BigNum& x) {
    BigNum result;
    A::mul(result.limbs.data(), x.limbs.data(), BigNum::fromWord(1).limbs.data(), c.m.limbs.data(), c.n0);
    return result;
}

template <class A>
BigNum powSmallBaseWith(const Constants& c, uint32_t base, const BigNum& exponent) {
    const u64* m = c.m.limbs.data();
    const size_t bits = exponent.bitLength();
    if (bits == 0 || base == 1) return fromMontgomery<A>(c, c.one);
    if (base == 0) return BigNum{};
    // Left to right. The leading bits of the exponent are taken in a word
    // while base^(their value) stays below 2^64: one conversion replaces
    // the first few squarings.
    size_t i = bits;
    u64 start = 1;
    while (i > 0 && start < (u64{1} << 28)) {
        --i;
        start = start * start * (exponent.bit(i) ? base : 1);
    }
    BigNum acc;
    A::mul(acc.limbs.data(), BigNum::fromWord(start).limbs.data(), c.rSquared.limbs.data(), m, c.n0);
    while (i-- > 0) {
        A::sqr(acc.limbs.data(), acc.limbs.data(), m, c.n0);
        if (!exponent.bit(i)) continue;
        if (base == 3) {
            mulThree(acc.limbs.data(), acc.limbs.data(), m, c.twoM.data());
        } else {
            mulSmall(acc.limbs.data(), acc.limbs.data(), base, m);
        }
    }
    return fromMontgomery<A>(c, acc);
}

template <class A>
BigNum powWith(const Constants& c, const BigNum& base, const BigNum& exponent) {
    const u64* m = c.m.limbs.data();
    constexpr size_t WINDOW = 4;
    // table[k] = base^k in Montgomery form; the conversion reduces a base of m or more.
    std::array<BigNum, 1u << WINDOW> table{};
    table[0] = c.one;
    A::mul(table[1].limbs.data(), base.limbs.data(), c.rSquared.limbs.data(), m, c.n0);
    for (size_t k = 2; k < table.size(); ++k) {
        A::mul(table[k].limbs.data(), table[k - 1].limbs.data(), table[1].limbs.data(), m, c.n0);
    }
    const auto digitAt = [&](size_t w) {
        return static_cast<size_t>((exponent.limbs[w * WINDOW / 64] >> (w * WINDOW % 64)) &
                                   ((1u << WINDOW) - 1));
    };
    const size_t windows = (exponent.bitLength() + WINDOW - 1) / WINDOW;
    if (windows == 0) return fromMontgomery<A>(c, c.one);
    BigNum acc = table[digitAt(windows - 1)];
    for (size_t w = windows - 1; w-- > 0;) {
        for (size_t s = 0; s < WINDOW; ++s) A::sqr(acc.limbs.data(), acc.limbs.data(), m, c.n0);
        const size_t digit = digitAt(w);
        if (digit != 0) A::mul(acc.limbs.data(), acc.limbs.data(), table[digit].limbs.data(), m, c.n0);
    }
    return fromMontgomery<A>(c, acc);
}

}  // namespace

BigNum ModularPower::powSmallBase(uint32_t base, const BigNum& exponent) const {
    if (base >= 256) return pow(BigNum::fromWord(base), exponent);
    const Constants c{m_, twoM_, rSquared_, one_, n0_};
    if (lowOnes_) {
        return useAdx_ ? powSmallBaseWith<AdxArithmetic<true>>(c, base, exponent)
                       : powSmallBaseWith<PortableArithmetic<true>>(c, base, exponent);
    }
    return useAdx_ ? powSmallBaseWith<AdxArithmetic<false>>(c, base, exponent)
                   : powSmallBaseWith<PortableArithmetic<false>>(c, base, exponent);
}

BigNum ModularPower::pow(const BigNum& base, const BigNum& exponent) const {
    const Constants c{m_, twoM_, rSquared_, one_, n0_};
    if (lowOnes_) {
        return useAdx_ ? powWith<AdxArithmetic<true>>(c, base, exponent)
                       : powWith<PortableArithmetic<true>>(c, base, exponent);
    }
    return useAdx_ ? powWith<AdxArithmetic<false>>(c, base, exponent)
                   : powWith<PortableArithmetic<false>>(c, base, exponent);
}

}  // namespace vorpel
