// The 11 parameters <-> the 10-byte frame of the RTP payload (RFC 3551):
// each parameter most significant bit first, continuously across bytes.
#include "codec/g729a.h"
#include "codec/tables.h"

namespace vorpel {

void packParameters(std::span<const int16_t, G729_PARAMETER_COUNT> parameters,
                    std::span<uint8_t, G729_FRAME_BYTES> bytes) {
    std::fill(bytes.begin(), bytes.end(), uint8_t{0});
    int bit = 0;
    for (size_t p = 0; p < G729_PARAMETER_COUNT; p++) {
        const int width = g729::bitsno[p];
        for (int k = width - 1; k >= 0; k--, bit++) {
            if (((parameters[p] >> k) & 1) != 0) bytes[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
        }
    }
}

void unpackParameters(std::span<const uint8_t, G729_FRAME_BYTES> bytes,
                      std::span<int16_t, G729_PARAMETER_COUNT> parameters) {
    int bit = 0;
    for (size_t p = 0; p < G729_PARAMETER_COUNT; p++) {
        const int width = g729::bitsno[p];
        int value = 0;
        for (int k = 0; k < width; k++, bit++) value = (value << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1);
        parameters[p] = static_cast<int16_t>(value);
    }
}

}  // namespace vorpel
