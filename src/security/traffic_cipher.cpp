#include "security/traffic_cipher.h"

namespace vorpel {

void TrafficCiphers::keyTrafficCiphers(const KeyMaterial& keys) {
    if (!trafficEncryptionInForce(keys)) return;
    setKey(keys.sessionKey);
}

bool TrafficCiphers::setKey(std::span<const uint8_t> key) {
    if (!aesExpandKey(rxCipher_, key)) return false;
    aesExpandKey(txCipher_, key);
    keyed_ = true;
    return true;
}

void TrafficCiphers::encryptBlock(std::span<uint8_t, AES_BLOCK_SIZE> block) const {
    aesEncryptBlock(txCipher_, block.data(), block.data());
}

void TrafficCiphers::decryptBlock(std::span<uint8_t, AES_BLOCK_SIZE> block) const {
    aesDecryptBlock(rxCipher_, block.data(), block.data());
}

void TrafficCiphers::encryptBlocks(std::span<uint8_t> blocks) const {
    aesEncryptBlocks(txCipher_, blocks.data(), blocks.size() / AES_BLOCK_SIZE);
}

void TrafficCiphers::decryptBlocks(std::span<uint8_t> blocks) const {
    aesDecryptBlocks(rxCipher_, blocks.data(), blocks.size() / AES_BLOCK_SIZE);
}

}  // namespace vorpel
