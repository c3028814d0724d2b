// The AES block cipher (FIPS-197) on 16-byte blocks in FIPS-197 byte order,
// table-driven, with the equivalent inverse cipher for decryption.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorpel {

inline constexpr size_t AES_BLOCK_BYTES = 16;
inline constexpr int AES_MAX_ROUNDS = 14;

struct AesSchedule {
    int keyWords = 0;  // Nk: 4, 6 or 8
    int rounds = 0;    // Nr = Nk + 6
    // FIPS-197 key schedule, one 32-bit word per column (first byte most significant).
    std::array<uint32_t, 4 * (AES_MAX_ROUNDS + 1)> encryptKeys{};
    // The same round keys in reverse order, InvMixColumns applied to all but
    // the first and the last (FIPS-197 5.3.5).
    std::array<uint32_t, 4 * (AES_MAX_ROUNDS + 1)> decryptKeys{};
};

// Expands a 16-, 24- or 32-byte key into both schedules. Any other length
// leaves the schedule unchanged and returns false.
bool aesExpandKey(AesSchedule& schedule, std::span<const uint8_t> key);

// in and out may be the same block.
void aesEncryptBlock(const AesSchedule& schedule, const uint8_t* in, uint8_t* out);
void aesDecryptBlock(const AesSchedule& schedule, const uint8_t* in, uint8_t* out);

}  // namespace vorpel
