#include "settings/dotted_address.h"

#include <gtest/gtest.h>

#include <string>

namespace vorpel {
namespace {

TEST(ParseDottedAddress, AcceptsAnAddressAndWhatMayEndIt) {
    EXPECT_EQ(parseDottedAddress("10.1.2.3"), 0x0A010203u);
    EXPECT_EQ(parseDottedAddress("10.1.2.3 whatever"), 0x0A010203u);
    EXPECT_EQ(parseDottedAddress("10.1.2.3<sip:x>"), 0x0A010203u);
    EXPECT_EQ(parseDottedAddress("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(parseDottedAddress("0.0.0.0"), 0u);
    EXPECT_EQ(parseDottedAddress("001.002.003.004"), 0x01020304u);
    // The stored field is zero-padded: the first zero byte ends the text.
    EXPECT_EQ(parseDottedAddress(std::string_view("1.2.3.4\0\0junk", 13)), 0x01020304u);
}

TEST(ParseDottedAddress, EmptyPartsCountAsZero) {
    EXPECT_EQ(parseDottedAddress("1..2.3"), 0x01000203u);
    EXPECT_EQ(parseDottedAddress(".1.2.3"), 0x00010203u);
    EXPECT_EQ(parseDottedAddress("..."), 0u);  // the last part needs a digit anyway
}

TEST(ParseDottedAddress, RejectsEverythingElse) {
    for (const char* text : {"", "10.1.2", "10.1.2.3.4", "1.2.3.256", "1.2.3.", "256.1.1.1", "1.2.3.4x",
                             "1.2.3.0004", "1234.1.1.1", "1.2 .3.4", "1.2<.3.4", "host.example", "-1.2.3.4",
                             "1.2.3.4\t", "1.300.3.4", "1.2.3.999"}) {
        EXPECT_EQ(parseDottedAddress(text), 0u) << text;
    }
}

TEST(FormatDottedAddress, WritesMostSignificantByteFirstWithoutLeadingZeros) {
    EXPECT_EQ(formatDottedAddress(0x0A010203u), "10.1.2.3");
    EXPECT_EQ(formatDottedAddress(0), "0.0.0.0");
    EXPECT_EQ(formatDottedAddress(0xFF00FF09u), "255.0.255.9");
    for (uint32_t a : {0x7F000001u, 0xC0A80A64u, 0x01020304u}) EXPECT_EQ(parseDottedAddress(formatDottedAddress(a)), a);
}

}  // namespace
}  // namespace vorpel
