// MD5 message digest (RFC 1321): the credential proof of the registration
// request is the first half of an MD5 digest.
//
// The context belongs to the caller (usually on its stack), so the functions
// are reentrant.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorpel {

inline constexpr size_t MD5_DIGEST_SIZE = 16;
inline constexpr size_t MD5_BLOCK_SIZE = 64;

struct Md5Context {
    std::array<uint32_t, 2> bitCount{};            // message bits so far, low word first, modulo 2^64
    std::array<uint32_t, 4> state{};               // chaining value
    std::array<uint8_t, MD5_BLOCK_SIZE> buffer{};  // partial block not yet compressed
};

void md5Init(Md5Context& context);
// Adds the bytes to the message; an empty span adds nothing.
void md5Update(Md5Context& context, std::span<const uint8_t> bytes);
// Appends the RFC 1321 padding and the bit count, writes the digest (state
// words in order, each least significant byte first). The context must be
// initialised again before it is reused.
void md5Final(Md5Context& context, std::span<uint8_t, MD5_DIGEST_SIZE> digest);

}  // namespace vorpel
