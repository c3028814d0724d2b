// A UDP endpoint of the call server's world: an IPv4 address and a port.
#pragma once

#include <cstdint>
#include <string>

namespace vorpel::callserver {

struct Endpoint {
    // IPv4 address as a number whose most significant byte is the first part
    // of the dotted address (127.0.0.1 is 0x7F000001).
    uint32_t address = 0;
    uint16_t port = 0;

    friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

// "a.b.c.d:port", for traces and messages.
std::string formatEndpoint(const Endpoint& endpoint);

// Parses a dotted IPv4 address; false for anything else.
bool parseDottedAddress(const std::string& text, uint32_t& address);

}  // namespace vorpel::callserver
