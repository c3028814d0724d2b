// The call server's cryptography, built on OpenSSL's libcrypto so that it
// shares no code with the terminal's own: the MD5 credential proof, the
// Diffie-Hellman key agreement over the 768-bit MODP group of RFC 2409
// (section 6.1) with generator 3, the HMAC-SHA-1 derivation of the 32-byte
// session key, and AES-256 block encryption of voice payloads (FIPS-197,
// each 16-byte block on its own).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace vorpel::callserver {

inline constexpr size_t CREDENTIAL_PROOF_SIZE = 8;
inline constexpr size_t DH_PRIVATE_SIZE = 32;
inline constexpr size_t DH_PUBLIC_SIZE = 96;
inline constexpr size_t SESSION_KEY_SIZE = 32;
inline constexpr size_t CIPHER_BLOCK_SIZE = 16;

using CredentialProof = std::array<uint8_t, CREDENTIAL_PROOF_SIZE>;
using DhPrivate = std::array<uint8_t, DH_PRIVATE_SIZE>;
using DhPublic = std::array<uint8_t, DH_PUBLIC_SIZE>;
using SessionKey = std::array<uint8_t, SESSION_KEY_SIZE>;

// The first 8 bytes of MD5 (RFC 1321) over the 63 bytes: 23 account id
// bytes, the request counter low byte and high byte, 23 auth id bytes and
// 15 password bytes.
CredentialProof credentialProof(std::span<const uint8_t, 23> accountId, uint16_t counter,
                                std::span<const uint8_t, 23> authId, std::span<const uint8_t, 15> password);

// g^x mod p with g = 3 over the RFC 2409 768-bit prime, as 96 bytes
// big-endian with leading zeros.
DhPublic dhPublicValue(const DhPrivate& privateKey);

// True when the peer's public value lies strictly between 1 and p - 1; any
// other value would make the shared secret guessable.
bool dhPublicValueAcceptable(const DhPublic& peerPublic);

// Z = Y^x mod p as 96 bytes; H1 = HMAC-SHA1(key Z[24..47], message Z[0..23]),
// H2 = HMAC-SHA1(key Z[72..95], message Z[48..71]) (RFC 2104);
// the session key is H1[0..15] followed by H2[0..15].
SessionKey deriveSessionKey(const DhPrivate& privateKey, const DhPublic& peerPublic);

// A fresh 256-bit private exponent from OpenSSL's generator.
DhPrivate randomDhPrivate();

// AES-256 in ECB use for one voice leg: both directions share one key.
// Keying allocates inside OpenSSL; encrypting and decrypting do not.
class VoiceCipher {
public:
    VoiceCipher();
    ~VoiceCipher();
    VoiceCipher(VoiceCipher&&) noexcept;
    VoiceCipher& operator=(VoiceCipher&&) noexcept;
    VoiceCipher(const VoiceCipher&) = delete;
    VoiceCipher& operator=(const VoiceCipher&) = delete;

    bool setKey(const SessionKey& key);
    void clear() { keyed_ = false; }
    bool keyed() const { return keyed_; }
    // In place; the length must be a whole number of 16-byte blocks.
    bool encrypt(std::span<uint8_t> blocks);
    bool decrypt(std::span<uint8_t> blocks);

private:
    struct Contexts;
    std::unique_ptr<Contexts> contexts_;
    bool keyed_ = false;
};

}  // namespace vorpel::callserver
