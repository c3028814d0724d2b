#include "common/byte_io.h"

#include <gtest/gtest.h>

#include <array>

namespace vorpel {
namespace {

TEST(ByteReader, ReadsInsideAndYieldsZeroPastTheEnd) {
    const std::array<uint8_t, 3> data{0x34, 0x12, 0x7F};
    ByteReader r(data);
    EXPECT_EQ(r.u16le(0), 0x1234);
    EXPECT_EQ(r.u16be(0), 0x3412);
    // The high byte lies beyond the datagram: it reads as zero.
    EXPECT_EQ(r.u16le(2), 0x007F);
    EXPECT_EQ(r.u32be(0), 0x34127F00u);
    EXPECT_EQ(r.u8(1000000), 0);
}

TEST(ByteReader, SlicesOnlyWhatLiesInside) {
    const std::array<uint8_t, 4> data{1, 2, 3, 4};
    ByteReader r(data);
    EXPECT_EQ(r.slice(1, 3).size(), 3u);
    EXPECT_TRUE(r.has(4, 0));
    EXPECT_FALSE(r.has(5, 0));
    EXPECT_FALSE(r.has(3, 2));
    // An offset plus count that would wrap around is refused, not read.
    EXPECT_TRUE(r.slice(2, SIZE_MAX).empty());
}

TEST(ByteWriter, RefusesToWritePastItsBuffer) {
    std::array<uint8_t, 3> buf{};
    ByteWriter w(buf);
    w.u8(0xFF).u16le(0x1234).u8(9);
    EXPECT_TRUE(w.failed());
    EXPECT_EQ(w.size(), 3u);
    EXPECT_EQ(buf[0], 0xFF);
    EXPECT_EQ(buf[1], 0x34);
    EXPECT_EQ(buf[2], 0x12);
}

}  // namespace
}  // namespace vorpel
