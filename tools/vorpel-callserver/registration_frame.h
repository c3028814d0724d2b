// Registration frames: the terminal's request, the server's reply and its
// refusal.
//
// Registration request (terminal to server), 41 or 137 bytes:
//
//   offset  size  field
//        0     1  0x00 (frame class)
//        1     1  0x10
//        2     1  0x01
//        3    23  account id, zero-padded
//       26     1  0x00
//       27     2  request counter, low byte first
//       29     8  credential proof (first 8 bytes of the MD5 digest)
//       37     4  the server address as the terminal stores it
//       41    96  the terminal's Diffie-Hellman public value (137-byte form only)
//
// Registration reply (server to terminal): 0x00, terminal id low byte first,
// 4 + 2 + 8 bytes the terminal does not interpret, then the server's public
// value (113 bytes); 17 bytes without a public value.
//
// Refusal: 0x80 and a text of at most 25 bytes, ended by a zero byte when
// shorter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "server_crypto.h"

namespace vorpel::callserver {

inline constexpr size_t REGISTRATION_REQUEST_SHORT = 41;
inline constexpr size_t REGISTRATION_REQUEST_LONG = 137;
inline constexpr size_t REGISTRATION_REPLY_SHORT = 17;
inline constexpr size_t REGISTRATION_REPLY_LONG = 113;
inline constexpr size_t REFUSAL_TEXT_MAX = 25;
inline constexpr size_t REFUSAL_MAX = 1 + REFUSAL_TEXT_MAX;

inline constexpr uint8_t FRAME_REGISTRATION = 0x00;
inline constexpr uint8_t FRAME_LOGOFF = 0x01;
inline constexpr uint8_t FRAME_REFUSAL = 0x80;
inline constexpr uint8_t FRAME_LINK = 0xFF;

struct RegistrationRequest {
    std::span<const uint8_t, 23> accountId;
    uint16_t counter = 0;
    std::span<const uint8_t, CREDENTIAL_PROOF_SIZE> proof;
    bool hasPublicValue = false;
    DhPublic publicValue{};
};

// Checks length and layout; nothing for anything else.
std::optional<RegistrationRequest> parseRegistrationRequest(std::span<const uint8_t> datagram);

// Writes the reply into out (at least 113 bytes); returns its length.
size_t buildRegistrationReply(std::span<uint8_t> out, uint16_t terminalId, const DhPublic* serverPublic);

// Writes a refusal into out (at least 26 bytes); the text is cut to 25 bytes.
size_t buildRefusal(std::span<uint8_t> out, std::string_view text);

}  // namespace vorpel::callserver
