#include "security/aes.h"

#include <bit>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vorpel {
namespace {

// Arithmetic in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1 (FIPS-197 4.2).
constexpr uint8_t xtime(uint8_t a) { return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0x00)); }
constexpr uint8_t gfMul(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    while (b != 0) {
        if (b & 1) product ^= a;
        a = xtime(a);
        b = static_cast<uint8_t>(b >> 1);
    }
    return product;
}

struct Tables {
    std::array<uint8_t, 256> sbox{};
    std::array<uint8_t, 256> inverseSbox{};
    std::array<std::array<uint32_t, 256>, 4> encrypt{};  // SubBytes + MixColumns, by row
    std::array<std::array<uint32_t, 256>, 4> decrypt{};  // InvSubBytes + InvMixColumns, by row
};

constexpr uint32_t column(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return static_cast<uint32_t>(b0) << 24 | static_cast<uint32_t>(b1) << 16 |
           static_cast<uint32_t>(b2) << 8 | b3;
}

// The S-box is the multiplicative inverse followed by the affine map of
// FIPS-197 5.1.1; inverses come from powers of the generator 3.
constexpr Tables makeTables() {
    Tables t{};
    std::array<uint8_t, 256> power{};
    std::array<uint8_t, 256> logarithm{};
    uint8_t x = 1;
    for (int i = 0; i < 255; ++i) {
        power[i] = x;
        logarithm[x] = static_cast<uint8_t>(i);
        x = static_cast<uint8_t>(x ^ xtime(x));
    }
    for (int i = 0; i < 256; ++i) {
        const uint8_t inverse = i == 0 ? 0 : power[(255 - logarithm[i]) % 255];
        uint8_t s = inverse;
        for (int k = 1; k <= 4; ++k) {
            s = static_cast<uint8_t>(s ^ static_cast<uint8_t>((inverse << k) | (inverse >> (8 - k))));
        }
        s ^= 0x63;
        t.sbox[i] = s;
        t.inverseSbox[s] = static_cast<uint8_t>(i);
    }
    for (int i = 0; i < 256; ++i) {
        const uint8_t s = t.sbox[i];
        const uint32_t e = column(gfMul(s, 2), s, s, gfMul(s, 3));
        const uint8_t v = t.inverseSbox[i];
        const uint32_t d = column(gfMul(v, 14), gfMul(v, 9), gfMul(v, 13), gfMul(v, 11));
        for (int r = 0; r < 4; ++r) {
            t.encrypt[r][i] = std::rotr(e, 8 * r);
            t.decrypt[r][i] = std::rotr(d, 8 * r);
        }
    }
    return t;
}

constexpr Tables TABLES = makeTables();
static_assert(TABLES.sbox[0x00] == 0x63 && TABLES.sbox[0x53] == 0xED && TABLES.inverseSbox[0x63] == 0x00);

uint32_t load(const uint8_t* p) { return column(p[0], p[1], p[2], p[3]); }
void store(uint8_t* p, uint32_t w) {
    p[0] = static_cast<uint8_t>(w >> 24);
    p[1] = static_cast<uint8_t>(w >> 16);
    p[2] = static_cast<uint8_t>(w >> 8);
    p[3] = static_cast<uint8_t>(w);
}
uint8_t byteOf(uint32_t w, int index) { return static_cast<uint8_t>(w >> (24 - 8 * index)); }

uint32_t subWord(uint32_t w) {
    return column(TABLES.sbox[byteOf(w, 0)], TABLES.sbox[byteOf(w, 1)], TABLES.sbox[byteOf(w, 2)],
                  TABLES.sbox[byteOf(w, 3)]);
}
uint32_t invMixColumn(uint32_t w) {
    // The decryption tables apply InvSubBytes first; SubBytes cancels it.
    return TABLES.decrypt[0][TABLES.sbox[byteOf(w, 0)]] ^ TABLES.decrypt[1][TABLES.sbox[byteOf(w, 1)]] ^
           TABLES.decrypt[2][TABLES.sbox[byteOf(w, 2)]] ^ TABLES.decrypt[3][TABLES.sbox[byteOf(w, 3)]];
}

}  // namespace

bool aesExpandKey(AesSchedule& schedule, std::span<const uint8_t> key) {
    if (key.size() != 16 && key.size() != 24 && key.size() != 32) return false;
    const int nk = static_cast<int>(key.size() / 4);
    const int nr = nk + 6;
    const int total = 4 * (nr + 1);
    auto& w = schedule.encryptKeys;
    for (int i = 0; i < nk; ++i) w[i] = load(key.data() + 4 * i);
    uint8_t rcon = 1;
    for (int i = nk; i < total; ++i) {
        uint32_t temp = w[i - 1];
        if (i % nk == 0) {
            temp = subWord(std::rotl(temp, 8)) ^ (static_cast<uint32_t>(rcon) << 24);
            rcon = xtime(rcon);
        } else if (nk > 6 && i % nk == 4) {
            temp = subWord(temp);
        }
        w[i] = w[i - nk] ^ temp;
    }
    auto& d = schedule.decryptKeys;
    for (int round = 0; round <= nr; ++round) {
        for (int c = 0; c < 4; ++c) {
            const uint32_t k = w[4 * (nr - round) + c];
            d[4 * round + c] = (round == 0 || round == nr) ? k : invMixColumn(k);
        }
    }
    for (size_t i = 0; i < static_cast<size_t>(total); ++i) {
        store(&schedule.encryptBytes[4 * i], w[i]);
        store(&schedule.decryptBytes[4 * i], d[i]);
    }
    schedule.keyWords = nk;
    schedule.rounds = nr;
    return true;
}

