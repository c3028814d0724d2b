#include "security/traffic_cipher.h"

#include <thread>

namespace vorpel {

bool TrafficCipher::key(std::span<const uint8_t> key) {
    if (key.size() != 16 && key.size() != 24 && key.size() != 32) return false;
    const uint32_t spare = 1 - live_.load();
    // A block operation that still holds the spare from before the last swap
    // finishes within a few blocks; wait for it.
    while (users_[spare].load() != 0) std::this_thread::yield();
    aesExpandKey(schedules_[spare], key);
    live_.store(spare);
    return true;
}

TrafficCiphers::TrafficCiphers() = default;

void TrafficCiphers::keyTrafficCiphers(const KeyMaterial& keys) {
    if (!trafficEncryptionInForce(keys)) return;
    setKey(keys.sessionKey);
}

bool TrafficCiphers::setKey(std::span<const uint8_t> key) {
    const std::lock_guard<std::mutex> lock(keying_);
    if (!rxCipher_.key(key)) return false;
    txCipher_.key(key);
    keyed_.store(true);
    return true;
}

bool TrafficCiphers::keyed() const { return keyed_.load(); }

void TrafficCiphers::encryptBlock(std::span<uint8_t, AES_BLOCK_SIZE> block) const {
    txCipher_.withSchedule([&](const AesSchedule& s) { aesEncryptBlock(s, block.data(), block.data()); });
}

void TrafficCiphers::decryptBlock(std::span<uint8_t, AES_BLOCK_SIZE> block) const {
    rxCipher_.withSchedule([&](const AesSchedule& s) { aesDecryptBlock(s, block.data(), block.data()); });
}

void TrafficCiphers::encryptBlocks(std::span<uint8_t> blocks) const {
    txCipher_.withSchedule(
        [&](const AesSchedule& s) { aesEncryptBlocks(s, blocks.data(), blocks.size() / AES_BLOCK_SIZE); });
}

void TrafficCiphers::decryptBlocks(std::span<uint8_t> blocks) const {
    rxCipher_.withSchedule(
        [&](const AesSchedule& s) { aesDecryptBlocks(s, blocks.data(), blocks.size() / AES_BLOCK_SIZE); });
}

// RTP header byte 0, bit 5: the packet ends in padding whose last byte counts
// the padding bytes (RFC 3550 5.1).
constexpr uint8_t RTP_PADDING_FLAG = 0x20;

size_t encryptVoicePayload(const TrafficCiphers& ciphers, std::span<uint8_t> packet, size_t headerLength,
                           size_t payloadLength) {
    if (!ciphers.keyed() || headerLength == 0 || headerLength > packet.size() ||
        payloadLength > packet.size() - headerLength) {
        return 0;
    }
    const size_t remainder = payloadLength % AES_BLOCK_SIZE;
    const size_t padLength = remainder == 0 ? 0 : AES_BLOCK_SIZE - remainder;
    if (padLength > packet.size() - headerLength - payloadLength) return 0;
    const auto payload = packet.subspan(headerLength, payloadLength + padLength);
    if (padLength != 0) {
        for (size_t i = payloadLength; i + 1 < payload.size(); ++i) payload[i] = 0;
        payload.back() = static_cast<uint8_t>(padLength);
        packet[0] |= RTP_PADDING_FLAG;
    }
    ciphers.encryptBlocks(payload);
    return headerLength + payload.size();
}

bool decryptVoicePayload(const TrafficCiphers& ciphers, std::span<uint8_t> datagram, size_t headerLength) {
    if (!ciphers.keyed() || headerLength > datagram.size()) return false;
    const auto payload = datagram.subspan(headerLength);
    if (payload.size() % AES_BLOCK_SIZE != 0) return false;
    ciphers.decryptBlocks(payload);
    return true;
}

}  // namespace vorpel
