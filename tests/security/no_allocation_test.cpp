// The security path allocates nothing: a whole registration (pool refill,
// key pairs, credential proofs, derivation) and the voice ciphers, counted by
// the test support's replacement of the global operator new.
#include <gtest/gtest.h>

#include "allocation_counter.h"
#include "security/credential_proof.h"
#include "security/key_agreement.h"
#include "security/traffic_cipher.h"

namespace vorpel {
namespace {

class CountingDraw final : public PlatformDraw {
public:
    uint32_t draw() override { return next_ += 0x9E3779B9u; }

private:
    uint32_t next_ = 0;
};

TEST(SecurityPath, RegistrationAndVoicePacketsAllocateNothing) {
    CountingDraw draw;
    KeyAgreement keyAgreement(draw);
    KeyMaterial keys;
    const std::array<uint8_t, 23> account{'A'};
    std::array<uint8_t, PUBLIC_VALUE_SIZE> serverPublic{};
    serverPublic[0] = 0x12;
    serverPublic[95] = 0x34;
    TrafficCiphers ciphers;
    std::array<uint8_t, 112> payload{};

    const size_t before = test::allocationCount();
    keyAgreement.resetKeyAgreement();
    keyAgreement.holdKeyPair(keys);
    const CredentialProof proof = credentialProof(account, 1, account, account);
    keyAgreement.acceptServerPublicValue(keys, serverPublic);
    ciphers.keyTrafficCiphers(keys);
    ciphers.encryptBlocks(payload);
    ciphers.decryptBlocks(payload);
    EXPECT_EQ(test::allocationCount() - before, 0u);
    // The work above did happen.
    EXPECT_EQ(keys.keyPairHeld, 1);
    EXPECT_NE(proof, CredentialProof{});
    EXPECT_EQ(keys.sessionKeyReady, 1);
    EXPECT_TRUE(ciphers.keyed());
}

}  // namespace
}  // namespace vorpel
