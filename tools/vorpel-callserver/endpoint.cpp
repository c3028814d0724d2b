#include "endpoint.h"

#include <cstdio>

namespace vorpel::callserver {

std::string formatEndpoint(const Endpoint& endpoint) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", (endpoint.address >> 24) & 0xFF,
                  (endpoint.address >> 16) & 0xFF, (endpoint.address >> 8) & 0xFF, endpoint.address & 0xFF,
                  static_cast<unsigned>(endpoint.port));
    return text;
}

bool parseDottedAddress(const std::string& text, uint32_t& address) {
    uint32_t result = 0;
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
        uint32_t part = 0;
        size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            part = part * 10 + static_cast<uint32_t>(text[i] - '0');
            ++i;
            if (++digits > 3 || part > 255) return false;
        }
        result = (result << 8) | part;
        ++parts;
        if (parts < 4) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
    }
    if (i != text.size()) return false;
    address = result;
    return true;
}

}  // namespace vorpel::callserver
