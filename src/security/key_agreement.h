// The key agreement carried by registration: the terminal's Diffie-Hellman
// key pair for the registration request, and the session key derived from
// the server's public value in the reply.
//
// Key pairs (x, 3^x mod p) are computed ahead of time into a pool of three at
// every engine initialisation; every pair taken is replaced at once. The
// session key is two HMAC-SHA-1 values over the quarters of the shared secret.
//
// Threads: every entry point runs under the engine lock (request from the
// tick or the connect notification, reply and reset on the window thread);
// nothing here is reentrant.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "security/key_agreement_port.h"
#include "security/modular_power.h"
#include "security/random_generator.h"

namespace vorpel {

inline constexpr size_t KEY_RING_SLOTS = 4;  // a ring of 4 slots holds at most 3 entries

// Read and write positions of a four-slot ring: empty when equal, full when
// the write position is one behind the read position.
struct RingIndices {
    uint32_t readIndex = 0;
    uint32_t writeIndex = 0;

    bool empty() const { return readIndex == writeIndex; }
    bool full() const { return (writeIndex + 1) % KEY_RING_SLOTS == readIndex; }
    uint32_t count() const { return (writeIndex + KEY_RING_SLOTS - readIndex) % KEY_RING_SLOTS; }
    void advanceRead() { readIndex = (readIndex + 1) % KEY_RING_SLOTS; }
    void advanceWrite() { writeIndex = (writeIndex + 1) % KEY_RING_SLOTS; }
};

struct KeyPairPool : RingIndices {
    std::array<std::array<uint8_t, PRIVATE_KEY_SIZE>, KEY_RING_SLOTS> privateKeys{};
    std::array<std::array<uint8_t, PUBLIC_VALUE_SIZE>, KEY_RING_SLOTS> publicValues{};
};

struct KeyJobQueue : RingIndices {
    std::array<std::array<uint8_t, PRIVATE_KEY_SIZE>, KEY_RING_SLOTS> privateKeys{};
    std::array<std::array<uint8_t, PUBLIC_VALUE_SIZE>, KEY_RING_SLOTS> peerPublic{};
};

// The derivation block: Z in bytes 0-95, two spare bytes.
inline constexpr size_t DERIVATION_BLOCK_SIZE = 98;

class KeyAgreement final : public KeyAgreementPort {
public:
    // Exponents come from the given draw (the platform's kernel draw in the
    // terminal); it must outlive this object.
    explicit KeyAgreement(PlatformDraw& draw);
    KeyAgreement(const KeyAgreement&) = delete;
    KeyAgreement& operator=(const KeyAgreement&) = delete;

    void resetKeyAgreement() override;
    void holdKeyPair(KeyMaterial& keys) override;
    void acceptServerPublicValue(KeyMaterial& keys,
                                 std::span<const uint8_t, PUBLIC_VALUE_SIZE> serverPublic) override;

    // Copies the oldest pooled pair out and refills the pool. False when the
    // pool is empty; it is refilled then, so the next take succeeds.
    bool takeKeyPair(std::span<uint8_t, PRIVATE_KEY_SIZE> privateKey,
                     std::span<uint8_t, PUBLIC_VALUE_SIZE> publicValue);
    // Queues a derivation and runs the queue; the session key is installed
    // when it returns. False (nothing queued) when the queue is full.
    bool postKeyDerivation(KeyMaterial& keys, std::span<const uint8_t, PRIVATE_KEY_SIZE> privateKey,
                           std::span<const uint8_t, PUBLIC_VALUE_SIZE> peerPublic);
    // Z = Y^x mod p into a 98-byte block; H1 = HMAC-SHA-1(key Z[24..47],
    // message Z[0..23]) over bytes 0-19, then H2 = HMAC-SHA-1(key Z[72..95],
    // message Z[48..71]) over bytes 16-35; the session key is bytes 0-31.
    void deriveSessionKey(KeyMaterial& keys, std::span<const uint8_t, PRIVATE_KEY_SIZE> privateKey,
                          std::span<const uint8_t, PUBLIC_VALUE_SIZE> peerPublic);
    // The first 32 bytes of block become the session key; sessionKeyReady is set.
    static void installSessionKey(KeyMaterial& keys, std::span<const uint8_t> block);

    // The hook through which pool refills and derivations start. In this
    // terminal it runs the work at once, on the caller's thread.
    using DeferredWork = void (*)(KeyAgreement& self, KeyMaterial* keys);
    void runDeferred(DeferredWork work, KeyMaterial* keys) { work(*this, keys); }

    const KeyPairPool& pool() const { return pool_; }
    // Empties the pool without refilling it (a pool that has run dry).
    void dropPooledPairs();
    const KeyJobQueue& jobQueue() const { return jobs_; }
    const ModularPower& group() const { return group_; }

private:
    void generateKeyPair();
    void refillPool();
    void runJobQueue(KeyMaterial& keys);

    RandomGenerator random_;
    ModularPower group_;
    KeyPairPool pool_;
    KeyJobQueue jobs_;
};

}  // namespace vorpel
