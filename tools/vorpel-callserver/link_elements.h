// Elements carried in link data frames, in both directions.
//
// Server elements: a code byte, a length byte n, then n - 1 further bytes
// (n + 1 bytes in all). The terminal's elements use the same shape, except the
// call-state report, which has no length byte (0x30, audio control low, high).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/byte_io.h"

namespace vorpel::callserver {

// Server element codes.
inline constexpr uint8_t ELEMENT_SYNC_CHECK = 0x10;
inline constexpr uint8_t ELEMENT_ECHO = 0x20;
inline constexpr uint8_t ELEMENT_DISPLAY_ROW = 0x40;
inline constexpr uint8_t ELEMENT_MELODY = 0x50;
inline constexpr uint8_t ELEMENT_INDICATORS = 0x80;
inline constexpr uint8_t ELEMENT_AUDIO_CONTROL = 0x90;
inline constexpr uint8_t ELEMENT_VOICE_CHANNEL = 0xA0;

// Terminal element codes.
inline constexpr uint8_t ELEMENT_SYNC_REPLY = 0x10;
inline constexpr uint8_t ELEMENT_ECHO_REPLY = 0x20;
inline constexpr uint8_t ELEMENT_CALL_STATE = 0x30;
inline constexpr uint8_t ELEMENT_ANNOUNCE = 0x50;
inline constexpr uint8_t ELEMENT_KEY_EVENT = 0x60;

// Audio control commands.
inline constexpr uint8_t AUDIO_START_VOICE = 0;
inline constexpr uint8_t AUDIO_RELEASE = 1;
inline constexpr uint8_t AUDIO_MUTE = 2;
inline constexpr uint8_t AUDIO_UNMUTE = 3;
inline constexpr uint8_t AUDIO_RELEASE_GONE = 4;

// Audio modes as the call-state report carries them.
inline constexpr uint8_t AUDIO_MODE_IDLE = 0;
inline constexpr uint8_t AUDIO_MODE_MELODY = 2;
inline constexpr uint8_t AUDIO_MODE_VOICE = 3;

inline constexpr size_t DISPLAY_ROW_CHARS = 50;
inline constexpr size_t DISPLAY_ROW_ELEMENT_SIZE = 3 + DISPLAY_ROW_CHARS;
inline constexpr size_t MELODY_NOTES = 32;
inline constexpr size_t MELODY_ELEMENT_SIZE = 3 + MELODY_NOTES;

// Builders append one element to w.
void writeDisplayRow(ByteWriter& w, uint8_t row, std::string_view line0, std::string_view line1);
void writeIndicators(ByteWriter& w, std::span<const uint8_t> numberStatePairs);
void writeMelody(ByteWriter& w, uint8_t tempo, std::span<const uint8_t, MELODY_NOTES> notes);
void writeAudioControl(ByteWriter& w, uint8_t command);
// address 0 writes the 5-byte form (the signalling server's own address).
void writeVoiceChannel(ByteWriter& w, uint16_t port, uint32_t address);
void writeSyncCheck(ByteWriter& w, uint16_t value);
void writeEcho(ByteWriter& w, uint8_t first, uint8_t second);

struct TerminalElement {
    uint8_t code = 0;
    // Sync reply: the value. Echo reply: first byte high, second low.
    // Call-state report: the audio control word. Key event: the key code.
    uint16_t value = 0;
};

enum class ElementParse { Element, End, Malformed };

// Reads the terminal element at pos and advances pos past it.
ElementParse parseTerminalElement(const ByteReader& frame, size_t& pos, TerminalElement& out);

}  // namespace vorpel::callserver
