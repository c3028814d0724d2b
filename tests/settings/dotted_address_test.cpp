#include "settings/dotted_address.h"

#include <gtest/gtest.h>

#include <string>

namespace vorpel {
namespace {

// What may end an address, and empty parts, which count as zero.
TEST(ParseDottedAddress, AcceptsAnAddressAndWhatMayEndIt) {
    const std::pair<std::string_view, uint32_t> cases[] = {
        {"10.1.2.3", 0x0A010203u},
        {"10.1.2.3 whatever", 0x0A010203u},
        {"10.1.2.3<sip:x>", 0x0A010203u},
        {"255.255.255.255", ~0u},
        {"0.0.0.0", 0u},
        {"001.002.003.004", 0x01020304u},
        {"1..2.3", 0x01000203u},
        {".1.2.3", 0x00010203u},
        {"...", 0u},
        // The stored field is zero-padded: the first zero byte ends the text.
        {std::string_view("1.2.3.4\0\0junk", 13), 0x01020304u},
    };
    for (const auto& [text, address] : cases) EXPECT_EQ(parseDottedAddress(text), address) << text;
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
}

}  // namespace
}  // namespace vorpel
