// SHA-1 (FIPS 180-1), used only inside hmacSha1 for the session key.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorpel {

inline constexpr size_t SHA1_DIGEST_SIZE = 20;
inline constexpr size_t SHA1_BLOCK_SIZE = 64;

class Sha1 {
public:
    Sha1() { reset(); }
    void reset();
    void update(std::span<const uint8_t> bytes);
    // Pads, writes the digest (each state word most significant byte first).
    // The object must be reset before it is reused.
    void finish(std::span<uint8_t, SHA1_DIGEST_SIZE> digest);

private:
    void compress();

    std::array<uint32_t, 5> state_{};
    uint64_t bitCount_ = 0;
    std::array<uint8_t, SHA1_BLOCK_SIZE> block_{};
    size_t used_ = 0;
};

}  // namespace vorpel
