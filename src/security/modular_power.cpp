#include "security/modular_power.h"

#include <algorithm>
#include <array>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

#include "security/oakley_group.h"

namespace vorpel {
namespace {

using u64 = uint64_t;
__extension__ typedef unsigned __int128 u128;
constexpr size_t N = BIG_LIMBS;

inline u64 lo(u128 x) { return static_cast<u64>(x); }
inline u64 hi(u128 x) { return static_cast<u64>(x >> 64); }

// Subtract with borrow: on x86-64 the intrinsic keeps the borrow in the
// flags (an sbb chain); elsewhere a double-width difference does.
#if defined(__x86_64__)
inline u64 subBorrow(u64 a, u64 b, unsigned char& borrow) {
    unsigned long long out;
    borrow = _subborrow_u64(borrow, a, b, &out);
    return out;
}
#else
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

// The same on processors with BMI2 and ADX: every row t[k..k+LEN] += x *
// a[0..LEN-1] is LEN steps of MULX with two carry chains, ADCX adding the
// low halves and ADOX the high halves one limb up, the row's words read and
// written in place. The assembler's .rept unrolls the rows; the limb
// offsets are its symbols vorpel_i and vorpel_j.
#if defined(__x86_64__)
constexpr bool ADX_BUILD = true;

// clang-format off
// One step of a row: limb i + j of t += the low half of rdx * a[j] + the
// previous step's high half (in PREV) + both carries; the high half goes to
// HI. Steps alternate r9 and r10 for the high half.
#define VORPEL_STEP(HI, PREV)                          \
    "mulx 8*vorpel_j(%[a]), %%r8, %%" HI "\n\t"        \
    "adcx 8*(vorpel_i+vorpel_j)(%[t]), %%r8\n\t"       \
    "adox %%" PREV ", %%r8\n\t"                        \
    "movq %%r8, 8*(vorpel_i+vorpel_j)(%[t])\n\t"       \
    ".set vorpel_j, vorpel_j+1\n\t"

// LEN steps from j = vorpel_j on, r10 holding the carry in; the last high
// half ends in r10.
#define VORPEL_ROW(LEN)                                                          \
    ".set vorpel_len, " LEN "\n\t"                                               \
    ".rept vorpel_len/2\n\t"                                                     \
    VORPEL_STEP("r9", "r10") VORPEL_STEP("r10", "r9")                            \
    ".endr\n\t"                                                                  \
    ".if vorpel_len%%2\n\t"                                                      \
    VORPEL_STEP("r9", "r10") "movq %%r9, %%r10\n\t"                              \
    ".endif\n\t"

// The row's last word, written to the limb above it (still 0): the high
// half and both carries, which cannot overflow.
#define VORPEL_ROW_TOP(T_OFF)                \
    "movl $0, %%r8d\n\t"                     \
    "adcx %%r8, %%r10\n\t"                   \
    "adox %%r8, %%r10\n\t"                   \
    "movq %%r10, " T_OFF "(%[t])\n\t"
// clang-format on

// t = a * b over 24 limbs; t is zero on entry.
inline void productRows(u64* t, const u64* a, const u64* b) {
    __asm__ volatile(
        ".set vorpel_i, 0\n\t"
        ".rept 12\n\t"
        "movq 8*vorpel_i(%[b]), %%rdx\n\t"
        "xorl %%r10d, %%r10d\n\t"  // also clears CF and OF
        ".set vorpel_j, 0\n\t"
        VORPEL_ROW("12") VORPEL_ROW_TOP("8*(vorpel_i+12)") ".set vorpel_i, vorpel_i+1\n\t"
        ".endr\n\t"
        :
        : [t] "r"(t), [a] "r"(a), [b] "r"(b)
        : "rdx", "r8", "r9", "r10", "cc", "memory");
}

// t = a^2 over 24 limbs; t is zero on entry. Row i adds a[i] times the limbs
// above it (each cross product once); then one pass doubles t and adds the
// squares a[i]^2 at limb 2i (ADCX doubling, ADOX adding).
inline void squareRows(u64* t, const u64* a) {
    __asm__ volatile(
        ".set vorpel_i, 0\n\t"
        ".rept 11\n\t"
        "movq 8*vorpel_i(%[a]), %%rdx\n\t"
        "xorl %%r10d, %%r10d\n\t"
        ".set vorpel_j, vorpel_i+1\n\t"
        VORPEL_ROW("11-vorpel_i") VORPEL_ROW_TOP("8*(vorpel_i+12)") ".set vorpel_i, vorpel_i+1\n\t"
        ".endr\n\t"
        "xorl %%r10d, %%r10d\n\t"
        ".set vorpel_i, 0\n\t"
        ".rept 12\n\t"
        "movq 8*vorpel_i(%[a]), %%rdx\n\t"
        "mulx %%rdx, %%r8, %%r9\n\t"
        "movq 16*vorpel_i(%[t]), %%r10\n\t"
        "adcx %%r10, %%r10\n\t"
        "adox %%r8, %%r10\n\t"
        "movq %%r10, 16*vorpel_i(%[t])\n\t"
        "movq 16*vorpel_i+8(%[t]), %%r10\n\t"
        "adcx %%r10, %%r10\n\t"
        "adox %%r9, %%r10\n\t"
        "movq %%r10, 16*vorpel_i+8(%[t])\n\t"
        ".set vorpel_i, vorpel_i+1\n\t"
        ".endr\n\t"
        :
        : [t] "r"(t), [a] "r"(a)
        : "rdx", "r8", "r9", "r10", "cc", "memory");
}

// r = t / R mod m for the 24-limb t < m R (Montgomery reduction; m is the
// rows' operand a). Row i
// adds q m 2^(64 i) with q = t[i] n0, which clears limb i; when the low limb
// of m is all ones, q = t[i] and the row's first product is q 2^64 exactly,
// so the row starts at limb i + 1 with q as its carry. A carry out of the
// row's top limb is kept in %[e] and added by the next row. Last, t - m
// replaces t unless it borrows past that carry (CMOV, no branch).
template <bool LOW_ONES>
inline void reduceRows(u64* r, u64* t, const u64* m, u64 n0) {
    u64 extra;
    __asm__ volatile(
        "xorl %k[e], %k[e]\n\t"
        ".set vorpel_i, 0\n\t"
        ".rept 12\n\t"
        "movq 8*vorpel_i(%[t]), %%rdx\n\t"
        ".if %c[lowOnes]\n\t"
        "xorl %%r8d, %%r8d\n\t"
        "movq %%rdx, %%r10\n\t"
        ".set vorpel_j, 1\n\t"
        ".else\n\t"
        "imulq %[n0], %%rdx\n\t"
        "xorl %%r10d, %%r10d\n\t"
        ".set vorpel_j, 0\n\t"
        ".endif\n\t" VORPEL_ROW("12-vorpel_j")
        // limb i + 12 += high half + CF + OF + the last row's carry; the
        // new carry (at most 1) comes from CF or OF, never both.
        "movl $0, %%r8d\n\t"
        "adox %%r8, %%r10\n\t"
        "adcx 8*(vorpel_i+12)(%[t]), %%r10\n\t"
        "adox %[e], %%r10\n\t"
        "movq %%r10, 8*(vorpel_i+12)(%[t])\n\t"
        "movl $0, %k[e]\n\t"
        "adcx %%r8, %[e]\n\t"
        "adox %%r8, %[e]\n\t"
        ".set vorpel_i, vorpel_i+1\n\t"
        ".endr\n\t"
        // r = t[12..23] - m; CF = borrow.
        "movq 96(%[t]), %%r8\n\t"
        "subq (%[a]), %%r8\n\t"
        "movq %%r8, (%[r])\n\t"
        ".set vorpel_j, 1\n\t"
        ".rept 11\n\t"
        "movq 96+8*vorpel_j(%[t]), %%r8\n\t"
        "sbbq 8*vorpel_j(%[a]), %%r8\n\t"
        "movq %%r8, 8*vorpel_j(%[r])\n\t"
        ".set vorpel_j, vorpel_j+1\n\t"
        ".endr\n\t"
        // Keep t when the difference borrows and there is no carry: CF =
        // borrow - carry, both 0 or 1, and a carry always comes with a borrow.
        "sbbq %%r8, %%r8\n\t"
        "addq %[e], %%r8\n\t"
        "negq %%r8\n\t"
        ".set vorpel_j, 0\n\t"
        ".rept 12\n\t"
        "movq 8*vorpel_j(%[r]), %%r8\n\t"
        "cmovcq 96+8*vorpel_j(%[t]), %%r8\n\t"
        "movq %%r8, 8*vorpel_j(%[r])\n\t"
        ".set vorpel_j, vorpel_j+1\n\t"
        ".endr\n\t"
        : [e] "=&r"(extra)
        : [t] "r"(t), [a] "r"(m), [r] "r"(r), [n0] "r"(n0), [lowOnes] "i"(LOW_ONES ? 1 : 0)
        : "rdx", "r8", "r9", "r10", "cc", "memory");
}

#undef VORPEL_STEP
#undef VORPEL_ROW
#undef VORPEL_ROW_TOP

// r = a * b / R mod m and r = a^2 / R mod m; a < R, b < m. r may be a or b.
template <bool LOW_ONES>
__attribute__((noinline)) void montMulAdx(u64* r, const u64* a, const u64* b, const u64* m, u64 n0) {
    std::array<u64, 2 * N> t{};
    productRows(t.data(), a, b);
    reduceRows<LOW_ONES>(r, t.data(), m, n0);
}

template <bool LOW_ONES>
__attribute__((noinline)) void montSqrAdx(u64* r, const u64* a, const u64* m, u64 n0) {
    std::array<u64, 2 * N> t{};
    squareRows(t.data(), a);
    reduceRows<LOW_ONES>(r, t.data(), m, n0);
}

// CPUID leaf 7: EBX bit 8 is BMI2 (MULX), bit 19 ADX (ADCX, ADOX).
bool cpuHasAdx() {
    static const bool has = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
        return ((ebx >> 8) & 1) != 0 && ((ebx >> 19) & 1) != 0;
    }();
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

// Runs work.template operator()<A>() with the arithmetic the object uses.
template <class Work>
decltype(auto) withArithmetic(bool adx, bool lowOnes, Work&& work) {
    if (lowOnes) {
        return adx ? work.template operator()<AdxArithmetic<true>>()
                   : work.template operator()<PortableArithmetic<true>>();
    }
    return adx ? work.template operator()<AdxArithmetic<false>>()
               : work.template operator()<PortableArithmetic<false>>();
}

struct Context {
    const u64* m;
    u64 n0;
};

// out = the entry of table at index, read by masks over every entry, so
// that neither the branches nor the memory touched depend on index.
void selectEntry(BigNum& out, const ModularPower::WindowTable& table, size_t index) {
    out = BigNum{};
    for (size_t k = 0; k < table.size(); ++k) {
        const u64 mask = 0 - (((static_cast<u64>(k) ^ index) - 1) >> 63);
#pragma GCC unroll 12
        for (size_t j = 0; j < N; ++j) out.limbs[j] |= table[k].limbs[j] & mask;
    }
}

size_t digitAt(const BigNum& exponent, size_t w) {
    constexpr size_t BITS = ModularPower::WINDOW_BITS;
    return static_cast<size_t>((exponent.limbs[w * BITS / 64] >> (w * BITS % 64)) &
                               (ModularPower::WINDOW_VALUES - 1));
}

// The number of digits worked through: 64 for any exponent below 2^256,
// more only for longer ones.
size_t digitsOf(const BigNum& exponent) {
    const size_t bits = std::max<size_t>(exponent.bitLength(), 256);
    return (bits + ModularPower::WINDOW_BITS - 1) / ModularPower::WINDOW_BITS;
}

template <class A>
BigNum fromMontgomery(const Context& c, const BigNum& x) {
    BigNum result;
    A::mul(result.limbs.data(), x.limbs.data(), BigNum::fromWord(1).limbs.data(), c.m, c.n0);
    return result;
}

// table[d] = x^d in Montgomery form for the Montgomery form x.
template <class A>
void fillWindow(const Context& c, ModularPower::WindowTable& table, const BigNum& one, const BigNum& x) {
    table[0] = one;
    table[1] = x;
    for (size_t d = 2; d < table.size(); ++d)
        A::mul(table[d].limbs.data(), table[d - 1].limbs.data(), x.limbs.data(), c.m, c.n0);
}

}  // namespace

bool ModularPower::setModulus(const BigNum& modulus) {
    if (ready_ && modulus == m_) return true;
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
    useAdx_ = !portable_ && ADX_BUILD && cpuHasAdx();
    lowOnes_ = m_.limbs[0] == ~u64{0};
    // powers_[k][d] = 3^(d 16^k): each digit's row from the step that the
    // row before ends on.
    withArithmetic(useAdx_, lowOnes_, [&]<class A>() {
        const Context c{m_.limbs.data(), n0_};
        BigNum step;
        A::mul(step.limbs.data(), BigNum::fromWord(KEY_AGREEMENT_GENERATOR).limbs.data(),
               rSquared_.limbs.data(), c.m, c.n0);
        for (auto& row : powers_) {
            fillWindow<A>(c, row, one_, step);
            A::mul(step.limbs.data(), row.back().limbs.data(), step.limbs.data(), c.m, c.n0);
        }
    });
    ready_ = true;
    return true;
}

BigNum ModularPower::powSmallBase(uint32_t base, const BigNum& exponent) const {
    if (base != KEY_AGREEMENT_GENERATOR || exponent.bitLength() > 256)
        return pow(BigNum::fromWord(base), exponent);
    return withArithmetic(useAdx_, lowOnes_, [&]<class A>() {
        const Context c{m_.limbs.data(), n0_};
        BigNum acc;
        BigNum factor;
        selectEntry(acc, powers_[0], digitAt(exponent, 0));
        for (size_t k = 1; k < TABLE_DIGITS; ++k) {
            selectEntry(factor, powers_[k], digitAt(exponent, k));
            A::mul(acc.limbs.data(), acc.limbs.data(), factor.limbs.data(), c.m, c.n0);
        }
        return fromMontgomery<A>(c, acc);
    });
}

BigNum ModularPower::pow(const BigNum& base, const BigNum& exponent) const {
    return withArithmetic(useAdx_, lowOnes_, [&]<class A>() {
        const Context c{m_.limbs.data(), n0_};
        // table[d] = base^d in Montgomery form; the conversion reduces a base of m or more.
        WindowTable table;
        BigNum x;
        A::mul(x.limbs.data(), base.limbs.data(), rSquared_.limbs.data(), c.m, c.n0);
        fillWindow<A>(c, table, one_, x);
        const size_t digits = digitsOf(exponent);
        BigNum acc;
        BigNum factor;
        selectEntry(acc, table, digitAt(exponent, digits - 1));
        for (size_t w = digits - 1; w-- > 0;) {
            for (size_t s = 0; s < WINDOW_BITS; ++s) A::sqr(acc.limbs.data(), acc.limbs.data(), c.m, c.n0);
            selectEntry(factor, table, digitAt(exponent, w));
            A::mul(acc.limbs.data(), acc.limbs.data(), factor.limbs.data(), c.m, c.n0);
        }
        return fromMontgomery<A>(c, acc);
    });
}

}  // namespace vorpel
