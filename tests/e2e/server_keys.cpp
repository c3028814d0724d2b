#include "server_keys.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <memory>

namespace vorpel::e2e {
namespace {

constexpr size_t HEADER = 12;
constexpr size_t BLOCK = 16;
constexpr uint8_t RTP_PADDING_BIT = 0x20;

struct BnFree {
    void operator()(BIGNUM* n) const { BN_free(n); }
};
struct CtxFree {
    void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};
struct CipherFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;

Bn prime() { return Bn(BN_get_rfc2409_prime_768(nullptr)); }

// base^exponent mod p as 96 bytes big-endian; empty on failure.
Bytes power(const BIGNUM* base, const std::array<uint8_t, 32>& exponent) {
    std::unique_ptr<BN_CTX, CtxFree> ctx(BN_CTX_new());
    Bn x(BN_bin2bn(exponent.data(), static_cast<int>(exponent.size()), nullptr));
    Bn p = prime();
    Bn result(BN_new());
    Bytes out(PUBLIC_VALUE_BYTES);
    if (!ctx || !x || !p || !result || BN_mod_exp(result.get(), base, x.get(), p.get(), ctx.get()) != 1 ||
        BN_bn2binpad(result.get(), out.data(), static_cast<int>(out.size())) !=
            static_cast<int>(out.size())) {
        return {};
    }
    return out;
}

// AES-256 on whole blocks, each on its own (ECB), no padding of OpenSSL's.
bool crypt(const std::array<uint8_t, SESSION_KEY_BYTES>& key, bool encrypt, uint8_t* data, size_t length) {
    std::unique_ptr<EVP_CIPHER_CTX, CipherFree> ctx(EVP_CIPHER_CTX_new());
    int written = 0;
    return ctx &&
           EVP_CipherInit_ex(ctx.get(), EVP_aes_256_ecb(), nullptr, key.data(), nullptr, encrypt ? 1 : 0) ==
               1 &&
           EVP_CIPHER_CTX_set_padding(ctx.get(), 0) == 1 &&
           EVP_CipherUpdate(ctx.get(), data, &written, data, static_cast<int>(length)) == 1 &&
           static_cast<size_t>(written) == length;
}

}  // namespace

ServerKeys::ServerKeys() {
    RAND_bytes(exponent_.data(), static_cast<int>(exponent_.size()));
    Bn three(BN_new());
    BN_set_word(three.get(), 3);
    publicValue_ = power(three.get(), exponent_);
}

bool ServerKeys::agree(const Bytes& terminalPublicValue) {
    if (terminalPublicValue.size() != PUBLIC_VALUE_BYTES) return false;
    Bn y(BN_bin2bn(terminalPublicValue.data(), static_cast<int>(terminalPublicValue.size()), nullptr));
    const Bytes z = power(y.get(), exponent_);
    if (z.size() != PUBLIC_VALUE_BYTES) return false;
    std::array<uint8_t, EVP_MAX_MD_SIZE> h1{}, h2{};
    unsigned int length1 = 0, length2 = 0;
    if (HMAC(EVP_sha1(), z.data() + 24, 24, z.data(), 24, h1.data(), &length1) == nullptr ||
        HMAC(EVP_sha1(), z.data() + 72, 24, z.data() + 48, 24, h2.data(), &length2) == nullptr) {
        return false;
    }
    std::copy_n(h1.begin(), 16, key_.begin());
    std::copy_n(h2.begin(), 16, key_.begin() + 16);
    return true;
}

Bytes ServerKeys::seal(const Bytes& clearPacket) const {
    Bytes packet = clearPacket;
    const size_t remainder = (packet.size() - HEADER) % BLOCK;
    if (remainder != 0) {
        const size_t padding = BLOCK - remainder;
        packet.insert(packet.end(), padding - 1, 0);
        packet.push_back(static_cast<uint8_t>(padding));
        packet[0] |= RTP_PADDING_BIT;
    }
    if (!crypt(key_, true, packet.data() + HEADER, packet.size() - HEADER)) return {};
    return packet;
}

std::optional<Bytes> ServerKeys::open(const Bytes& packet) const {
    if (packet.size() < HEADER || (packet.size() - HEADER) % BLOCK != 0) return std::nullopt;
    Bytes clear = packet;
    if (!crypt(key_, false, clear.data() + HEADER, clear.size() - HEADER)) return std::nullopt;
    if ((clear[0] & RTP_PADDING_BIT) != 0) {
        const size_t padding = clear.back();
        if (padding == 0 || padding > clear.size() - HEADER) return std::nullopt;
        for (size_t i = clear.size() - padding; i + 1 < clear.size(); ++i) {
            if (clear[i] != 0) return std::nullopt;
        }
        clear.resize(clear.size() - padding);
        clear[0] &= static_cast<uint8_t>(~RTP_PADDING_BIT);
    }
    return clear;
}

Bytes ServerKeys::registrationReply(uint16_t terminalId) const {
    // Class, terminal id, 14 bytes the terminal does not interpret, public value.
    constexpr size_t FIXED = 17;
    Bytes reply(FIXED + publicValue_.size(), 0);
    reply[1] = static_cast<uint8_t>(terminalId);
    reply[2] = static_cast<uint8_t>(terminalId >> 8);
    std::copy(publicValue_.begin(), publicValue_.end(), reply.begin() + FIXED);
    return reply;
}

}  // namespace vorpel::e2e
