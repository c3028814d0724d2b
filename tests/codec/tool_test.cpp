// The g729a command-line tool: round trip through files and its refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "codec/g729a_state.h"
#include "vectors.h"

namespace vorpel {
namespace {

std::string tempPath(const std::string& name) { return ::testing::TempDir() + "g729a_tool_" + name; }

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int runTool(const std::string& args) {
    const std::string command = std::string(VORPEL_G729A_TOOL) + " " + args + " 2>/dev/null";
    return std::system(command.c_str());
}

TEST(G729aTool, DecodeMatchesTheLibraryAndEncodeWritesTenBytesPerFrame) {
    std::vector<uint8_t> pcm(160 * 12);
    for (size_t i = 0; i < pcm.size() / 2; i++) {
        const auto v = static_cast<uint16_t>(static_cast<int16_t>((i * 397) % 4000) - 2000);
        pcm[2 * i] = static_cast<uint8_t>(v & 0xff);
        pcm[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    writeBytes(tempPath("in.pcm"), pcm);
    ASSERT_EQ(runTool("encode " + tempPath("in.pcm") + " " + tempPath("out.g729")), 0);
    auto bits = testing::readFileBytes(tempPath("out.g729"));
    ASSERT_TRUE(bits.has_value());
    ASSERT_EQ(bits->size(), 12u * 10u);
    bits->resize(bits->size() + 10, 0);  // an erased frame at the end
    writeBytes(tempPath("in.g729"), *bits);
    ASSERT_EQ(runTool("decode " + tempPath("in.g729") + " " + tempPath("out.pcm")), 0);
    auto decoded = testing::readFileBytes(tempPath("out.pcm"));
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->size(), 13u * 160u);

    G729Decoder d{};
    resetDecoder(d);
    std::vector<int16_t> expected(13 * 80);
    for (size_t f = 0; f < 13; f++)
        decodeFrame(d, std::span<const uint8_t, 10>(bits->data() + 10 * f, 10), false,
                    std::span<int16_t, 80>(expected.data() + 80 * f, 80));
    EXPECT_EQ(testing::samplesFromBytes(*decoded), expected);
}

TEST(G729aTool, RefusesUnreadableFilesAndPartialFrames) {
    EXPECT_NE(runTool("decode " + tempPath("does_not_exist") + " " + tempPath("x.pcm")), 0);
    writeBytes(tempPath("partial.g729"), std::vector<uint8_t>(25, 1));
    EXPECT_NE(runTool("decode " + tempPath("partial.g729") + " " + tempPath("x.pcm")), 0);
    writeBytes(tempPath("partial.pcm"), std::vector<uint8_t>(161, 0));
    EXPECT_NE(runTool("encode " + tempPath("partial.pcm") + " " + tempPath("x.g729")), 0);
    EXPECT_NE(runTool("transcode a b"), 0);
}

}  // namespace
}  // namespace vorpel
