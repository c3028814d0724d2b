// Key-pair generation (3^x mod p), derivation (Y^x mod p), AES-256, MD5 and
// HMAC-SHA-1: the terminal's own code next to GMP and OpenSSL on the same
// operands. Names pair up: Pow/vorpel, Pow/gmp, Pow/openssl, ...
#include <benchmark/benchmark.h>
#include <gmp.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <array>
#include <random>
#include <vector>

#include "security/aes.h"
#include "security/big_num.h"
#include "security/hmac_sha1.h"
#include "security/md5.h"
#include "security/modular_power.h"
#include "security/oakley_group.h"

namespace vorpel {
namespace {

constexpr size_t OPERAND_SETS = 16;

// Fixed operands: random 256-bit exponents and random public values below p.
struct Operands {
    BigNum p;
    ModularPower group;
    std::array<std::array<uint8_t, 32>, OPERAND_SETS> exponents{};
    std::array<std::array<uint8_t, 96>, OPERAND_SETS> bases{};
    std::array<uint8_t, 96> pBytes{};

    Operands() {
        parseDecimal(OAKLEY_GROUP1_PRIME_DECIMAL, p);
        group.setModulus(p);
        exportBytes(p, pBytes);
        std::mt19937_64 rng(2409);
        for (size_t i = 0; i < OPERAND_SETS; ++i) {
            for (auto& b : exponents[i]) b = static_cast<uint8_t>(rng());
            exponents[i][0] |= 0x80;  // full 256 bits
            for (auto& b : bases[i]) b = static_cast<uint8_t>(rng());
            bases[i][0] = 0x7F;  // below p
        }
    }
};

const Operands& operands() {
    static const Operands o;
    return o;
}

void powSmallBaseVorpel(benchmark::State& state) {
    const auto& o = operands();
    size_t i = 0;
    for (auto _ : state) {
        const BigNum x = importBytes(o.exponents[i++ % OPERAND_SETS]);
        benchmark::DoNotOptimize(o.group.powSmallBase(3, x));
    }
}

void powVorpel(benchmark::State& state) {
    const auto& o = operands();
    size_t i = 0;
    for (auto _ : state) {
        const size_t k = i++ % OPERAND_SETS;
        benchmark::DoNotOptimize(o.group.pow(importBytes(o.bases[k]), importBytes(o.exponents[k])));
    }
}

void gmpPow(benchmark::State& state, bool smallBase) {
    const auto& o = operands();
    mpz_t p, base, result;
    mpz_inits(p, base, result, nullptr);
    mpz_import(p, o.pBytes.size(), 1, 1, 1, 0, o.pBytes.data());
    std::array<mpz_t, OPERAND_SETS> exponents;
    std::array<mpz_t, OPERAND_SETS> bases;
    for (size_t k = 0; k < OPERAND_SETS; ++k) {
        mpz_init(exponents[k]);
        mpz_import(exponents[k], 32, 1, 1, 1, 0, o.exponents[k].data());
        mpz_init(bases[k]);
        if (smallBase)
            mpz_set_ui(bases[k], 3);
        else
            mpz_import(bases[k], 96, 1, 1, 1, 0, o.bases[k].data());
    }
    size_t i = 0;
    for (auto _ : state) {
        const size_t k = i++ % OPERAND_SETS;
        mpz_powm(result, bases[k], exponents[k], p);
        benchmark::DoNotOptimize(result[0]._mp_d);
    }
    for (size_t k = 0; k < OPERAND_SETS; ++k) mpz_clears(exponents[k], bases[k], nullptr);
    mpz_clears(p, base, result, nullptr);
}

void opensslPow(benchmark::State& state, bool smallBase) {
    const auto& o = operands();
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* p = BN_bin2bn(o.pBytes.data(), 96, nullptr);
    BIGNUM* result = BN_new();
    BN_MONT_CTX* mont = BN_MONT_CTX_new();
    BN_MONT_CTX_set(mont, p, ctx);
    std::array<BIGNUM*, OPERAND_SETS> exponents{};
    std::array<BIGNUM*, OPERAND_SETS> bases{};
    for (size_t k = 0; k < OPERAND_SETS; ++k) {
        exponents[k] = BN_bin2bn(o.exponents[k].data(), 32, nullptr);
        bases[k] = smallBase ? BN_new() : BN_bin2bn(o.bases[k].data(), 96, nullptr);
        if (smallBase) BN_set_word(bases[k], 3);
    }
    size_t i = 0;
    for (auto _ : state) {
        const size_t k = i++ % OPERAND_SETS;
        if (smallBase)
            BN_mod_exp_mont_word(result, 3, exponents[k], p, ctx, mont);
        else
            BN_mod_exp(result, bases[k], exponents[k], p, ctx);
        benchmark::DoNotOptimize(result);
    }
    for (size_t k = 0; k < OPERAND_SETS; ++k) {
        BN_free(exponents[k]);
        BN_free(bases[k]);
    }
    BN_MONT_CTX_free(mont);
    BN_free(result);
    BN_free(p);
    BN_CTX_free(ctx);
}

// The same operations with the processor's MULX/ADX path switched off.
void powSmallBasePortable(benchmark::State& state) {
    const auto& o = operands();
    ModularPower group = o.group;
    group.usePortableArithmetic();
    size_t i = 0;
    for (auto _ : state) {
        const BigNum x = importBytes(o.exponents[i++ % OPERAND_SETS]);
        benchmark::DoNotOptimize(group.powSmallBase(3, x));
    }
}
void powPortable(benchmark::State& state) {
    const auto& o = operands();
    ModularPower group = o.group;
    group.usePortableArithmetic();
    size_t i = 0;
    for (auto _ : state) {
        const size_t k = i++ % OPERAND_SETS;
        benchmark::DoNotOptimize(group.pow(importBytes(o.bases[k]), importBytes(o.exponents[k])));
    }
}
BENCHMARK(powSmallBasePortable)->Name("PowSmallBase/vorpel_portable");
BENCHMARK(powPortable)->Name("Pow/vorpel_portable");

BENCHMARK(powSmallBaseVorpel)->Name("PowSmallBase/vorpel");
BENCHMARK_CAPTURE(gmpPow, small, true)->Name("PowSmallBase/gmp");
BENCHMARK_CAPTURE(opensslPow, small, true)->Name("PowSmallBase/openssl");
BENCHMARK(powVorpel)->Name("Pow/vorpel");
BENCHMARK_CAPTURE(gmpPow, big, false)->Name("Pow/gmp");
BENCHMARK_CAPTURE(opensslPow, big, false)->Name("Pow/openssl");

// AES-256 with a key expanded beforehand, as the traffic ciphers hold it:
// one 16-byte block on its own (Aes256Block), and a voice payload of 80
// (8 frames), 112 (10 frames, padded) or 208 bytes (20 frames, padded) as
// consecutive blocks (Aes256Payload). OpenSSL runs the same electronic
// codebook blocks through an EVP context keyed once.
struct AesKey {
    std::array<uint8_t, 32> bytes{};
    AesKey() { bytes.fill(0x3C); }
};

void aesBlockVorpel(benchmark::State& state) {
    AesSchedule schedule;
    aesExpandKey(schedule, AesKey().bytes);
    std::array<uint8_t, AES_BLOCK_BYTES> block{};
    for (auto _ : state) {
        aesEncryptBlock(schedule, block.data(), block.data());
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * AES_BLOCK_BYTES));
}

void aesPayloadVorpel(benchmark::State& state) {
    AesSchedule schedule;
    aesExpandKey(schedule, AesKey().bytes);
    const auto bytes = static_cast<size_t>(state.range(0));
    std::array<uint8_t, 208> data{};
    for (auto _ : state) {
        aesEncryptBlocks(schedule, data.data(), bytes / AES_BLOCK_BYTES);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void aesOpenssl(benchmark::State& state, size_t bytes) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_aes_256_ecb(), nullptr, AesKey().bytes.data(), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    if (bytes == 0) bytes = static_cast<size_t>(state.range(0));
    std::array<uint8_t, 208> data{};
    int length = 0;
    for (auto _ : state) {
        EVP_EncryptUpdate(ctx, data.data(), &length, data.data(), static_cast<int>(bytes));
        benchmark::DoNotOptimize(data.data());
    }
    EVP_CIPHER_CTX_free(ctx);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

BENCHMARK(aesBlockVorpel)->Name("Aes256Block/vorpel");
BENCHMARK_CAPTURE(aesOpenssl, block, AES_BLOCK_BYTES)->Name("Aes256Block/openssl");
BENCHMARK(aesPayloadVorpel)->Name("Aes256Payload/vorpel")->Arg(80)->Arg(112)->Arg(208);
BENCHMARK_CAPTURE(aesOpenssl, payload, 0)->Name("Aes256Payload/openssl")->Arg(80)->Arg(112)->Arg(208);

constexpr size_t DIGEST_BYTES = 4096;

void md5Vorpel(benchmark::State& state) {
    std::vector<uint8_t> data(DIGEST_BYTES, 0x61);
    std::array<uint8_t, 16> digest{};
    for (auto _ : state) {
        Md5Context context;
        md5Init(context);
        md5Update(context, data);
        md5Final(context, digest);
        benchmark::DoNotOptimize(digest.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * DIGEST_BYTES));
}

void md5Openssl(benchmark::State& state) {
    std::vector<uint8_t> data(DIGEST_BYTES, 0x61);
    std::array<uint8_t, 16> digest{};
    unsigned int size = 0;
    for (auto _ : state) {
        EVP_Digest(data.data(), data.size(), digest.data(), &size, EVP_md5(), nullptr);
        benchmark::DoNotOptimize(digest.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * DIGEST_BYTES));
}

void hmacVorpel(benchmark::State& state) {
    std::vector<uint8_t> data(DIGEST_BYTES, 0x61);
    std::array<uint8_t, 24> key{};
    std::array<uint8_t, 20> mac{};
    for (auto _ : state) {
        hmacSha1(data.data(), data.size(), key.data(), key.size(), mac.data());
        benchmark::DoNotOptimize(mac.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * DIGEST_BYTES));
}

void hmacOpenssl(benchmark::State& state) {
    std::vector<uint8_t> data(DIGEST_BYTES, 0x61);
    std::array<uint8_t, 24> key{};
    std::array<uint8_t, 20> mac{};
    unsigned int size = 0;
    for (auto _ : state) {
        HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), mac.data(),
             &size);
        benchmark::DoNotOptimize(mac.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * DIGEST_BYTES));
}

BENCHMARK(md5Vorpel)->Name("Md5/vorpel");
BENCHMARK(md5Openssl)->Name("Md5/openssl");
BENCHMARK(hmacVorpel)->Name("HmacSha1/vorpel");
BENCHMARK(hmacOpenssl)->Name("HmacSha1/openssl");

}  // namespace
}  // namespace vorpel
