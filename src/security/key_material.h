// The key-agreement material of the current registration.
//
// It lives inside the engine's TerminalState and is zeroed with it at every
// engine initialisation. The two flags are read without a lock by the audio
// thread (trafficEncryptionInForce), so they are atomics.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vorpel {

inline constexpr size_t PRIVATE_KEY_SIZE = 32;
inline constexpr size_t PUBLIC_VALUE_SIZE = 96;
inline constexpr size_t SESSION_KEY_SIZE = 32;

struct KeyMaterial {
    std::atomic<uint8_t> keyPairHeld{0};
    std::atomic<uint8_t> sessionKeyReady{0};
    std::array<uint8_t, PRIVATE_KEY_SIZE> ownPrivateKey{};
    std::array<uint8_t, PUBLIC_VALUE_SIZE> ownPublicValue{};
    std::array<uint8_t, PUBLIC_VALUE_SIZE> serverPublicValue{};
    std::array<uint8_t, SESSION_KEY_SIZE> sessionKey{};

    void clear() {
        keyPairHeld.store(0);
        sessionKeyReady.store(0);
        ownPrivateKey.fill(0);
        ownPublicValue.fill(0);
        serverPublicValue.fill(0);
        sessionKey.fill(0);
    }
};

// True exactly when a key pair is held and a session key has been derived.
inline bool trafficEncryptionInForce(const KeyMaterial& keys) {
    return keys.keyPairHeld.load(std::memory_order_acquire) == 1 &&
           keys.sessionKeyReady.load(std::memory_order_acquire) == 1;
}

}  // namespace vorpel
