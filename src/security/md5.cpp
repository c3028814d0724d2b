#include "security/md5.h"

#include <algorithm>
#include <bit>

namespace vorpel {
namespace {

// RFC 1321 section 3.4: per-step additive constants floor(2^32 * |sin(i + 1)|)
// and the rotation amounts of the four rounds.
constexpr std::array<uint32_t, 64> SINE_TABLE = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
constexpr std::array<int, 16> SHIFTS = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

uint32_t loadLittle(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void compress(std::array<uint32_t, 4>& state, const uint8_t* block) {
    std::array<uint32_t, 16> x{};
    for (size_t i = 0; i < 16; ++i) x[i] = loadLittle(block + 4 * i);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (unsigned i = 0; i < 64; ++i) {
        uint32_t f = 0;
        unsigned g = 0;
        switch (i / 16) {
        case 0:
            f = (b & c) | (~b & d);
            g = i;
            break;
        case 1:
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
            break;
        case 2:
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
            break;
        default:
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
            break;
        }
        const uint32_t sum = a + f + SINE_TABLE[i] + x[g];
        a = d;
        d = c;
        c = b;
        b = b + std::rotl(sum, SHIFTS[(i / 16) * 4 + i % 4]);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

void md5Init(Md5Context& context) {
    context.bitCount = {0, 0};
    context.state = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    context.buffer.fill(0);
}

void md5Update(Md5Context& context, std::span<const uint8_t> bytes) {
    size_t used = (context.bitCount[0] >> 3) & (MD5_BLOCK_SIZE - 1);
    const uint64_t bits = (static_cast<uint64_t>(context.bitCount[1]) << 32 | context.bitCount[0]) +
                          (static_cast<uint64_t>(bytes.size()) << 3);
    context.bitCount = {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)};

    size_t pos = 0;
    if (used != 0) {
        const size_t take = std::min(MD5_BLOCK_SIZE - used, bytes.size());
        std::copy_n(bytes.begin(), take, context.buffer.begin() + static_cast<ptrdiff_t>(used));
        pos = take;
        used += take;
        if (used < MD5_BLOCK_SIZE) return;
        compress(context.state, context.buffer.data());
    }
    for (; bytes.size() - pos >= MD5_BLOCK_SIZE; pos += MD5_BLOCK_SIZE)
        compress(context.state, bytes.data() + pos);
    std::copy(bytes.begin() + static_cast<ptrdiff_t>(pos), bytes.end(), context.buffer.begin());
}

void md5Final(Md5Context& context, std::span<uint8_t, MD5_DIGEST_SIZE> digest) {
    std::array<uint8_t, 8> length{};
    for (size_t i = 0; i < 8; ++i) {
        length[i] = static_cast<uint8_t>(context.bitCount[i / 4] >> (8 * (i % 4)));
    }
    // One 0x80 byte, then zeros up to 56 mod 64, then the bit count.
    const size_t used = (context.bitCount[0] >> 3) & (MD5_BLOCK_SIZE - 1);
    const size_t padLength = used < 56 ? 56 - used : 120 - used;
    std::array<uint8_t, MD5_BLOCK_SIZE + 8> padding{};
    padding[0] = 0x80;
    md5Update(context, std::span<const uint8_t>(padding.data(), padLength));
    md5Update(context, length);
    for (size_t i = 0; i < MD5_DIGEST_SIZE; ++i) {
        digest[i] = static_cast<uint8_t>(context.state[i / 4] >> (8 * (i % 4)));
    }
}

}  // namespace vorpel
