// The credential proof of a registration request: the first 8 bytes of the
// MD5 digest of the account id, the registration counter (low byte first),
// the auth id and the password, each field as stored.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorpel {

inline constexpr size_t CREDENTIAL_PROOF_SIZE = 8;
using CredentialProof = std::array<uint8_t, CREDENTIAL_PROOF_SIZE>;

CredentialProof credentialProof(std::span<const uint8_t> accountId, uint16_t counter,
                                std::span<const uint8_t> authId, std::span<const uint8_t> password);

}  // namespace vorpel