void aesEncryptBlockTables(const AesSchedule& schedule, const uint8_t* in, uint8_t* out) {
    const uint32_t* rk = schedule.encryptKeys.data();
    const auto& te = TABLES.encrypt;
    uint32_t s0 = load(in) ^ rk[0], s1 = load(in + 4) ^ rk[1], s2 = load(in + 8) ^ rk[2],
             s3 = load(in + 12) ^ rk[3];
    for (int round = 1; round < schedule.rounds; ++round) {
        rk += 4;
        const uint32_t t0 =
            te[0][s0 >> 24] ^ te[1][(s1 >> 16) & 0xFF] ^ te[2][(s2 >> 8) & 0xFF] ^ te[3][s3 & 0xFF] ^ rk[0];
        const uint32_t t1 =
            te[0][s1 >> 24] ^ te[1][(s2 >> 16) & 0xFF] ^ te[2][(s3 >> 8) & 0xFF] ^ te[3][s0 & 0xFF] ^ rk[1];
        const uint32_t t2 =
            te[0][s2 >> 24] ^ te[1][(s3 >> 16) & 0xFF] ^ te[2][(s0 >> 8) & 0xFF] ^ te[3][s1 & 0xFF] ^ rk[2];
        const uint32_t t3 =
            te[0][s3 >> 24] ^ te[1][(s0 >> 16) & 0xFF] ^ te[2][(s1 >> 8) & 0xFF] ^ te[3][s2 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const auto& s = TABLES.sbox;
    const auto last = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t e, uint32_t k) {
        return column(s[a >> 24], s[(b >> 16) & 0xFF], s[(c >> 8) & 0xFF], s[e & 0xFF]) ^ k;
    };
    store(out, last(s0, s1, s2, s3, rk[0]));
    store(out + 4, last(s1, s2, s3, s0, rk[1]));
    store(out + 8, last(s2, s3, s0, s1, rk[2]));
    store(out + 12, last(s3, s0, s1, s2, rk[3]));
}

void aesDecryptBlockTables(const AesSchedule& schedule, const uint8_t* in, uint8_t* out) {
    const uint32_t* rk = schedule.decryptKeys.data();
    const auto& td = TABLES.decrypt;
    uint32_t s0 = load(in) ^ rk[0], s1 = load(in + 4) ^ rk[1], s2 = load(in + 8) ^ rk[2],
             s3 = load(in + 12) ^ rk[3];
    for (int round = 1; round < schedule.rounds; ++round) {
        rk += 4;
        const uint32_t t0 =
            td[0][s0 >> 24] ^ td[1][(s3 >> 16) & 0xFF] ^ td[2][(s2 >> 8) & 0xFF] ^ td[3][s1 & 0xFF] ^ rk[0];
        const uint32_t t1 =
            td[0][s1 >> 24] ^ td[1][(s0 >> 16) & 0xFF] ^ td[2][(s3 >> 8) & 0xFF] ^ td[3][s2 & 0xFF] ^ rk[1];
        const uint32_t t2 =
            td[0][s2 >> 24] ^ td[1][(s1 >> 16) & 0xFF] ^ td[2][(s0 >> 8) & 0xFF] ^ td[3][s3 & 0xFF] ^ rk[2];
        const uint32_t t3 =
            td[0][s3 >> 24] ^ td[1][(s2 >> 16) & 0xFF] ^ td[2][(s1 >> 8) & 0xFF] ^ td[3][s0 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const auto& v = TABLES.inverseSbox;
    const auto last = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t e, uint32_t k) {
        return column(v[a >> 24], v[(b >> 16) & 0xFF], v[(c >> 8) & 0xFF], v[e & 0xFF]) ^ k;
    };
    store(out, last(s0, s3, s2, s1, rk[0]));
    store(out + 4, last(s1, s0, s3, s2, rk[1]));
    store(out + 8, last(s2, s1, s0, s3, rk[2]));
    store(out + 12, last(s3, s2, s1, s0, rk[3]));
}

#if defined(__x86_64__)
namespace {

template <bool ENCRYPT, bool LAST>
__attribute__((target("aes,sse2"), always_inline)) inline __m128i aesRound(__m128i block, __m128i key) {
    if constexpr (ENCRYPT) return LAST ? _mm_aesenclast_si128(block, key) : _mm_aesenc_si128(block, key);
    return LAST ? _mm_aesdeclast_si128(block, key) : _mm_aesdec_si128(block, key);
}

// WAYS independent blocks in one pass, round by round, so that the rounds'
// latencies overlap: a pass over up to eight blocks costs little more than
// one block. AESDEC is the equivalent inverse cipher's round: it takes the
// decryption schedule as it stands.
template <size_t WAYS, bool ENCRYPT>
__attribute__((target("aes,sse2"), always_inline)) inline void passWithInstructions(
    const AesSchedule& schedule, const uint8_t* in, uint8_t* out) {
    const auto* keys = reinterpret_cast<const __m128i*>(ENCRYPT ? schedule.encryptBytes.data()
                                                                : schedule.decryptBytes.data());
    const auto* source = reinterpret_cast<const __m128i*>(in);
    auto* target = reinterpret_cast<__m128i*>(out);
    __m128i b[WAYS];
    const __m128i first = _mm_load_si128(keys);
#pragma GCC unroll 8
    for (size_t k = 0; k < WAYS; ++k) b[k] = _mm_xor_si128(_mm_loadu_si128(source + k), first);
    const int rounds = schedule.rounds;
    for (int r = 1; r < rounds; ++r) {
        const __m128i key = _mm_load_si128(keys + r);
#pragma GCC unroll 8
        for (size_t k = 0; k < WAYS; ++k) b[k] = aesRound<ENCRYPT, false>(b[k], key);
    }
    const __m128i last = _mm_load_si128(keys + rounds);
#pragma GCC unroll 8
    for (size_t k = 0; k < WAYS; ++k) _mm_storeu_si128(target + k, aesRound<ENCRYPT, true>(b[k], last));
}

template <bool ENCRYPT>
__attribute__((target("aes,sse2"))) void oneWithInstructions(const AesSchedule& schedule, const uint8_t* in,
                                                             uint8_t* out) {
    passWithInstructions<1, ENCRYPT>(schedule, in, out);
}

// The last pass, over the one to seven blocks that remain.
template <bool ENCRYPT, size_t... WAYS>
__attribute__((target("aes,sse2"))) void restWithInstructions(const AesSchedule& schedule, uint8_t* blocks,
                                                              size_t count, std::index_sequence<WAYS...>) {
    ((count == WAYS + 1 ? passWithInstructions<WAYS + 1, ENCRYPT>(schedule, blocks, blocks) : void()), ...);
}

template <bool ENCRYPT>
__attribute__((target("aes,sse2"))) void blocksWithInstructions(const AesSchedule& schedule, uint8_t* blocks,
                                                                size_t count) {
    constexpr size_t WIDEST = 8;
    for (; count >= WIDEST; count -= WIDEST, blocks += WIDEST * AES_BLOCK_BYTES)
        passWithInstructions<WIDEST, ENCRYPT>(schedule, blocks, blocks);
    restWithInstructions<ENCRYPT>(schedule, blocks, count, std::make_index_sequence<WIDEST - 1>());
}

}  // namespace

bool aesInstructionsAvailable() {
    static const bool available = __builtin_cpu_supports("aes");
    return available;
}
#else
namespace {
template <bool ENCRYPT>
void blocksWithInstructions(const AesSchedule&, uint8_t*, size_t) {}
template <bool ENCRYPT>
void oneWithInstructions(const AesSchedule&, const uint8_t*, uint8_t*) {}
}  // namespace

bool aesInstructionsAvailable() { return false; }
#endif

namespace {

// An unkeyed schedule (no rounds) never reaches the instructions.
bool useInstructions(const AesSchedule& schedule) {
    return aesInstructionsAvailable() && schedule.rounds != 0;
}

template <bool ENCRYPT>
void blocksWithTables(const AesSchedule& schedule, uint8_t* blocks, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint8_t* block = blocks + AES_BLOCK_BYTES * i;
        if constexpr (ENCRYPT) {
            aesEncryptBlockTables(schedule, block, block);
        } else {
            aesDecryptBlockTables(schedule, block, block);
        }
    }
}

}  // namespace

void aesEncryptBlock(const AesSchedule& schedule, const uint8_t* in, uint8_t* out) {
    if (useInstructions(schedule)) {
        oneWithInstructions<true>(schedule, in, out);
    } else {
        aesEncryptBlockTables(schedule, in, out);
    }
}

void aesDecryptBlock(const AesSchedule& schedule, const uint8_t* in, uint8_t* out) {
    if (useInstructions(schedule)) {
        oneWithInstructions<false>(schedule, in, out);
    } else {
        aesDecryptBlockTables(schedule, in, out);
    }
}

void aesEncryptBlocks(const AesSchedule& schedule, uint8_t* blocks, size_t count) {
    if (useInstructions(schedule)) {
        blocksWithInstructions<true>(schedule, blocks, count);
    } else {
        blocksWithTables<true>(schedule, blocks, count);
    }
}

void aesDecryptBlocks(const AesSchedule& schedule, uint8_t* blocks, size_t count) {
    if (useInstructions(schedule)) {
        blocksWithInstructions<false>(schedule, blocks, count);
    } else {
        blocksWithTables<false>(schedule, blocks, count);
    }
}

}  // namespace vorpel
