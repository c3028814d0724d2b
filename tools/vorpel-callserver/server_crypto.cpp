#include "server_crypto.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <cstdlib>
#include <cstring>

namespace vorpel::callserver {
namespace {

struct BnFree {
    void operator()(BIGNUM* n) const { BN_clear_free(n); }
};
struct BnCtxFree {
    void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;
using BnCtx = std::unique_ptr<BN_CTX, BnCtxFree>;

// The First Oakley Default Group prime, RFC 2409 section 6.1.
const BIGNUM* oakleyPrime() {
    static const Bn prime{BN_get_rfc2409_prime_768(nullptr)};
    return prime.get();
}

Bn importBytes(std::span<const uint8_t> bytes) {
    return Bn{BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr)};
}

// base^exponent mod p, written as 96 bytes big-endian.
DhPublic modExp(const BIGNUM* base, const DhPrivate& exponent) {
    DhPublic out{};
    BnCtx ctx{BN_CTX_new()};
    Bn x = importBytes(exponent);
    Bn result{BN_new()};
    if (!ctx || !x || !result || !BN_mod_exp(result.get(), base, x.get(), oakleyPrime(), ctx.get()) ||
        BN_bn2binpad(result.get(), out.data(), static_cast<int>(out.size())) !=
            static_cast<int>(out.size())) {
        std::abort();  // only an exhausted allocator gets here
    }
    return out;
}

void hmacSha1(std::span<const uint8_t> key, std::span<const uint8_t> message, uint8_t* out) {
    unsigned int length = 0;
    if (!HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), message.data(), message.size(), out,
              &length)) {
        std::abort();
    }
}

}  // namespace

CredentialProof credentialProof(std::span<const uint8_t, 23> accountId, uint16_t counter,
                                std::span<const uint8_t, 23> authId, std::span<const uint8_t, 15> password) {
    std::array<uint8_t, 63> input{};
    std::memcpy(input.data(), accountId.data(), 23);
    input[23] = static_cast<uint8_t>(counter & 0xFF);
    input[24] = static_cast<uint8_t>(counter >> 8);
    std::memcpy(input.data() + 25, authId.data(), 23);
    std::memcpy(input.data() + 48, password.data(), 15);
    std::array<uint8_t, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (!EVP_Digest(input.data(), input.size(), digest.data(), &length, EVP_md5(), nullptr)) std::abort();
    CredentialProof proof{};
    std::memcpy(proof.data(), digest.data(), proof.size());
    return proof;
}

DhPublic dhPublicValue(const DhPrivate& privateKey) {
    Bn three{BN_new()};
    if (!three || !BN_set_word(three.get(), 3)) std::abort();
    return modExp(three.get(), privateKey);
}

bool dhPublicValueAcceptable(const DhPublic& peerPublic) {
    Bn y = importBytes(peerPublic);
    Bn pMinusOne{BN_dup(oakleyPrime())};
    if (!y || !pMinusOne || !BN_sub_word(pMinusOne.get(), 1)) std::abort();
    return BN_cmp(y.get(), BN_value_one()) > 0 && BN_cmp(y.get(), pMinusOne.get()) < 0;
}

SessionKey deriveSessionKey(const DhPrivate& privateKey, const DhPublic& peerPublic) {
    Bn y = importBytes(peerPublic);
    if (!y) std::abort();
    const DhPublic z = modExp(y.get(), privateKey);
    const std::span<const uint8_t> zs{z};
    std::array<uint8_t, EVP_MAX_MD_SIZE> h1{};
    std::array<uint8_t, EVP_MAX_MD_SIZE> h2{};
    hmacSha1(zs.subspan(24, 24), zs.subspan(0, 24), h1.data());
    hmacSha1(zs.subspan(72, 24), zs.subspan(48, 24), h2.data());
    SessionKey key{};
    std::memcpy(key.data(), h1.data(), 16);
    std::memcpy(key.data() + 16, h2.data(), 16);
    return key;
}

DhPrivate randomDhPrivate() {
    DhPrivate x{};
    if (RAND_bytes(x.data(), static_cast<int>(x.size())) != 1) std::abort();
    return x;
}

struct VoiceCipher::Contexts {
    EVP_CIPHER_CTX* encrypt = EVP_CIPHER_CTX_new();
    EVP_CIPHER_CTX* decrypt = EVP_CIPHER_CTX_new();
    ~Contexts() {
        EVP_CIPHER_CTX_free(encrypt);
        EVP_CIPHER_CTX_free(decrypt);
    }
};

VoiceCipher::VoiceCipher() : contexts_(std::make_unique<Contexts>()) {
    if (!contexts_->encrypt || !contexts_->decrypt) std::abort();
}
VoiceCipher::~VoiceCipher() = default;
VoiceCipher::VoiceCipher(VoiceCipher&&) noexcept = default;
VoiceCipher& VoiceCipher::operator=(VoiceCipher&&) noexcept = default;

bool VoiceCipher::setKey(const SessionKey& key) {
    keyed_ = EVP_EncryptInit_ex(contexts_->encrypt, EVP_aes_256_ecb(), nullptr, key.data(), nullptr) == 1 &&
             EVP_CIPHER_CTX_set_padding(contexts_->encrypt, 0) == 1 &&
             EVP_DecryptInit_ex(contexts_->decrypt, EVP_aes_256_ecb(), nullptr, key.data(), nullptr) == 1 &&
             EVP_CIPHER_CTX_set_padding(contexts_->decrypt, 0) == 1;
    return keyed_;
}

// ECB keeps no state from one block to the next, so one keyed context serves
// every packet; Final is never needed because padding is off and the input is
// a whole number of blocks.
bool VoiceCipher::encrypt(std::span<uint8_t> blocks) {
    if (!keyed_ || blocks.size() % CIPHER_BLOCK_SIZE != 0) return false;
    int written = 0;
    return EVP_EncryptUpdate(contexts_->encrypt, blocks.data(), &written, blocks.data(),
                             static_cast<int>(blocks.size())) == 1 &&
           written == static_cast<int>(blocks.size());
}

bool VoiceCipher::decrypt(std::span<uint8_t> blocks) {
    if (!keyed_ || blocks.size() % CIPHER_BLOCK_SIZE != 0) return false;
    int written = 0;
    return EVP_DecryptUpdate(contexts_->decrypt, blocks.data(), &written, blocks.data(),
                             static_cast<int>(blocks.size())) == 1 &&
           written == static_cast<int>(blocks.size());
}

}  // namespace vorpel::callserver
