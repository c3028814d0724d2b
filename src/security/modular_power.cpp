#include "security/modular_power.h"

#include <array>

namespace vorpel {
namespace {

using u64 = uint64_t;
__extension__ typedef unsigned __int128 u128;
constexpr size_t N = BIG_LIMBS;

inline u64 lo(u128 x) { return static_cast<u64>(x); }
inline u64 hi(u128 x) { return static_cast<u64>(x >> 64); }

// r = t - m over N limbs plus the extra top word of t, when t >= m;
// otherwise r = t. t < 2m.
inline void finalSubtract(u64* r, const u64* t, u64 top, const u64* m) {
    std::array<u64, N> d{};
    u64 borrow = 0;
#pragma GCC unroll 12
    for (size_t j = 0; j < N; ++j) {
        const u128 diff = static_cast<u128>(t[j]) - m[j] - borrow;
        d[j] = lo(diff);
        borrow = hi(diff) & 1;
    }
    // t >= m exactly when the subtraction does not borrow past the top word.
    const bool useDifference = top != 0 || borrow == 0;
#pragma GCC unroll 12
    for (size_t j = 0; j < N; ++j) r[j] = useDifference ? d[j] : t[j];
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
// adds q m 2^(64 i), q chosen to clear limb i.
inline void redcPortable(u64* r, u64* t, const u64* m, u64 n0) {
    u64 extra = 0;
#pragma GCC unroll 12
    for (size_t i = 0; i < N; ++i) {
        const u64 q = t[i] * n0;
        u64 carry = 0;
#pragma GCC unroll 12
        for (size_t j = 0; j < N; ++j) {
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
    redcPortable(r, t.data(), m, n0);
}

// r = a^2 / R mod m: the square's cross products once, doubled, plus the
// diagonal, then the reduction.
__attribute__((noinline)) void montSqr(u64* r, const u64* a, const u64* m, u64 n0) {
    std::array<u64, 2 * N> t{};
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
    doubleAndAddSquares(t.data(), a);
    redcPortable(r, t.data(), m, n0);
}

// r = a * k mod m for a < m and a small k: the product has one extra limb,
// and at most k - 1 subtractions of m bring it below m.
inline void mulSmall(u64* r, const u64* a, u64 k, const u64* m) {
    std::array<u64, N> t{};
    u64 c = 0;
#pragma GCC unroll 12
    for (size_t j = 0; j < N; ++j) {
        const u128 p = static_cast<u128>(a[j]) * k + c;
        t[j] = lo(p);
        c = hi(p);
    }
    u64 top = c;
    for (;;) {
        if (top == 0) {
            bool below = false;
            for (size_t j = N; j-- > 0;) {
                if (t[j] != m[j]) {
                    below = t[j] < m[j];
                    break;
                }
            }
            if (below) break;
        }
        u64 borrow = 0;
#pragma GCC unroll 12
        for (size_t j = 0; j < N; ++j) {
            const u128 diff = static_cast<u128>(t[j]) - m[j] - borrow;
            t[j] = lo(diff);
            borrow = hi(diff) & 1;
        }
        top -= borrow;
    }
    for (size_t j = 0; j < N; ++j) r[j] = t[j];
}

// Multiplication on processors with the BMI2 and ADX extensions: each
// row t[0..11] += x * a[0..11] is twelve MULX with two independent carry
// chains (ADCX for the low halves, ADOX for the high halves).
#if defined(__x86_64__)
constexpr bool ADX_BUILD = true;

// t[0..LEN-1] += x * a[0..LEN-1]; returns the word that carries out of t[LEN-1].
template <unsigned LEN>
inline u64 mulAddRow(u64* t, const u64* a, u64 x) {
    u64 carry;
    __asm__ volatile(
        "xorl %%r10d, %%r10d\n\t"
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
        : [t] "r"(t), [a] "r"(a), "d"(x), [len] "i"(LEN)
        : "r8", "r9", "r10", "r11", "cc", "memory");
    return carry;
}

// Montgomery reduction of the 24-limb t (t < m R): r = t / R mod m.
inline void redcRows(u64* r, u64* t, const u64* m, u64 n0) {
    u64 extra = 0;
    for (size_t i = 0; i < N; ++i) {
        const u64 carry = mulAddRow<N>(t + i, m, t[i] * n0);
        const u128 s = static_cast<u128>(t[i + N]) + carry + extra;
        t[i + N] = lo(s);
        extra = hi(s);
    }
    finalSubtract(r, t + N, extra, m);
}

__attribute__((noinline)) void montMulAdx(u64* r, const u64* a, const u64* b, const u64* m, u64 n0) {
    std::array<u64, 2 * N> t{};
    for (size_t i = 0; i < N; ++i) t[i + N] = mulAddRow<N>(t.data() + i, a, b[i]);
    redcRows(r, t.data(), m, n0);
}

bool cpuHasAdx() {
    static const bool has = __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("adx");
    return has;
}
#else
constexpr bool ADX_BUILD = false;
void montMulAdx(u64*, const u64*, const u64*, const u64*, u64) {}
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
    ready_ = true;
    return true;
}

namespace {

struct PortableArithmetic {
    static void mul(u64* r, const u64* a, const u64* b, const u64* m, u64 n0) { montMul(r, a, b, m, n0); }
    static void sqr(u64* r, const u64* a, const u64* m, u64 n0) { montSqr(r, a, m, n0); }
};

struct AdxArithmetic {
    static void mul(u64* r, const u64* a, const u64* b, const u64* m, u64 n0) { montMulAdx(r, a, b, m, n0); }
    static void sqr(u64* r, const u64* a, const u64* m, u64 n0) { montSqr(r, a, m, n0); }
};

struct Constants {
    const BigNum& m;
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
    // Left to right: the top bit gives the base itself, in Montgomery form.
    BigNum acc;
    A::mul(acc.limbs.data(), BigNum::fromWord(base).limbs.data(), c.rSquared.limbs.data(), m, c.n0);
    for (size_t i = bits - 1; i-- > 0;) {
        A::sqr(acc.limbs.data(), acc.limbs.data(), m, c.n0);
        if (exponent.bit(i)) mulSmall(acc.limbs.data(), acc.limbs.data(), base, m);
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
        return static_cast<size_t>((exponent.limbs[w * WINDOW / 64] >> (w * WINDOW % 64)) & ((1u << WINDOW) - 1));
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
    const Constants c{m_, rSquared_, one_, n0_};
    return useAdx_ ? powSmallBaseWith<AdxArithmetic>(c, base, exponent)
                   : powSmallBaseWith<PortableArithmetic>(c, base, exponent);
}

BigNum ModularPower::pow(const BigNum& base, const BigNum& exponent) const {
    const Constants c{m_, rSquared_, one_, n0_};
    return useAdx_ ? powWith<AdxArithmetic>(c, base, exponent) : powWith<PortableArithmetic>(c, base, exponent);
}

}  // namespace vorpel
