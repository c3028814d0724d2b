// Fixed-width unsigned integers of up to 768 bits for the Diffie-Hellman key
// agreement: the modulus, public values and shared secrets (768 bits) and the
// private exponents (256 bits).
//
// A BigNum is a value type of twelve 64-bit limbs, least significant first;
// temporaries live on the caller's stack, nothing is allocated. Results that
// outlive an operation are kept as fixed-width big-endian byte strings.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vorpel {

class RandomGenerator;

inline constexpr size_t BIG_LIMBS = 12;
inline constexpr size_t BIG_BYTES = 8 * BIG_LIMBS;  // 96

struct BigNum {
    std::array<uint64_t, BIG_LIMBS> limbs{};

    bool isZero() const;
    size_t bitLength() const;
    bool bit(size_t index) const { return (limbs[index / 64] >> (index % 64)) & 1; }
    static BigNum fromWord(uint64_t value);
    friend bool operator==(const BigNum&, const BigNum&) = default;
};

// a >= b.
bool greaterOrEqual(const BigNum& a, const BigNum& b);

// The bytes read as one unsigned big-endian number. Leading zero bytes are
// skipped; a field longer than 96 bytes must begin with zero bytes, otherwise
// only its low 768 bits are kept and false is returned.
bool importBytes(std::span<const uint8_t> bytes, BigNum& value);
BigNum importBytes(std::span<const uint8_t> bytes);

// The value written big-endian, right-aligned, into exactly out.size() bytes,
// the bytes before it 0. A value that does not fit leaves out all zero and
// returns false.
bool exportBytes(const BigNum& value, std::span<uint8_t> out);

// Decimal digits, most significant first; no sign, no separators. False for an
// empty text, any other character, or a value of 2^768 or more.
bool parseDecimal(std::string_view text, BigNum& value);

// A uniformly random value below 2^256 made of 32-bit words of the generator,
// the first word drawn the least significant: words are appended as new most
// significant words until the number exceeds 2^256 (nine draws, a tenth when
// the ninth is 0, or is 1 with all below it 0); the low 256 bits are kept.
template <class NextWord>
BigNum randomBits256(NextWord&& nextWord) {
    constexpr size_t WORDS = 8;  // 256 bits of 32-bit words
    std::array<uint32_t, WORDS> low{};
    bool lowNonZero = false;
    for (auto& word : low) {
        word = nextWord();
        lowNonZero |= word != 0;
    }
    // Nine words: greater than 2^256 unless the top word is 0, or is 1 over
    // an all-zero rest. Ten words always count as greater. The extra words
    // are discarded.
    const uint32_t ninth = nextWord();
    if (!(ninth > 1 || (ninth == 1 && lowNonZero))) nextWord();
    BigNum result;
    for (size_t i = 0; i < WORDS; ++i) result.limbs[i / 2] |= static_cast<uint64_t>(low[i]) << (32 * (i % 2));
    return result;
}
BigNum randomBits256(RandomGenerator& generator);

}  // namespace vorpel
