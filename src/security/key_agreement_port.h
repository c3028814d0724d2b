// What the signalling engine needs of the key agreement: a fresh pool of key
// pairs at every engine initialisation, the registration request, and the key
// steps of a registration reply. The real implementation is KeyAgreement;
// engine tests may supply a recording fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "security/key_material.h"
#include "settings/settings_record.h"

namespace vorpel {

inline constexpr size_t REGISTRATION_REQUEST_SHORT = 41;
inline constexpr size_t REGISTRATION_REQUEST_FULL = 137;

class KeyAgreementPort {
public:
    virtual ~KeyAgreementPort() = default;

    // Last step of engine initialisation (after the material was zeroed):
    // empties the pool and the job queue and refills the pool with key pairs.
    virtual void resetKeyAgreement() = 0;

    // Builds one registration request into out and returns its length (137
    // with the public value, 41 without). Takes a key pair into keys when none
    // is held yet, increments registrationCounter and carries it.
    virtual size_t buildRegistrationRequest(KeyMaterial& keys, const ConfigSnapshot& config,
                                            uint16_t& registrationCounter,
                                            std::span<uint8_t, REGISTRATION_REQUEST_FULL> out) = 0;

    // The key steps of a registration reply accepted in Registering; reply is
    // the whole datagram, first byte included. Clears sessionKeyReady, takes
    // the server's public value from a reply of at least 113 bytes and, when
    // it is not all zero, derives and installs the session key before
    // returning.
    virtual void processRegistrationReply(KeyMaterial& keys, std::span<const uint8_t> reply) = 0;
};

}  // namespace vorpel
