#include "security/sha1.h"

#include <algorithm>
#include <bit>

namespace vorpel {

void Sha1::reset() {
    state_ = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    bitCount_ = 0;
    used_ = 0;
}

void Sha1::compress() {
    std::array<uint32_t, 80> w{};
    for (size_t i = 0; i < 16; ++i) {
        w[i] = static_cast<uint32_t>(block_[4 * i]) << 24 | static_cast<uint32_t>(block_[4 * i + 1]) << 16 |
               static_cast<uint32_t>(block_[4 * i + 2]) << 8 | block_[4 * i + 3];
    }
    for (size_t i = 16; i < 80; ++i) w[i] = std::rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (size_t i = 0; i < 80; ++i) {
        uint32_t f = 0, k = 0;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const uint32_t t = std::rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = std::rotl(b, 30);
        b = a;
        a = t;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void Sha1::update(std::span<const uint8_t> bytes) {
    bitCount_ += static_cast<uint64_t>(bytes.size()) << 3;
    while (!bytes.empty()) {
        const size_t take = std::min(SHA1_BLOCK_SIZE - used_, bytes.size());
        std::copy_n(bytes.begin(), take, block_.begin() + static_cast<ptrdiff_t>(used_));
        used_ += take;
        bytes = bytes.subspan(take);
        if (used_ == SHA1_BLOCK_SIZE) {
            compress();
            used_ = 0;
        }
    }
}

void Sha1::finish(std::span<uint8_t, SHA1_DIGEST_SIZE> digest) {
    const uint64_t bits = bitCount_;
    block_[used_++] = 0x80;
    if (used_ > SHA1_BLOCK_SIZE - 8) {
        std::fill(block_.begin() + static_cast<ptrdiff_t>(used_), block_.end(), uint8_t{0});
        compress();
        used_ = 0;
    }
    std::fill(block_.begin() + static_cast<ptrdiff_t>(used_), block_.end() - 8, uint8_t{0});
    for (size_t i = 0; i < 8; ++i) block_[SHA1_BLOCK_SIZE - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    compress();
    for (size_t i = 0; i < SHA1_DIGEST_SIZE; ++i) {
        digest[i] = static_cast<uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
    }
}

}  // namespace vorpel
