// The call server's half of the key agreement, computed with OpenSSL: its
// public value, the registration reply that carries it, and the session key
// it derives from the terminal's public value.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "openssl_reference.h"
#include "security/big_num.h"
#include "security/oakley_group.h"

namespace vorpel::testing {

inline std::vector<uint8_t> primeBytes() {
    BigNum p;
    parseDecimal(OAKLEY_GROUP1_PRIME_DECIMAL, p);
    std::vector<uint8_t> out(96);
    exportBytes(p, out);
    return out;
}

inline std::vector<uint8_t> serverPublicValue(std::span<const uint8_t> serverPrivate) {
    return reference::modExp(std::vector<uint8_t>{3}, serverPrivate, primeBytes(), 96);
}

// A registration reply of `length` bytes (113 carries the whole public value).
inline std::vector<uint8_t> registrationReply(uint16_t terminalId, std::span<const uint8_t> serverPublic,
                                              size_t length = 113) {
    std::vector<uint8_t> reply(std::max(length, 17 + serverPublic.size()), 0);
    reply[1] = static_cast<uint8_t>(terminalId);
    reply[2] = static_cast<uint8_t>(terminalId >> 8);
    std::copy(serverPublic.begin(), serverPublic.end(), reply.begin() + 17);
    reply.resize(length);
    return reply;
}

// Z = terminalPublic^serverPrivate mod p as 96 bytes; the session key is
// HMAC-SHA-1(key Z[24..47], Z[0..23]) bytes 0-15, then
// HMAC-SHA-1(key Z[72..95], Z[48..71]) bytes 0-15.
inline std::array<uint8_t, 32> serverSessionKey(std::span<const uint8_t> terminalPublic,
                                                std::span<const uint8_t> serverPrivate) {
    const auto z = reference::modExp(terminalPublic, serverPrivate, primeBytes(), 96);
    const std::span<const uint8_t> zs(z);
    const auto h1 = reference::hmacSha1(zs.subspan(24, 24), zs.subspan(0, 24));
    const auto h2 = reference::hmacSha1(zs.subspan(72, 24), zs.subspan(48, 24));
    std::array<uint8_t, 32> key{};
    std::copy_n(h1.begin(), 16, key.begin());
    std::copy_n(h2.begin(), 16, key.begin() + 16);
    return key;
}

}  // namespace vorpel::testing
