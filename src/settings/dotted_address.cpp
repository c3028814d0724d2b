#include "settings/dotted_address.h"

#include <array>

namespace vorpel {

namespace {
constexpr unsigned MAX_PART_DIGITS = 3;
constexpr uint32_t MAX_PART_VALUE = 255;
constexpr size_t PART_COUNT = 4;
}  // namespace

uint32_t parseDottedAddress(std::string_view text) {
    std::array<uint32_t, PART_COUNT> parts{};
    size_t part = 0;  // index of the part being read
    uint32_t value = 0;
    unsigned digits = 0;
    for (char c : text) {
        const auto ch = static_cast<uint8_t>(c);
        // The text is a C string in the settings record: a zero byte ends it.
        if (ch == 0 || ch == ' ' || ch == '<') break;
        if (ch >= '0' && ch <= '9') {
            if (digits == MAX_PART_DIGITS) return 0;
            value = value * 10 + (ch - '0');
            ++digits;
        } else if (ch == '.') {
            // A part without digits counts as a part of value 0.
            if (part == PART_COUNT - 1 || value > MAX_PART_VALUE) return 0;
            parts[part++] = value;
            value = 0;
            digits = 0;
        } else {
            return 0;
        }
    }
    if (part != PART_COUNT - 1 || digits == 0 || value > MAX_PART_VALUE) return 0;
    parts[part] = value;
    return (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
}

std::string formatDottedAddress(uint32_t address) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (!out.empty()) out.push_back('.');
        out += std::to_string((address >> shift) & 0xFFu);
    }
    return out;
}

}  // namespace vorpel
