// Modular exponentiation for the 768-bit Diffie-Hellman group: Montgomery
// arithmetic (R = 2^768) on twelve 64-bit limbs.
//
// Squarings compute each cross product once; reductions and general
// products run as MULX/ADCX/ADOX rows on processors that have them (checked
// at run time), as portable double-width code elsewhere. A modulus whose low
// limb is all ones, like the Oakley primes, saves one product per reduction
// row. The modulus is fixed when the object is set up; the Montgomery
// constants are computed then, so each power costs only its
// multiplications. All results are exact residues in 0 .. m-1. Nothing is
// allocated; the object is read-only after setModulus and may be shared by
// threads.
#pragma once

#include <array>
#include <cstdint>

#include "security/big_num.h"

namespace vorpel {

class ModularPower {
public:
    // Any odd modulus above 1 that fits 768 bits; false (and no modulus) otherwise.
    bool setModulus(const BigNum& modulus);
    bool ready() const { return ready_; }
    // The multiplications use MULX/ADCX/ADOX when the processor has them;
    // this selects the portable code instead (tests compare the two).
    void usePortableArithmetic() { useAdx_ = false; }
    bool usesAdx() const { return useAdx_; }
    const BigNum& modulus() const { return m_; }

    // base^exponent mod m for a small base (the group's generator 3), left
    // to right: the leading exponent bits in one word, then a Montgomery
    // squaring per bit and, for a set bit, a multiplication by the base as
    // a cheap scalar step. Bases of 256 or more go through pow().
    BigNum powSmallBase(uint32_t base, const BigNum& exponent) const;
    // base^exponent mod m for any base below 2^768 (a base of m or more is
    // reduced); fixed 4-bit windows.
    BigNum pow(const BigNum& base, const BigNum& exponent) const;

private:
    BigNum m_{};
    std::array<uint64_t, BIG_LIMBS + 1> twoM_{};  // 2m, for the steps of the generator 3
    BigNum rSquared_{};                           // R^2 mod m
    BigNum one_{};                                // R mod m, the Montgomery form of 1
    uint64_t n0_ = 0;                             // -m^-1 mod 2^64
    bool useAdx_ = false;
    bool lowOnes_ = false;  // low limb all ones: n0 is 1 and reductions skip a product
    bool ready_ = false;
};

}  // namespace vorpel
