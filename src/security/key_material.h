// The key-agreement material of the current registration.
//
// It lives inside the engine's TerminalState, is read and written under the
// engine lock only, and resets with that state at every engine
// initialisation. What the audio thread needs of it, whether traffic
// encryption is in force, the engine publishes in its AudioState.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vorpel {

inline constexpr size_t PRIVATE_KEY_SIZE = 32;
inline constexpr size_t PUBLIC_VALUE_SIZE = 96;
inline constexpr size_t SESSION_KEY_SIZE = 32;

struct KeyMaterial {
    uint8_t keyPairHeld = 0;
    uint8_t sessionKeyReady = 0;
    std::array<uint8_t, PRIVATE_KEY_SIZE> ownPrivateKey{};
    std::array<uint8_t, PUBLIC_VALUE_SIZE> ownPublicValue{};
    std::array<uint8_t, PUBLIC_VALUE_SIZE> serverPublicValue{};
    std::array<uint8_t, SESSION_KEY_SIZE> sessionKey{};
    friend bool operator==(const KeyMaterial&, const KeyMaterial&) = default;
};

// True exactly when a key pair is held and a session key has been derived.
inline bool trafficEncryptionInForce(const KeyMaterial& keys) {
    return keys.keyPairHeld == 1 && keys.sessionKeyReady == 1;
}

}  // namespace vorpel
