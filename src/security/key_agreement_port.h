// What the signalling engine needs of the key agreement: a fresh pool of key
// pairs at every engine initialisation, a key pair for the registration
// request, and the session key from the server's public value. The engine
// builds the request and reads the reply itself. The real implementation is
// KeyAgreement; engine tests supply a fake.
#pragma once

#include <cstdint>
#include <span>

#include "security/key_material.h"

namespace vorpel {

class KeyAgreementPort {
public:
    virtual ~KeyAgreementPort() = default;

    // Last step of engine initialisation (after the material was zeroed):
    // empties the pool and the job queue and refills the pool with key pairs.
    virtual void resetKeyAgreement() = 0;

    // Takes the oldest pooled key pair into keys unless one is held already.
    // When the pool has run dry keys stays without one (keyPairHeld 0): the
    // request then goes without a public value and the next one carries it.
    virtual void holdKeyPair(KeyMaterial& keys) = 0;

    // The server's public value from a registration reply, kept in keys.
    // Unless it is 0, 1, p-1 or p and above (a secret anyone could compute, or
    // no group element) the session key is derived from it and the held
    // private key and installed (sessionKeyReady) before this returns.
    virtual void acceptServerPublicValue(KeyMaterial& keys,
                                         std::span<const uint8_t, PUBLIC_VALUE_SIZE> serverPublic) = 0;
};

}  // namespace vorpel
