#include "security/key_agreement.h"

#include <algorithm>

#include "common/byte_io.h"
#include "security/hmac_sha1.h"
#include "security/md5.h"
#include "security/oakley_group.h"

namespace vorpel {
namespace {

constexpr uint8_t REQUEST_CLASS = 0x00;
constexpr uint8_t REQUEST_CONSTANT_1 = 0x10;
constexpr uint8_t REQUEST_CONSTANT_2 = 0x01;
constexpr size_t QUARTER = 24;  // the shared secret is used in four 24-byte quarters

std::span<const uint8_t> configField(const ConfigSnapshot& config, size_t offset, size_t used) {
    return std::span<const uint8_t>(config.bytes).subspan(offset, used);
}

}  // namespace

KeyAgreement::KeyAgreement() : random_(kernelDraw_) { resetKeyAgreement(); }

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

size_t KeyAgreement::buildRegistrationRequest(KeyMaterial& keys, const ConfigSnapshot& config,
                                              uint16_t& registrationCounter,
                                              std::span<uint8_t, REGISTRATION_REQUEST_FULL> out) {
    if (keys.keyPairHeld.load() == 0) {
        keys.keyPairHeld.store(takeKeyPair(keys.ownPrivateKey, keys.ownPublicValue) ? 1 : 0);
    }
    const auto accountId = configField(config, CFG_ACCOUNT_ID_OFFSET, ACCOUNT_ID_USED);
    ++registrationCounter;
    const std::array<uint8_t, 2> counter = {static_cast<uint8_t>(registrationCounter),
                                            static_cast<uint8_t>(registrationCounter >> 8)};

    // Credential proof: MD5 over account id, counter, auth id and password as stored.
    Md5Context md5;
    md5Init(md5);
    md5Update(md5, accountId);
    md5Update(md5, counter);
    md5Update(md5, configField(config, CFG_AUTH_ID_OFFSET, AUTH_ID_USED));
    md5Update(md5, configField(config, CFG_PASSWORD_OFFSET, PASSWORD_USED));
    std::array<uint8_t, MD5_DIGEST_SIZE> digest{};
    md5Final(md5, digest);

    ByteWriter w(out);
    w.u8(REQUEST_CLASS).u8(REQUEST_CONSTANT_1).u8(REQUEST_CONSTANT_2);
    w.bytes(accountId).u8(0x00);
    w.bytes(counter);
    w.bytes(std::span<const uint8_t>(digest).first(REQ_PROOF_SIZE));
    w.bytes(configField(config, CFG_NUMERIC_SERVER_ADDRESS_OFFSET, 4));
    if (keys.keyPairHeld.load() == 1) w.bytes(keys.ownPublicValue);
    return w.size();
}

void KeyAgreement::processRegistrationReply(KeyMaterial& keys, std::span<const uint8_t> reply) {
    keys.sessionKeyReady.store(0);
    const ByteReader r(reply);
    const auto serverPublic = r.slice(REPLY_PUBLIC_VALUE_OFFSET, PUBLIC_VALUE_SIZE);
    if (serverPublic.empty()) return;  // shorter than 113 bytes: no key
    std::copy(serverPublic.begin(), serverPublic.end(), keys.serverPublicValue.begin());
    if (std::all_of(serverPublic.begin(), serverPublic.end(), [](uint8_t b) { return b == 0; })) return;
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
    keys.sessionKeyReady.store(1);
}

}  // namespace vorpel
