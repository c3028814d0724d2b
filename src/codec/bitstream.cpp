// The 11 parameters <-> the 10-byte frame of the RTP payload (RFC 3551):
// each parameter most significant bit first, continuously across bytes,
// through a word that holds the bits not yet written or read.
#include "codec/g729a.h"
#include "codec/tables.h"

namespace vorpel {

void packParameters(std::span<const int16_t, G729_PARAMETER_COUNT> parameters,
                    std::span<uint8_t, G729_FRAME_BYTES> bytes) {
    uint32_t word = 0;
    int pending = 0;
    size_t out = 0;
    for (size_t p = 0; p < G729_PARAMETER_COUNT; p++) {
        const int width = g729::bitsno[p];
        word = (word << width) | (static_cast<uint16_t>(parameters[p]) & ((1u << width) - 1));
        for (pending += width; pending >= 8; pending -= 8)
            bytes[out++] = static_cast<uint8_t>(word >> (pending - 8));
    }
}

void unpackParameters(std::span<const uint8_t, G729_FRAME_BYTES> bytes,
                      std::span<int16_t, G729_PARAMETER_COUNT> parameters) {
    uint32_t word = 0;
    int pending = 0;
    size_t in = 0;
    for (size_t p = 0; p < G729_PARAMETER_COUNT; p++) {
        const int width = g729::bitsno[p];
        for (; pending < width; pending += 8) word = (word << 8) | bytes[in++];
        pending -= width;
        parameters[p] = static_cast<int16_t>((word >> pending) & ((1u << width) - 1));
    }
}

}  // namespace vorpel
