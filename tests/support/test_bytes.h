// Bytes for tests: hex text, seeded random bytes, and voice datagrams as the
// terminals send them.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vorpel::test {

inline std::vector<uint8_t> fromHex(std::string_view hex) {
    std::vector<uint8_t> out;
    int high = -1;
    for (char c : hex) {
        int v = -1;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        if (v < 0) continue;  // spaces and separators
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    return out;
}

template <class Bytes>
std::string toHex(const Bytes& bytes) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += DIGITS[b >> 4];
        out += DIGITS[b & 15];
    }
    return out;
}

inline std::vector<uint8_t> asBytes(std::string_view text) { return {text.begin(), text.end()}; }

inline std::vector<uint8_t> randomBytes(std::mt19937& rng, size_t count) {
    std::vector<uint8_t> out(count);
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

// A voice datagram: the 12-byte RTP header (SSRC 0x11223344), headerTail
// (CSRC words, extension), then the payload.
inline std::vector<uint8_t> voiceDatagram(uint16_t sequence, uint32_t timestamp,
                                          const std::vector<uint8_t>& payload, uint8_t first = 0x80,
                                          uint8_t second = 0x48,
                                          const std::vector<uint8_t>& headerTail = {}) {
    std::vector<uint8_t> bytes{first, second, static_cast<uint8_t>(sequence >> 8),
                               static_cast<uint8_t>(sequence)};
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(timestamp >> shift));
    bytes.insert(bytes.end(), {0x11, 0x22, 0x33, 0x44});
    bytes.insert(bytes.end(), headerTail.begin(), headerTail.end());
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

}  // namespace vorpel::test
