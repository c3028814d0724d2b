// HMAC-SHA-1 (RFC 2104), the key-derivation step of the session key.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorpel {

// Writes HMAC-SHA-1 of message under key into out (20 bytes).
//
// The session-key derivation relies on two properties:
//  - the key is copied and the message consumed completely before the first
//    byte of out is written, so out may overlap the message or the key;
//  - out receives the inner digest, which the outer hash then reads back from
//    out, before the final value overwrites it.
// Keys longer than the 64-byte block are hashed first, as RFC 2104 says; the
// terminal itself only ever passes 24-byte keys.
void hmacSha1(const uint8_t* message, size_t messageLength, const uint8_t* key, size_t keyLength,
              uint8_t* out);

}  // namespace vorpel
