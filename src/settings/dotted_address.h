#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorpel {

// A dotted IPv4 address text as a number whose most significant byte is the
// first part; 0 when the text is not one. The last part may be followed by a
// space or a "<" and whatever comes after it.
uint32_t parseDottedAddress(std::string_view text);
// The dotted text of an address, most significant byte first (0x0A010203 -> "10.1.2.3").
std::string formatDottedAddress(uint32_t address);

}  // namespace vorpel
