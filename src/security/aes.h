// The AES block cipher (FIPS-197) on 16-byte blocks in FIPS-197 byte order,
// with the equivalent inverse cipher for decryption. Processors with the AES
// instructions (checked at run time) use them; others use lookup tables.
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
    // Both schedules again as bytes in FIPS-197 order, for the AES instructions.
    alignas(16) std::array<uint8_t, 16 * (AES_MAX_ROUNDS + 1)> encryptBytes{};
    alignas(16) std::array<uint8_t, 16 * (AES_MAX_ROUNDS + 1)> decryptBytes{};
};

// Expands a 16-, 24- or 32-byte key into both schedules. Any other length
// leaves the schedule unchanged and returns false.
bool aesExpandKey(AesSchedule& schedule, std::span<const uint8_t> key);

// in and out may be the same block.
void aesEncryptBlock(const AesSchedule& schedule, const uint8_t* in, uint8_t* out);
void aesDecryptBlock(const AesSchedule& schedule, const uint8_t* in, uint8_t* out);

// count consecutive blocks in place, each on its own (as many separate block
// operations); the AES instructions work on four blocks at once.
void aesEncryptBlocks(const AesSchedule& schedule, uint8_t* blocks, size_t count);
void aesDecryptBlocks(const AesSchedule& schedule, uint8_t* blocks, size_t count);

// The table-driven code alone, whatever the processor (tests compare both).
void aesEncryptBlockTables(const AesSchedule& schedule, const uint8_t* in, uint8_t* out);
void aesDecryptBlockTables(const AesSchedule& schedule, const uint8_t* in, uint8_t* out);
bool aesInstructionsAvailable();

}  // namespace vorpel
