// Texts as the line-oriented front ends print them: in double quotes, with
// '"' and '\' escaped by a backslash and every byte outside 0x20..0x7E
// written as \xNN (two upper-case hex digits), so that one value is always
// one printable token whatever bytes the server or the store holds.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vorpel {

std::string quoteText(std::span<const uint8_t> bytes);
std::string quoteText(std::string_view text);

}  // namespace vorpel
