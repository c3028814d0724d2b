#include "security/big_num.h"

#include "security/random_generator.h"

namespace vorpel {
namespace {
__extension__ typedef unsigned __int128 u128;
}  // namespace

bool BigNum::isZero() const {
    for (uint64_t limb : limbs) {
        if (limb != 0) return false;
    }
    return true;
}

size_t BigNum::bitLength() const {
    for (size_t i = BIG_LIMBS; i-- > 0;) {
        if (limbs[i] != 0) return 64 * i + 64 - static_cast<size_t>(__builtin_clzll(limbs[i]));
    }
    return 0;
}

BigNum BigNum::fromWord(uint64_t value) {
    BigNum n;
    n.limbs[0] = value;
    return n;
}

bool greaterOrEqual(const BigNum& a, const BigNum& b) {
    for (size_t i = BIG_LIMBS; i-- > 0;) {
        if (a.limbs[i] != b.limbs[i]) return a.limbs[i] > b.limbs[i];
    }
    return true;
}

bool importBytes(std::span<const uint8_t> bytes, BigNum& value) {
    value = BigNum{};
    bool fits = true;
    const size_t n = bytes.size();
    for (size_t k = 0; k < n; ++k) {
        const uint8_t b = bytes[n - 1 - k];  // k-th least significant byte
        if (k < BIG_BYTES) {
            value.limbs[k / 8] |= static_cast<uint64_t>(b) << (8 * (k % 8));
        } else if (b != 0) {
            fits = false;
        }
    }
    return fits;
}

BigNum importBytes(std::span<const uint8_t> bytes) {
    BigNum value;
    importBytes(bytes, value);
    return value;
}

bool exportBytes(const BigNum& value, std::span<uint8_t> out) {
    const size_t n = out.size();
    if (value.bitLength() > 8 * n) {
        for (auto& b : out) b = 0;
        return false;
    }
    for (size_t k = 0; k < n; ++k) {
        out[n - 1 - k] =
            k < BIG_BYTES ? static_cast<uint8_t>(value.limbs[k / 8] >> (8 * (k % 8))) : uint8_t{0};
    }
    return true;
}

bool parseDecimal(std::string_view text, BigNum& value) {
    if (text.empty()) return false;
    BigNum acc;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        uint64_t carry = static_cast<uint64_t>(c - '0');
        for (auto& limb : acc.limbs) {
            const u128 t = static_cast<u128>(limb) * 10 + carry;
            limb = static_cast<uint64_t>(t);
            carry = static_cast<uint64_t>(t >> 64);
        }
        if (carry != 0) return false;
    }
    value = acc;
    return true;
}

BigNum randomBits256(RandomGenerator& generator) {
    return randomBits256([&generator] { return generator.nextRandomWord(); });
}

}  // namespace vorpel
