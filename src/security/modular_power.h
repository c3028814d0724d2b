// Modular exponentiation for the 768-bit Diffie-Hellman group: Montgomery
// arithmetic (R = 2^768) on twelve 64-bit limbs.
//
// On processors with BMI2 and ADX (checked at run time) each product,
// square and reduction is one unrolled run of MULX rows with two carry
// chains (ADCX, ADOX); elsewhere portable double-width code does the same
// work. A modulus whose low limb is all ones, like the Oakley primes, saves
// one product per reduction row. All results are exact residues in
// 0 .. m-1.
//
// Powers of the generator use a table made when the modulus is set: for
// each of the 64 four-bit digits of a 256-bit exponent, the generator
// raised to every digit value at that digit's place. Such a power is then
// 63 multiplications and no squaring. Other powers use fixed four-bit
// windows. Both read every entry of the table they pick from and multiply
// for every digit, zero or not: the time and the memory touched do not
// depend on the exponent's bits, only on its length above 256 bits.
//
// Nothing is allocated; the object (about 96 KiB, the table) is read-only
// after setModulus and may be shared by threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "security/big_num.h"

namespace vorpel {

class ModularPower {
public:
    // Any odd modulus above 1 that fits 768 bits; false (and no modulus)
    // otherwise. Setting the modulus already in use keeps its table.
    bool setModulus(const BigNum& modulus);
    bool ready() const { return ready_; }
    // The multiplications use MULX/ADCX/ADOX when the processor has them;
    // this selects the portable code instead, from now on and for the
    // tables of later moduli too (tests compare the two).
    void usePortableArithmetic() {
        portable_ = true;
        useAdx_ = false;
    }
    bool usesAdx() const { return useAdx_; }
    const BigNum& modulus() const { return m_; }

    // base^exponent mod m. The generator 3 with an exponent below 2^256
    // comes from the table; any other case goes through pow().
    BigNum powSmallBase(uint32_t base, const BigNum& exponent) const;
    // base^exponent mod m for any base below 2^768 (a base of m or more is
    // reduced); fixed four-bit windows.
    BigNum pow(const BigNum& base, const BigNum& exponent) const;

    static constexpr size_t WINDOW_BITS = 4;
    static constexpr size_t WINDOW_VALUES = size_t{1} << WINDOW_BITS;
    static constexpr size_t TABLE_DIGITS = 256 / WINDOW_BITS;
    // powers_[k][d] = 3^(d 16^k) in Montgomery form.
    using WindowTable = std::array<BigNum, WINDOW_VALUES>;

private:
    std::array<WindowTable, TABLE_DIGITS> powers_{};
    BigNum m_{};
    BigNum rSquared_{};  // R^2 mod m
    BigNum one_{};       // R mod m, the Montgomery form of 1
    uint64_t n0_ = 0;    // -m^-1 mod 2^64
    bool portable_ = false;
    bool useAdx_ = false;
    bool lowOnes_ = false;  // low limb all ones: n0 is 1 and reductions skip a product
    bool ready_ = false;
};

}  // namespace vorpel
