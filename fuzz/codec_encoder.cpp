// The speech encoder on arbitrary samples, and the decoder on what it makes.
// The input is read as 16-bit little-endian samples, 80 to a frame (a short
// last frame is zero-filled). Checked: the ten bytes of every frame unpack to
// parameters that pack back to them, the decoder takes them, and nothing is
// allocated.
#include <algorithm>
#include <array>

#include "codec/g729a_state.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorpel;
    static G729Encoder encoder;
    static G729Decoder decoder;
    resetEncoder(encoder);
    resetDecoder(decoder);
    fuzz::NoAllocation quiet;
    constexpr size_t FRAME_INPUT = 2 * G729_FRAME_SAMPLES;
    for (size_t start = 0; start < size; start += FRAME_INPUT) {
        std::array<int16_t, G729_FRAME_SAMPLES> samples{};
        for (size_t i = 0; i < G729_FRAME_SAMPLES && start + 2 * i + 1 < size; ++i)
            samples[i] = static_cast<int16_t>(data[start + 2 * i] | data[start + 2 * i + 1] << 8);
        std::array<uint8_t, G729_FRAME_BYTES> frame{};
        encodeFrame(encoder, samples, frame);
        std::array<int16_t, G729_PARAMETER_COUNT> parameters{};
        std::array<uint8_t, G729_FRAME_BYTES> packed{};
        unpackParameters(frame, parameters);
        packParameters(parameters, packed);
        FUZZ_CHECK(packed == frame);
        std::array<int16_t, G729_FRAME_SAMPLES> decoded{};
        decodeFrame(decoder, frame, false, decoded);
    }
    return 0;
}
