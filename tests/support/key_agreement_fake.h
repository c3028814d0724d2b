// The key agreement for the tests of the engine and the shell: no arithmetic,
// recognisable values. A held key pair has the public value 0xAB...; a
// non-zero server value installs the session key 0x5E...; with dryPool set
// no pair is ever held, so every registration request is the short one.
// It allocates nothing, so allocation tests can use it too.
#pragma once

#include <algorithm>

#include "security/key_agreement_port.h"

namespace vorpel::test {

class FakeKeyAgreement final : public KeyAgreementPort {
public:
    // Every registration request is then the short one.
    static FakeKeyAgreement withoutKeyPairs() {
        FakeKeyAgreement fake;
        fake.dryPool = true;
        return fake;
    }

    int resets = 0;
    int serverValues = 0;  // server public values accepted
    bool dryPool = false;

    void resetKeyAgreement() override { ++resets; }
    void holdKeyPair(KeyMaterial& keys) override {
        if (dryPool || keys.keyPairHeld == 1) return;
        keys.keyPairHeld = 1;
        keys.ownPublicValue.fill(0xAB);
    }
    void acceptServerPublicValue(KeyMaterial& keys,
                                 std::span<const uint8_t, PUBLIC_VALUE_SIZE> serverPublic) override {
        ++serverValues;
        std::copy(serverPublic.begin(), serverPublic.end(), keys.serverPublicValue.begin());
        if (std::all_of(serverPublic.begin(), serverPublic.end(), [](uint8_t b) { return b == 0; })) return;
        keys.sessionKey.fill(0x5E);
        keys.sessionKeyReady = 1;
    }
};

}  // namespace vorpel::test
