// Bytes of the signalling protocol: datagram kinds, link frame types, the
// elements the server sends and those the terminal sends.
//
// Terminal to server, after registration every frame carries the terminal id
// (low byte first) right after its first byte:
//
//   registration request  00 10 01 account ...            41 or 137 bytes (below)
//   logoff                01 id.lo id.hi                 3 bytes
//   connect request       FF id.lo id.hi 01              4 bytes
//   ack frame             FF id.lo id.hi 03 ack          5 bytes
//   data frame            FF id.lo id.hi 10 seq elems..  5 to 17 bytes
//
// Server to terminal (no terminal id):
//
//   registration reply    00 id.lo id.hi ...  server public value at 17..112 (below)
//   refusal               80 text (up to 25 bytes, ended early by a zero)
//   connect confirm       FF 02
//   ack frame             FF 03 ack
//   data frame            FF 10 seq elems..
//
// A sequence byte holds the frame's own number in bits 0..2 and the sender's
// next expected number in bits 4..6; an ack byte holds the sender's oldest
// unacknowledged number in bits 0..2 and its next expected in bits 4..6.
// Data frames are numbered modulo 8 in each direction.
#pragma once

#include <cstddef>
#include <cstdint>

#include "security/credential_proof.h"
#include "security/key_material.h"
#include "settings/settings_record.h"

namespace vorpel::wire {

// First byte of a datagram.
inline constexpr uint8_t KIND_REGISTRATION = 0x00;
inline constexpr uint8_t KIND_LOGOFF = 0x01;
inline constexpr uint8_t KIND_REFUSAL = 0x80;
inline constexpr uint8_t KIND_LINK = 0xFF;

// Link frame types (the byte after 0xFF, or after 0xFF and the terminal id).
inline constexpr uint8_t LINK_CONNECT_REQUEST = 0x01;
inline constexpr uint8_t LINK_CONNECT_CONFIRM = 0x02;
inline constexpr uint8_t LINK_ACK = 0x03;
inline constexpr uint8_t LINK_DATA = 0x10;

inline constexpr uint8_t SEQUENCE_MASK = 7;
// Send slot byte counts: an empty slot holds the type and sequence byte;
// elements are appended while it holds fewer than SLOT_FULL_COUNT.
inline constexpr uint32_t SLOT_EMPTY_COUNT = 2;
inline constexpr uint32_t SLOT_FULL_COUNT = 11;
inline constexpr unsigned ACK_NUMBER_SHIFT = 4;

// Registration request: every field as stored in the settings, the counter
// low byte first; the public value only while a key pair is held.
//
//   0  00 10 01
//   3  account id (23 bytes)
//  26  00
//  27  registration counter (2 bytes)
//  29  credential proof (8 bytes)
//  37  numeric server address (4 bytes, first octet first)
//  41  the terminal's public value (96 bytes, big-endian)
inline constexpr uint8_t REQUEST_CONSTANT_1 = 0x10;
inline constexpr uint8_t REQUEST_CONSTANT_2 = 0x01;
inline constexpr size_t REQUEST_ACCOUNT_ID_OFFSET = 3;
inline constexpr size_t REQUEST_COUNTER_OFFSET = REQUEST_ACCOUNT_ID_OFFSET + ACCOUNT_ID_USED + 1;
inline constexpr size_t REQUEST_PROOF_OFFSET = REQUEST_COUNTER_OFFSET + 2;
inline constexpr size_t REQUEST_SERVER_ADDRESS_OFFSET = REQUEST_PROOF_OFFSET + CREDENTIAL_PROOF_SIZE;
inline constexpr size_t REQUEST_PUBLIC_VALUE_OFFSET = REQUEST_SERVER_ADDRESS_OFFSET + 4;
inline constexpr size_t REGISTRATION_REQUEST_SHORT = REQUEST_PUBLIC_VALUE_OFFSET;
inline constexpr size_t REGISTRATION_REQUEST_FULL = REQUEST_PUBLIC_VALUE_OFFSET + PUBLIC_VALUE_SIZE;
static_assert(REGISTRATION_REQUEST_SHORT == 41 && REGISTRATION_REQUEST_FULL == 137);

// Registration reply: terminal id at offsets 1 and 2 of the datagram, the
// server's public value (96 bytes, big-endian) from offset 17 in a reply of
// at least 113 bytes.
inline constexpr size_t REPLY_TERMINAL_ID_OFFSET = 1;
inline constexpr size_t REPLY_PUBLIC_VALUE_OFFSET = 17;
// Refusal: the server's text from offset 1, at most one display line.
inline constexpr size_t REFUSAL_TEXT_OFFSET = 1;
inline constexpr size_t REFUSAL_TEXT_MAX = 25;

// Elements from the server: code in the high four bits of byte 0, length
// byte n at byte 1, n + 1 bytes in all.
inline constexpr uint8_t ELEMENT_CODE_MASK = 0xF0;
inline constexpr uint8_t EL_SYNC_CHECK = 0x10;
inline constexpr uint8_t EL_ECHO = 0x20;
inline constexpr uint8_t EL_SKIP_BLOCK = 0x30;
inline constexpr uint8_t EL_DISPLAY_ROW = 0x40;
inline constexpr uint8_t EL_MELODY = 0x50;
inline constexpr uint8_t EL_SERVER_VALUE = 0x70;
inline constexpr uint8_t EL_INDICATOR_LIST = 0x80;
inline constexpr uint8_t EL_AUDIO_CONTROL = 0x90;
inline constexpr uint8_t EL_VOICE_CHANNEL = 0xA0;
inline constexpr uint8_t EL_FILLER = 0xF0;

inline constexpr size_t SYNC_CHECK_SIZE = 4;
inline constexpr size_t ECHO_SIZE = 4;
inline constexpr size_t SKIP_BLOCK_SIZE = 36;
inline constexpr size_t SKIP_BLOCK_EXTRA = 36;  // bytes skipped after the element itself
inline constexpr size_t DISPLAY_ROW_SIZE = 53;
inline constexpr size_t MELODY_SIZE = 35;
inline constexpr size_t INDICATOR_LIST_MIN_SIZE = 3;
inline constexpr size_t AUDIO_CONTROL_SIZE = 3;
inline constexpr size_t VOICE_CHANNEL_SHORT_SIZE = 5;
inline constexpr size_t VOICE_CHANNEL_FULL_SIZE = 9;

// Audio control commands (byte 2 of element 0x90).
inline constexpr uint8_t AUDIO_START_VOICE = 0;
inline constexpr uint8_t AUDIO_RELEASE = 1;
inline constexpr uint8_t AUDIO_MUTE = 2;
inline constexpr uint8_t AUDIO_UNMUTE = 3;
inline constexpr uint8_t AUDIO_RELEASE_TOO = 4;

// Elements from the terminal.
inline constexpr uint8_t EL_SYNC_REPLY = 0x10;
inline constexpr uint8_t EL_ECHO_REPLY = 0x20;
inline constexpr uint8_t EL_CALL_STATE_REPORT = 0x30;  // no length byte
inline constexpr uint8_t EL_ANNOUNCE = 0x50;
inline constexpr uint8_t EL_KEY_EVENT = 0x60;  // key code high byte first
inline constexpr uint8_t REPLY_LENGTH = 0x03;

// The terminal's own audio indicator.
inline constexpr unsigned AUDIO_INDICATOR = 26;
inline constexpr uint8_t INDICATOR_ON = 3;
inline constexpr uint8_t INDICATOR_OFF = 0;

}  // namespace vorpel::wire
