// g729a: command-line G.729 Annex A encoder and decoder.
//   g729a encode IN.pcm OUT.g729   16-bit little-endian 8 kHz mono PCM -> 10-byte frames
//   g729a decode IN.g729 OUT.pcm   10-byte frames (ten zero bytes = erased) -> PCM
// A trailing partial frame in the input is an error. Each clamp of the LSP
// stability rules is reported on standard error, in the order it happened.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "codec/g729a_state.h"

namespace {

using vorpel::G729_FRAME_BYTES;
using vorpel::G729_FRAME_SAMPLES;

constexpr size_t PCM_FRAME_BYTES = 2 * G729_FRAME_SAMPLES;

// Reports the warnings counted since the last call.
void reportWarnings(const vorpel::CodecWarnings& now, vorpel::CodecWarnings& reported) {
    for (; reported.lspLow < now.lspLow; ++reported.lspLow)
        std::fputs("lsp_stability warning Low \n", stderr);
    for (; reported.lspHigh < now.lspHigh; ++reported.lspHigh)
        std::fputs("lsp_stability warning High \n", stderr);
}

int usage() {
    std::fputs("usage: g729a encode IN.pcm OUT.g729\n       g729a decode IN.g729 OUT.pcm\n", stderr);
    return 2;
}

bool readAll(const std::string& path, std::vector<uint8_t>& data) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool writeAll(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

void encodeAll(const std::vector<uint8_t>& pcm, std::vector<uint8_t>& bits) {
    auto encoder = std::make_unique<vorpel::G729Encoder>();
    vorpel::resetEncoder(*encoder);
    const size_t frames = pcm.size() / PCM_FRAME_BYTES;
    bits.resize(frames * G729_FRAME_BYTES);
    vorpel::CodecWarnings reported;
    for (size_t f = 0; f < frames; f++) {
        int16_t samples[G729_FRAME_SAMPLES];
        for (size_t i = 0; i < G729_FRAME_SAMPLES; i++) {
            const size_t at = f * PCM_FRAME_BYTES + 2 * i;
            samples[i] = static_cast<int16_t>(pcm[at] | (pcm[at + 1] << 8));
        }
        vorpel::encodeFrame(
            *encoder, samples,
            std::span<uint8_t, G729_FRAME_BYTES>(bits.data() + f * G729_FRAME_BYTES, G729_FRAME_BYTES));
        reportWarnings(encoder->warnings, reported);
    }
}

void decodeAll(const std::vector<uint8_t>& bits, std::vector<uint8_t>& pcm) {
    auto decoder = std::make_unique<vorpel::G729Decoder>();
    vorpel::resetDecoder(*decoder);
    const size_t frames = bits.size() / G729_FRAME_BYTES;
    pcm.resize(frames * PCM_FRAME_BYTES);
    vorpel::CodecWarnings reported;
    for (size_t f = 0; f < frames; f++) {
        int16_t samples[G729_FRAME_SAMPLES];
        vorpel::decodeFrame(
            *decoder,
            std::span<const uint8_t, G729_FRAME_BYTES>(bits.data() + f * G729_FRAME_BYTES, G729_FRAME_BYTES),
            false, samples);
        reportWarnings(decoder->warnings, reported);
        for (size_t i = 0; i < G729_FRAME_SAMPLES; i++) {
            const auto v = static_cast<uint16_t>(samples[i]);
            pcm[f * PCM_FRAME_BYTES + 2 * i] = static_cast<uint8_t>(v & 0xff);
            pcm[f * PCM_FRAME_BYTES + 2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return usage();
    const std::string command = argv[1];
    const bool encode = command == "encode";
    if (!encode && command != "decode") return usage();

    std::vector<uint8_t> input;
    if (!readAll(argv[2], input)) {
        std::fprintf(stderr, "g729a: cannot read %s\n", argv[2]);
        return 1;
    }
    const size_t frameBytes = encode ? PCM_FRAME_BYTES : G729_FRAME_BYTES;
    if (input.size() % frameBytes != 0) {
        std::fprintf(stderr, "g729a: %s ends with a partial frame (%zu bytes; frames are %zu bytes)\n",
                     argv[2], input.size() % frameBytes, frameBytes);
        return 1;
    }
    std::vector<uint8_t> output;
    if (encode) {
        encodeAll(input, output);
    } else {
        decodeAll(input, output);
    }
    if (!writeAll(argv[3], output)) {
        std::fprintf(stderr, "g729a: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
