#include "security/credential_proof.h"

#include <algorithm>

#include "security/md5.h"

namespace vorpel {

CredentialProof credentialProof(std::span<const uint8_t> accountId, uint16_t counter,
                                std::span<const uint8_t> authId, std::span<const uint8_t> password) {
    const std::array<uint8_t, 2> counterBytes = {static_cast<uint8_t>(counter),
                                                 static_cast<uint8_t>(counter >> 8)};
    Md5Context md5;
    md5Init(md5);
    md5Update(md5, accountId);
    md5Update(md5, counterBytes);
    md5Update(md5, authId);
    md5Update(md5, password);
    std::array<uint8_t, MD5_DIGEST_SIZE> digest{};
    md5Final(md5, digest);
    CredentialProof proof{};
    std::copy_n(digest.begin(), CREDENTIAL_PROOF_SIZE, proof.begin());
    return proof;
}

}  // namespace vorpel
