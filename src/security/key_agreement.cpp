#include "security/key_agreement.h"

#include <algorithm>

#include "security/hmac_sha1.h"
#include "security/oakley_group.h"

namespace vorpel {
namespace {

constexpr size_t QUARTER = 24;  // the shared secret is used in four 24-byte quarters

// 2 <= y <= p-2. With 0, 1 or p-1 the shared secret is 0, 1 or +-1 whatever
// our exponent, and p or more lies outside the group: none gives a key.
bool usableServerValue(const BigNum& y, const BigNum& p) {
    if (y.bitLength() <= 1) return false;
    BigNum pMinusOne = p;
    pMinusOne.limbs[0] -= 1;  // p is odd: no borrow
    return !greaterOrEqual(y, pMinusOne);
}

}  // namespace

KeyAgreement::KeyAgreement(PlatformDraw& draw) : random_(draw) { resetKeyAgreement(); }

void KeyAgreement::resetKeyAgreement() {
    pool_.readIndex = pool_.writeIndex = 0;
    jobs_.readIndex = jobs_.writeIndex = 0;
    BigNum p;
    parseDecimal(OAKLEY_GROUP1_PRIME_DECIMAL, p);
    group_.setModulus(p);
    runDeferred([](KeyAgreement& self, KeyMaterial*) { self.refillPool(); }, nullptr);
}

void KeyAgreement::dropPooledPairs() { pool_.readIndex = pool_.writeIndex; }

void KeyAgreement::generateKeyPair() {
    if (pool_.full()) return;
    const uint32_t slot = pool_.writeIndex;
    exportBytes(randomBits256(random_), pool_.privateKeys[slot]);
    const BigNum x = importBytes(pool_.privateKeys[slot]);
    exportBytes(group_.powSmallBase(KEY_AGREEMENT_GENERATOR, x), pool_.publicValues[slot]);
    pool_.advanceWrite();
}

void KeyAgreement::refillPool() {
    while (!pool_.full()) generateKeyPair();
}

bool KeyAgreement::takeKeyPair(std::span<uint8_t, PRIVATE_KEY_SIZE> privateKey,
                               std::span<uint8_t, PUBLIC_VALUE_SIZE> publicValue) {
    if (pool_.empty()) {
        // Cannot happen while every take refills; should it, this request goes
        // without a public value and the refill serves the next one.
        runDeferred([](KeyAgreement& self, KeyMaterial*) { self.refillPool(); }, nullptr);
        return false;
    }
    std::copy(pool_.privateKeys[pool_.readIndex].begin(), pool_.privateKeys[pool_.readIndex].end(),
              privateKey.begin());
    std::copy(pool_.publicValues[pool_.readIndex].begin(), pool_.publicValues[pool_.readIndex].end(),
              publicValue.begin());
    pool_.advanceRead();
    runDeferred([](KeyAgreement& self, KeyMaterial*) { self.refillPool(); }, nullptr);
    return true;
}

void KeyAgreement::holdKeyPair(KeyMaterial& keys) {
    if (keys.keyPairHeld == 0)
        keys.keyPairHeld = takeKeyPair(keys.ownPrivateKey, keys.ownPublicValue) ? 1 : 0;
}

void KeyAgreement::acceptServerPublicValue(KeyMaterial& keys,
                                           std::span<const uint8_t, PUBLIC_VALUE_SIZE> serverPublic) {
    std::copy(serverPublic.begin(), serverPublic.end(), keys.serverPublicValue.begin());
    if (!usableServerValue(importBytes(serverPublic), group_.modulus())) return;
    postKeyDerivation(keys, keys.ownPrivateKey, keys.serverPublicValue);
}

bool KeyAgreement::postKeyDerivation(KeyMaterial& keys, std::span<const uint8_t, PRIVATE_KEY_SIZE> privateKey,
                                     std::span<const uint8_t, PUBLIC_VALUE_SIZE> peerPublic) {
    if (jobs_.full()) return false;
    std::copy(privateKey.begin(), privateKey.end(), jobs_.privateKeys[jobs_.writeIndex].begin());
    std::copy(peerPublic.begin(), peerPublic.end(), jobs_.peerPublic[jobs_.writeIndex].begin());
    jobs_.advanceWrite();
    runDeferred([](KeyAgreement& self, KeyMaterial* k) { self.runJobQueue(*k); }, &keys);
    return true;
}

void KeyAgreement::runJobQueue(KeyMaterial& keys) {
    while (!jobs_.empty()) {
        deriveSessionKey(keys, jobs_.privateKeys[jobs_.readIndex], jobs_.peerPublic[jobs_.readIndex]);
        jobs_.advanceRead();
    }
}

void KeyAgreement::deriveSessionKey(KeyMaterial& keys, std::span<const uint8_t, PRIVATE_KEY_SIZE> privateKey,
                                    std::span<const uint8_t, PUBLIC_VALUE_SIZE> peerPublic) {
    const BigNum x = importBytes(privateKey);
    const BigNum y = importBytes(peerPublic);  // a value of p or more is reduced like any other
    std::array<uint8_t, DERIVATION_BLOCK_SIZE> block{};
    exportBytes(group_.pow(y, x), std::span<uint8_t>(block).first(PUBLIC_VALUE_SIZE));
    uint8_t* z = block.data();
    hmacSha1(z, QUARTER, z + QUARTER, QUARTER, z);                         // H1 over bytes 0-19
    hmacSha1(z + 2 * QUARTER, QUARTER, z + 3 * QUARTER, QUARTER, z + 16);  // H2 over bytes 16-35
    installSessionKey(keys, block);
}

void KeyAgreement::installSessionKey(KeyMaterial& keys, std::span<const uint8_t> block) {
    if (block.size() < SESSION_KEY_SIZE) return;
    std::copy_n(block.begin(), SESSION_KEY_SIZE, keys.sessionKey.begin());
    keys.sessionKeyReady = 1;
}

}  // namespace vorpel
