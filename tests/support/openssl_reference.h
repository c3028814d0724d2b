// Results computed by OpenSSL's libcrypto, the independent reference that
// the tests hold the terminal's own cryptography against.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vorpel::reference {

std::array<uint8_t, 16> md5(std::span<const uint8_t> message);
std::array<uint8_t, 20> hmacSha1(std::span<const uint8_t> key, std::span<const uint8_t> message);
// AES in ECB use without padding; data is whole blocks.
std::vector<uint8_t> aesEncrypt(std::span<const uint8_t> key, std::span<const uint8_t> data);
std::vector<uint8_t> aesDecrypt(std::span<const uint8_t> key, std::span<const uint8_t> data);
// base^exponent mod modulus on big-endian byte strings; the result is written
// right-aligned into `width` bytes.
std::vector<uint8_t> modExp(std::span<const uint8_t> base, std::span<const uint8_t> exponent,
                            std::span<const uint8_t> modulus, size_t width);

}  // namespace vorpel::reference
