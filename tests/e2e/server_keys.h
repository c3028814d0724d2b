// The server's side of the terminal's key agreement and voice encryption,
// for the scripted server, built on OpenSSL's libcrypto so that a test call
// cross-checks the terminal's own code.
//
// Diffie-Hellman over the 768-bit prime of RFC 2409 section 6.1 with
// generator 3; both public values travel as 96 bytes big-endian. The session
// key is HMAC-SHA1(Z[24..47], Z[0..23]) and HMAC-SHA1(Z[72..95], Z[48..71]),
// the first 16 bytes of each. Voice payloads are padded to whole 16-byte
// blocks (RTP padding, RFC 3550 section 5.1) and each block is encrypted with
// AES-256 on its own; the RTP header stays in the clear.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "scripted_server.h"

namespace vorpel::e2e {

inline constexpr size_t PUBLIC_VALUE_BYTES = 96;
inline constexpr size_t SESSION_KEY_BYTES = 32;

class ServerKeys {
public:
    // A fresh 256-bit private exponent and its public value.
    ServerKeys();

    const Bytes& publicValue() const { return publicValue_; }
    // Computes the session key from the terminal's public value (the last 96
    // bytes of a 137-byte registration request); false when it is unusable.
    bool agree(const Bytes& terminalPublicValue);
    const std::array<uint8_t, SESSION_KEY_BYTES>& sessionKey() const { return key_; }

    // A clear RTP packet (12-byte header, payload) padded and encrypted.
    Bytes seal(const Bytes& clearPacket) const;
    // The clear packet, padding removed and the padding bit cleared; nothing
    // when the payload is not whole blocks or its padding is malformed.
    std::optional<Bytes> open(const Bytes& packet) const;

    // The registration reply that carries the server's public value.
    Bytes registrationReply(uint16_t terminalId) const;

private:
    std::array<uint8_t, 32> exponent_{};
    Bytes publicValue_;
    std::array<uint8_t, SESSION_KEY_BYTES> key_{};
};

}  // namespace vorpel::e2e
