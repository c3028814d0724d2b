// The speech decoder on arbitrary frames. Each record is one frame (its first
// 10 bytes, zero-filled when shorter); tag bit 0 marks the frame missing. Checked: a missing frame plays 80
// samples of -1 and leaves the state as it was, the parameters of every frame pack back to its bytes, and
// nothing is allocated.
#include <algorithm>
#include <array>
#include <cstring>

#include "codec/g729a_state.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorpel;
    static G729Decoder decoder;
    resetDecoder(decoder);
    fuzz::NoAllocation quiet;
    fuzz::Records records(data, size);
    for (fuzz::Records::Record r; records.next(r);) {
        std::array<uint8_t, G729_FRAME_BYTES> frame{};
        std::copy_n(r.bytes.begin(), std::min(r.bytes.size(), frame.size()), frame.begin());
        std::array<int16_t, G729_FRAME_SAMPLES> samples{};
        const bool missing = (r.tag & 1) != 0;
        if (missing) {
            static G729Decoder before;
            std::memcpy(&before, &decoder, sizeof decoder);
            decodeFrame(decoder, frame, true, samples);
            FUZZ_CHECK(std::memcmp(&before, &decoder, sizeof decoder) == 0);
            FUZZ_CHECK(std::all_of(samples.begin(), samples.end(), [](int16_t s) { return s == -1; }));
            continue;
        }
        decodeFrame(decoder, frame, false, samples);
        std::array<int16_t, G729_PARAMETER_COUNT> parameters{};
        std::array<uint8_t, G729_FRAME_BYTES> packed{};
        unpackParameters(frame, parameters);
        packParameters(parameters, packed);
        FUZZ_CHECK(packed == frame);
    }
    return 0;
}
