#include "openssl_reference.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <stdexcept>

namespace vorpel::reference {
namespace {

std::vector<uint8_t> aesRun(std::span<const uint8_t> key, std::span<const uint8_t> data, bool encrypt) {
    const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                               : key.size() == 24 ? EVP_aes_192_ecb()
                                                  : EVP_aes_256_ecb();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    std::vector<uint8_t> out(data.size() + 16);
    int length = 0;
    int tail = 0;
    if (EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), nullptr, encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx, 0) != 1 ||
        EVP_CipherUpdate(ctx, out.data(), &length, data.data(), static_cast<int>(data.size())) != 1 ||
        EVP_CipherFinal_ex(ctx, out.data() + length, &tail) != 1) {
        EVP_CIPHER_CTX_free(ctx);
        throw std::runtime_error("OpenSSL AES failed");
    }
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<size_t>(length + tail));
    return out;
}

}  // namespace

std::array<uint8_t, 16> md5(std::span<const uint8_t> message) {
    std::array<uint8_t, 16> digest{};
    unsigned int size = 0;
    if (EVP_Digest(message.data(), message.size(), digest.data(), &size, EVP_md5(), nullptr) != 1) {
        throw std::runtime_error("OpenSSL MD5 failed");
    }
    return digest;
}

std::array<uint8_t, 20> hmacSha1(std::span<const uint8_t> key, std::span<const uint8_t> message) {
    std::array<uint8_t, 20> mac{};
    unsigned int size = 0;
    if (HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), message.data(), message.size(), mac.data(),
             &size) == nullptr) {
        throw std::runtime_error("OpenSSL HMAC failed");
    }
    return mac;
}

std::vector<uint8_t> aesEncrypt(std::span<const uint8_t> key, std::span<const uint8_t> data) {
    return aesRun(key, data, true);
}

std::vector<uint8_t> aesDecrypt(std::span<const uint8_t> key, std::span<const uint8_t> data) {
    return aesRun(key, data, false);
}

std::vector<uint8_t> modExp(std::span<const uint8_t> base, std::span<const uint8_t> exponent,
                            std::span<const uint8_t> modulus, size_t width) {
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* b = BN_bin2bn(base.data(), static_cast<int>(base.size()), nullptr);
    BIGNUM* e = BN_bin2bn(exponent.data(), static_cast<int>(exponent.size()), nullptr);
    BIGNUM* m = BN_bin2bn(modulus.data(), static_cast<int>(modulus.size()), nullptr);
    BIGNUM* r = BN_new();
    std::vector<uint8_t> out(width);
    const bool ok = BN_mod_exp(r, b, e, m, ctx) == 1 &&
                    BN_bn2binpad(r, out.data(), static_cast<int>(width)) == static_cast<int>(width);
    BN_free(r);
    BN_free(m);
    BN_free(e);
    BN_free(b);
    BN_CTX_free(ctx);
    if (!ok) throw std::runtime_error("OpenSSL BN_mod_exp failed");
    return out;
}

}  // namespace vorpel::reference
