#include "platform/wav_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace vorpel {
namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void putId(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}
// Appends byte by byte (GCC 12 warns falsely about vector::insert here).
void append(Bytes& b, const Bytes& more) {
    for (uint8_t byte : more) b.push_back(byte);
}

Bytes fmtChunk(uint16_t tag = 1, uint16_t channels = 1, uint32_t rate = 8000, uint16_t bits = 16) {
    Bytes b;
    putId(b, "fmt ");
    put32(b, 16);
    put16(b, tag);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * channels * bits / 8);
    put16(b, static_cast<uint16_t>(channels * bits / 8));
    put16(b, bits);
    return b;
}

Bytes chunk(const char* id, const Bytes& body, uint32_t statedSize) {
    Bytes b;
    putId(b, id);
    put32(b, statedSize);
    append(b, body);
    return b;
}

Bytes riff(const std::vector<Bytes>& chunks) {
    Bytes b;
    putId(b, "RIFF");
    put32(b, 0);  // nobody relies on the RIFF size
    putId(b, "WAVE");
    for (const Bytes& c : chunks) append(b, c);
    return b;
}

class WavLayoutTest : public ::testing::Test {
protected:
    // Writes bytes to a file and reads its layout; returns the error or "".
    std::string layoutOf(const Bytes& bytes, WavLayout& layout) {
        const std::string path = dir.file("probe.wav");
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
        std::FILE* in = std::fopen(path.c_str(), "rb");
        const char* error = readWavLayout(in, layout);
        std::fclose(in);
        return error == nullptr ? "" : error;
    }
    testing::TempDir dir;
};

TEST_F(WavLayoutTest, FindsTheSamplesPastOtherAndOddSizedChunks) {
    const Bytes samples{1, 2, 3, 4, 5, 6};
    WavLayout layout;
    ASSERT_EQ(layoutOf(riff({fmtChunk(), chunk("LIST", {9, 9, 9, 0}, 3), chunk("data", samples, 6)}), layout),
              "");
    EXPECT_EQ(layout.formatTag, 1);
    EXPECT_EQ(layout.channels, 1);
    EXPECT_EQ(layout.sampleRate, 8000u);
    EXPECT_EQ(layout.bitsPerSample, 16);
    EXPECT_EQ(layout.dataOffset, 12 + 24 + 12 + 8);  // the 3-byte LIST chunk is padded to 4
    EXPECT_EQ(layout.dataBytes, 6u);
}

TEST_F(WavLayoutTest, ADataSizeBeyondTheEndOfTheFileIsCutToWhatIsThere) {
    WavLayout layout;
    ASSERT_EQ(layoutOf(riff({fmtChunk(), chunk("data", {1, 2, 3, 4}, 0xFFFFFFF0u)}), layout), "");
    EXPECT_EQ(layout.dataBytes, 4u);
}

TEST_F(WavLayoutTest, DamagedFilesAreReportedNotRead) {
    WavLayout layout;
    EXPECT_NE(layoutOf({}, layout), "");
    EXPECT_NE(layoutOf({'R', 'I', 'F', 'F'}, layout), "");
    Bytes notWave = riff({});
    notWave[8] = 'X';
    EXPECT_NE(layoutOf(notWave, layout), "");
    EXPECT_EQ(layoutOf(riff({}), layout), "no fmt chunk");
    EXPECT_EQ(layoutOf(riff({fmtChunk()}), layout), "no data chunk");
    EXPECT_EQ(layoutOf(riff({chunk("data", {1, 2}, 2), fmtChunk()}), layout), "data chunk before fmt chunk");
    // A fmt chunk cut short by the end of the file, and one that says it is too short.
    Bytes cut = riff({fmtChunk()});
    cut.resize(cut.size() - 6);
    EXPECT_EQ(layoutOf(cut, layout), "truncated fmt chunk");
    EXPECT_EQ(layoutOf(riff({chunk("fmt ", Bytes(16, 0), 12)}), layout), "truncated fmt chunk");
    // A chunk whose size points far past the end hides everything after it.
    EXPECT_EQ(layoutOf(riff({fmtChunk(), chunk("junk", {}, 0x7FFFFFF0u), chunk("data", {1, 2}, 2)}), layout),
              "no data chunk");
    // A chunk header cut in the middle.
    Bytes half = riff({fmtChunk()});
    append(half, {'d', 'a', 't'});
    EXPECT_EQ(layoutOf(half, layout), "no data chunk");
}

TEST_F(WavLayoutTest, WrittenHeaderReadsBack) {
    const std::string path = dir.file("out.wav");
    std::FILE* out = std::fopen(path.c_str(), "w+b");
    ASSERT_TRUE(writeWavHeader(out, 8000, 0));
    const Bytes samples{10, 0, 20, 0};
    std::fwrite(samples.data(), 1, samples.size(), out);
    ASSERT_TRUE(writeWavHeader(out, 8000, 4));
    std::fclose(out);

    std::FILE* in = std::fopen(path.c_str(), "rb");
    ASSERT_TRUE(looksLikeWav(in));
    WavLayout layout;
    EXPECT_EQ(readWavLayout(in, layout), nullptr);
    std::fclose(in);
    EXPECT_EQ(layout.dataOffset, WAV_HEADER_SIZE);
    EXPECT_EQ(layout.dataBytes, 4u);
    EXPECT_EQ(layout.sampleRate, 8000u);
    EXPECT_EQ(layout.channels, 1);
    EXPECT_EQ(layout.bitsPerSample, 16);
    EXPECT_EQ(std::filesystem::file_size(path), static_cast<uintmax_t>(WAV_HEADER_SIZE + 4));
    in = std::fopen(path.c_str(), "rb");
    Bytes riffSize(8);
    ASSERT_EQ(std::fread(riffSize.data(), 1, 8, in), 8u);
    std::fclose(in);
    EXPECT_EQ(riffSize[4], WAV_HEADER_SIZE - 8 + 4);  // what follows the RIFF size field
}

}  // namespace
}  // namespace vorpel
