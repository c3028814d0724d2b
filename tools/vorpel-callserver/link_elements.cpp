#include "link_elements.h"

namespace vorpel::callserver {
namespace {

void writeLine(ByteWriter& w, std::string_view text) {
    constexpr size_t LINE = DISPLAY_ROW_CHARS / 2;
    for (size_t i = 0; i < LINE; ++i) w.u8(i < text.size() ? static_cast<uint8_t>(text[i]) : ' ');
}

}  // namespace

void writeDisplayRow(ByteWriter& w, uint8_t row, std::string_view line0, std::string_view line1) {
    w.u8(ELEMENT_DISPLAY_ROW).u8(DISPLAY_ROW_ELEMENT_SIZE - 1).u8(row);
    writeLine(w, line0);
    writeLine(w, line1);
}

void writeIndicators(ByteWriter& w, std::span<const uint8_t> numberStatePairs) {
    w.u8(ELEMENT_INDICATORS).u8(static_cast<uint8_t>(1 + numberStatePairs.size())).bytes(numberStatePairs);
}

void writeMelody(ByteWriter& w, uint8_t tempo, std::span<const uint8_t, MELODY_NOTES> notes) {
    w.u8(ELEMENT_MELODY).u8(MELODY_ELEMENT_SIZE - 1).u8(tempo).bytes(notes);
}

void writeAudioControl(ByteWriter& w, uint8_t command) { w.u8(ELEMENT_AUDIO_CONTROL).u8(2).u8(command); }

void writeVoiceChannel(ByteWriter& w, uint16_t port, uint32_t address) {
    w.u8(ELEMENT_VOICE_CHANNEL).u8(address ? 8 : 4).u8(0).u16le(port);
    // The terminal reads bytes 5 to 8 as one number, byte 5 least significant,
    // so the first part of the dotted address goes last.
    if (address) w.u16le(static_cast<uint16_t>(address)).u16le(static_cast<uint16_t>(address >> 16));
}

void writeSyncCheck(ByteWriter& w, uint16_t value) { w.u8(ELEMENT_SYNC_CHECK).u8(3).u16le(value); }

void writeEcho(ByteWriter& w, uint8_t first, uint8_t second) {
    w.u8(ELEMENT_ECHO).u8(3).u8(first).u8(second);
}

ElementParse parseTerminalElement(const ByteReader& frame, size_t& pos, TerminalElement& out) {
    if (pos >= frame.size()) return ElementParse::End;
    const uint8_t code = frame.u8(pos);
    out.code = code;
    if (code == ELEMENT_CALL_STATE) {
        if (!frame.has(pos, 3)) return ElementParse::Malformed;
        out.value = frame.u16le(pos + 1);
        pos += 3;
        return ElementParse::Element;
    }
    if (!frame.has(pos, 2)) return ElementParse::Malformed;
    const size_t size = static_cast<size_t>(frame.u8(pos + 1)) + 1;
    if (!frame.has(pos, size)) return ElementParse::Malformed;
    switch (code) {
    case ELEMENT_SYNC_REPLY:
        if (size != 4) return ElementParse::Malformed;
        out.value = frame.u16le(pos + 2);
        break;
    case ELEMENT_ECHO_REPLY:
    case ELEMENT_KEY_EVENT:
        if (size != 4) return ElementParse::Malformed;
        out.value = frame.u16be(pos + 2);
        break;
    case ELEMENT_ANNOUNCE:
        if (size != 8) return ElementParse::Malformed;
        out.value = 0;
        break;
    default:
        return ElementParse::Malformed;
    }
    pos += size;
    return ElementParse::Element;
}

}  // namespace vorpel::callserver
