// ITU-T G.729 Annex A speech codec, 16/32-bit fixed point, bit-exact with the
// ITU-T Annex A reference.
//
// Units: 8000 Hz, mono, signed 16-bit samples; a frame is 80 samples (10 ms)
// and packs into 10 bytes (80 bits). Packing follows the RTP payload of
// RFC 3551: the 11 parameters in order, each most significant bit first, the
// first bit into the most significant bit of byte 0.
//
// Each state is a plain struct with no heap and no pointers into itself, so it
// can be copied, and is reset by its reset function. No function here makes an
// operating-system call, writes output or ends the process: the two LSP
// stability diagnostics are counted in the state (CodecWarnings) for the
// program to report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vorpel {

inline constexpr size_t G729_FRAME_SAMPLES = 80;
inline constexpr size_t G729_FRAME_BYTES = 10;
inline constexpr size_t G729_PARAMETER_COUNT = 11;

// How often the LSP stability rules (G.729 3.2.4) had to clamp the lowest
// (lspLow) or the highest (lspHigh) LSF since the state was last reset.
struct CodecWarnings {
    uint32_t lspLow = 0;
    uint32_t lspHigh = 0;
};

struct G729Encoder;  // defined in codec/g729a_state.h
struct G729Decoder;

void resetEncoder(G729Encoder& encoder);
// Encodes one frame; the input is not changed. All 80 output bits are written.
void encodeFrame(G729Encoder& encoder, std::span<const int16_t, G729_FRAME_SAMPLES> samples,
                 std::span<uint8_t, G729_FRAME_BYTES> bytes);

void resetDecoder(G729Decoder& decoder);
// Decodes one frame. A missing frame writes 80 samples of -1 and leaves the
// state untouched; a frame of ten zero bytes is an erased frame (concealed).
void decodeFrame(G729Decoder& decoder, std::span<const uint8_t, G729_FRAME_BYTES> bytes, bool missing,
                 std::span<int16_t, G729_FRAME_SAMPLES> samples);

// The 11 parameters <-> 10 packed bytes.
void packParameters(std::span<const int16_t, G729_PARAMETER_COUNT> parameters,
                    std::span<uint8_t, G729_FRAME_BYTES> bytes);
void unpackParameters(std::span<const uint8_t, G729_FRAME_BYTES> bytes,
                      std::span<int16_t, G729_PARAMETER_COUNT> parameters);

}  // namespace vorpel
