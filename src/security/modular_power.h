// Modular exponentiation for the 768-bit Diffie-Hellman group: Montgomery
// arithmetic (R = 2^768) on twelve 64-bit limbs.
//
// The modulus is fixed when the object is set up; the Montgomery constants are
// computed then, so each power costs only its multiplications. All results are
// exact residues in 0 .. m-1. Nothing is allocated; the object is read-only
// after setModulus and may be shared by threads.
#pragma once

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

    // base^exponent mod m for a small base (the group's generator 3); the
    // squarings are Montgomery squarings, the multiplications by the base
    // cheap scalar steps. Bases of 256 or more go through pow().
    BigNum powSmallBase(uint32_t base, const BigNum& exponent) const;
    // base^exponent mod m for any base below 2^768 (a base of m or more is
    // reduced); fixed 4-bit windows.
    BigNum pow(const BigNum& base, const BigNum& exponent) const;

private:
    BigNum m_{};
    BigNum rSquared_{};  // R^2 mod m
    BigNum one_{};       // R mod m, the Montgomery form of 1
    uint64_t n0_ = 0;    // -m^-1 mod 2^64
    bool useAdx_ = false;
    bool ready_ = false;
};

}  // namespace vorpel
