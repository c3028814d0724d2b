#include "common/quoted_text.h"

namespace vorpel {

std::string quoteText(std::span<const uint8_t> bytes) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() + 2);
    out.push_back('"');
    for (uint8_t b : bytes) {
        if (b == '"' || b == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(b));
        } else if (b < 0x20 || b > 0x7E) {
            out += "\\x";
            out.push_back(HEX[b >> 4]);
            out.push_back(HEX[b & 0x0F]);
        } else {
            out.push_back(static_cast<char>(b));
        }
    }
    out.push_back('"');
    return out;
}

std::string quoteText(std::string_view text) {
    return quoteText(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace vorpel
