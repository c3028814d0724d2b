#include "security/hmac_sha1.h"

#include <algorithm>
#include <array>
#include <span>

#include "security/sha1.h"

namespace vorpel {

void hmacSha1(const uint8_t* message, size_t messageLength, const uint8_t* key, size_t keyLength,
              uint8_t* out) {
    std::array<uint8_t, SHA1_BLOCK_SIZE> innerPad{};
    std::array<uint8_t, SHA1_BLOCK_SIZE> outerPad{};
    Sha1 sha;
    if (keyLength > SHA1_BLOCK_SIZE) {
        sha.update({key, keyLength});
        sha.finish(std::span<uint8_t, SHA1_DIGEST_SIZE>(innerPad.data(), SHA1_DIGEST_SIZE));
        sha.reset();
    } else {
        std::copy_n(key, keyLength, innerPad.begin());
    }
    outerPad = innerPad;
    for (auto& b : innerPad) b ^= 0x36;
    for (auto& b : outerPad) b ^= 0x5C;

    sha.update(innerPad);
    sha.update({message, messageLength});
    const std::span<uint8_t, SHA1_DIGEST_SIZE> result(out, SHA1_DIGEST_SIZE);
    sha.finish(result);  // the inner digest passes through out

    sha.reset();
    sha.update(outerPad);
    sha.update(result);
    std::array<uint8_t, SHA1_DIGEST_SIZE> outer{};
    sha.finish(outer);
    std::copy(outer.begin(), outer.end(), out);
}

}  // namespace vorpel
