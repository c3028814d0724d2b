// Readable descriptions of signalling frames and voice packets, one shared
// form for the protocol traces of the terminal and of the call server.
// Tracing is a debugging aid: these functions build strings and allocate, and
// are called only while a trace is being written.
//
// Nothing secret is described: a registration request shows its account and
// counter, never the credential proof; public values of the key agreement
// appear by their length only.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vorpel {

// fromTerminal selects the terminal's frame shapes (they carry a terminal id
// after the first byte) or the server's.
std::string describeSignalling(std::span<const uint8_t> frame, bool fromTerminal);
std::string describeVoice(std::span<const uint8_t> packet);
// The character of a keypad key code ('0'-'9', '*', '#'), or 0 for any other key.
char keypadDigit(uint16_t code);
// A key's name: the keypad character in single quotes, "Esc", "OK", "Del",
// "<", ">", or the code in hex.
std::string keyName(uint16_t code);

}  // namespace vorpel
