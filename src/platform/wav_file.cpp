#include "platform/wav_file.h"

#include <algorithm>
#include <array>

#include "common/byte_io.h"

namespace vorpel {
namespace {

constexpr size_t RIFF_HEADER_SIZE = 12;
constexpr size_t CHUNK_HEADER_SIZE = 8;
constexpr size_t FMT_MIN_SIZE = 16;

bool readAt(std::FILE* file, long offset, std::span<uint8_t> into) {
    return std::fseek(file, offset, SEEK_SET) == 0 &&
           std::fread(into.data(), 1, into.size(), file) == into.size();
}

bool hasId(const ByteReader& reader, size_t offset, const char (&id)[5]) {
    for (size_t i = 0; i < 4; ++i)
        if (reader.u8(offset + i) != static_cast<uint8_t>(id[i])) return false;
    return true;
}

long fileSize(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    return std::ftell(file);
}

}  // namespace

bool looksLikeWav(std::FILE* file) {
    std::array<uint8_t, 4> magic{};
    const bool wav = readAt(file, 0, magic) && hasId(ByteReader(magic), 0, "RIFF");
    std::fseek(file, 0, SEEK_SET);
    return wav;
}

const char* readWavLayout(std::FILE* file, WavLayout& layout) {
    const long size = fileSize(file);
    std::array<uint8_t, RIFF_HEADER_SIZE> riff{};
    if (size < 0 || !readAt(file, 0, riff)) return "too short for a RIFF header";
    const ByteReader riffReader(riff);
    if (!hasId(riffReader, 0, "RIFF") || !hasId(riffReader, 8, "WAVE")) return "not a RIFF/WAVE file";

    bool haveFormat = false;
    long offset = static_cast<long>(RIFF_HEADER_SIZE);
    while (offset + static_cast<long>(CHUNK_HEADER_SIZE) <= size) {
        std::array<uint8_t, CHUNK_HEADER_SIZE> chunk{};
        if (!readAt(file, offset, chunk)) return "unreadable chunk header";
        const ByteReader chunkReader(chunk);
        const uint32_t chunkSize = chunkReader.u32le(4);
        const long body = offset + static_cast<long>(CHUNK_HEADER_SIZE);
        const long available = size - body;
        if (hasId(chunkReader, 0, "fmt ")) {
            std::array<uint8_t, FMT_MIN_SIZE> format{};
            if (chunkSize < FMT_MIN_SIZE || available < static_cast<long>(FMT_MIN_SIZE) ||
                !readAt(file, body, format))
                return "truncated fmt chunk";
            const ByteReader formatReader(format);
            layout.formatTag = formatReader.u16le(0);
            layout.channels = formatReader.u16le(2);
            layout.sampleRate = formatReader.u32le(4);
            layout.bitsPerSample = formatReader.u16le(14);
            haveFormat = true;
        } else if (hasId(chunkReader, 0, "data")) {
            if (!haveFormat) return "data chunk before fmt chunk";
            layout.dataOffset = body;
            // A writer that died before fixing its header leaves a size that
            // overshoots the file: take what is there.
            layout.dataBytes = static_cast<uint32_t>(std::min<long>(chunkSize, available));
            return nullptr;
        }
        // Chunks are padded to an even size.
        offset = body + static_cast<long>(chunkSize) + static_cast<long>(chunkSize & 1u);
    }
    return haveFormat ? "no data chunk" : "no fmt chunk";
}

bool writeWavHeader(std::FILE* file, uint32_t sampleRate, uint32_t dataBytes) {
    constexpr uint16_t CHANNELS = 1;
    constexpr uint16_t BITS = 16;
    constexpr uint16_t BLOCK_ALIGN = CHANNELS * BITS / 8;
    std::array<uint8_t, WAV_HEADER_SIZE> header{};
    ByteWriter writer(header);
    auto id = [&writer](const char(&text)[5]) {
        for (size_t i = 0; i < 4; ++i) writer.u8(static_cast<uint8_t>(text[i]));
    };
    auto u32le = [&writer](uint32_t value) {
        writer.u16le(static_cast<uint16_t>(value)).u16le(static_cast<uint16_t>(value >> 16));
    };
    id("RIFF");
    u32le(static_cast<uint32_t>(WAV_HEADER_SIZE - 8) + dataBytes);
    id("WAVE");
    id("fmt ");
    u32le(16);
    writer.u16le(WAV_FORMAT_PCM).u16le(CHANNELS);
    u32le(sampleRate);
    u32le(sampleRate * BLOCK_ALIGN);
    writer.u16le(BLOCK_ALIGN).u16le(BITS);
    id("data");
    u32le(dataBytes);
    return !writer.failed() && std::fseek(file, 0, SEEK_SET) == 0 &&
           std::fwrite(header.data(), 1, header.size(), file) == header.size();
}

}  // namespace vorpel
