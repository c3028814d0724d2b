#include "trace/frame_trace.h"

#include <cstdio>

#include "common/byte_io.h"
#include "signalling/signalling_wire.h"

namespace vorpel {
namespace {

using namespace wire;

std::string bytes(size_t count) { return " (" + std::to_string(count) + " bytes)"; }

// Zero-padded text up to its first zero byte.
std::span<const uint8_t> untilZero(std::span<const uint8_t> text) {
    size_t length = 0;
    while (length < text.size() && text[length]) ++length;
    return text.first(length);
}

std::string hex(unsigned value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", width, value);
    return text;
}

std::string quoted(std::span<const uint8_t> bytes) {
    std::string text = "'";
    for (uint8_t b : bytes) text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
    // Trailing blanks of display lines say nothing.
    while (text.size() > 1 && text.back() == ' ') text.pop_back();
    return text + "'";
}

// A public value of the key agreement, by its length only.
std::string publicValue(size_t length) {
    return length >= PUBLIC_VALUE_SIZE
               ? " with public value of " + std::to_string(PUBLIC_VALUE_SIZE) + " bytes"
               : " without public value";
}

// The terminal's elements: the server's shape (code, length n, n + 1 bytes
// in all), except the call-state report, which has no length byte.
std::string terminalElements(const ByteReader& in, size_t pos) {
    std::string text;
    while (pos < in.size()) {
        const uint8_t code = in.u8(pos);
        text += text.empty() ? " " : ", ";
        if (code == EL_CALL_STATE_REPORT && in.has(pos, 3)) {
            text += "call state, audio mode " + std::to_string(in.u16le(pos + 1) & 3);
            pos += 3;
            continue;
        }
        const size_t size = in.has(pos, 2) ? static_cast<size_t>(in.u8(pos + 1)) + 1 : 0;
        const bool reply =
            size == 4 && (code == EL_SYNC_REPLY || code == EL_ECHO_REPLY || code == EL_KEY_EVENT);
        if (!in.has(pos, size) || !(reply || (code == EL_ANNOUNCE && size == 8))) {
            text += "malformed element " + hex(code, 2);
            break;
        }
        if (code == EL_SYNC_REPLY) text += "sync reply " + std::to_string(in.u16le(pos + 2));
        if (code == EL_ECHO_REPLY) text += "echo reply " + hex(in.u16be(pos + 2), 4);
        if (code == EL_ANNOUNCE) text += "announce";
        if (code == EL_KEY_EVENT) text += "key " + keyName(in.u16be(pos + 2));
        pos += size;
    }
    return text;
}

std::string serverElement(const ByteReader& in, size_t pos, size_t size) {
    const uint8_t code = in.u8(pos) & ELEMENT_CODE_MASK;
    switch (code) {
    case EL_SYNC_CHECK:
        return "sync check " + std::to_string(in.u16le(pos + 2));
    case EL_ECHO:
        return "echo " + hex(in.u16be(pos + 2), 4);
    case EL_DISPLAY_ROW:
        return "row " + std::to_string(in.u8(pos + 2)) + " " + quoted(in.slice(pos + 3, 25)) + " " +
               quoted(in.slice(pos + 28, 25));
    case EL_MELODY:
        return "melody tempo " + std::to_string(in.u8(pos + 2));
    case EL_INDICATOR_LIST: {
        std::string text = "indicators";
        for (size_t i = pos + 2; i + 1 < pos + size; i += 2) {
            text += " " + std::to_string(in.u8(i)) + "=" + std::to_string(in.u8(i + 1));
        }
        return text;
    }
    case EL_AUDIO_CONTROL:
        return "audio control " + std::to_string(in.u8(pos + 2));
    case EL_VOICE_CHANNEL: {
        std::string text = "voice channel port " + std::to_string(in.u16le(pos + 3));
        if (size == VOICE_CHANNEL_FULL_SIZE) {
            char address[32];
            std::snprintf(address, sizeof address, " address %u.%u.%u.%u", in.u8(pos + 8), in.u8(pos + 7),
                          in.u8(pos + 6), in.u8(pos + 5));
            text += address;
        }
        return text;
    }
    default:
        return "element " + hex(code, 2) + " size " + std::to_string(size);
    }
}

}  // namespace

std::string keyName(uint16_t code) {
    if (char digit = keypadDigit(code)) return std::string("'") + digit + "'";
    switch (code) {
    case 0xFD7F:
        return "Esc";
    case 0xFDBF:
        return "<";
    case 0xFDDF:
        return "OK";
    case 0xFDEF:
        return ">";
    case 0xFDF7:
        return "Del";
    default:
        return hex(code, 4);
    }
}

char keypadDigit(uint16_t code) {
    switch (code) {
    case 0xFBF7:
        return '1';
    case 0xFB7F:
        return '2';
    case 0xF7FB:
        return '3';
    case 0xFBFB:
        return '4';
    case 0xFBBF:
        return '5';
    case 0xF7F7:
        return '6';
    case 0xFBFD:
        return '7';
    case 0xFBDF:
        return '8';
    case 0xF7FD:
        return '9';
    case 0xFBFE:
        return '*';
    case 0xFBEF:
        return '0';
    case 0xF7FE:
        return '#';
    default:
        return 0;
    }
}

std::string describeSignalling(std::span<const uint8_t> frame, bool fromTerminal) {
    const ByteReader in(frame);
    if (frame.empty()) return "empty datagram";
    const uint8_t first = in.u8(0);
    if (fromTerminal) {
        if (first == KIND_REGISTRATION) {
            const bool shaped =
                (frame.size() == REGISTRATION_REQUEST_SHORT || frame.size() == REGISTRATION_REQUEST_FULL) &&
                in.u8(1) == REQUEST_CONSTANT_1 && in.u8(2) == REQUEST_CONSTANT_2 &&
                in.u8(REQUEST_COUNTER_OFFSET - 1) == 0;
            if (!shaped) return "malformed registration request" + bytes(frame.size());
            return "registration request account " +
                   quoted(untilZero(in.slice(REQUEST_ACCOUNT_ID_OFFSET, ACCOUNT_ID_USED))) + " counter " +
                   std::to_string(in.u16le(REQUEST_COUNTER_OFFSET)) +
                   publicValue(frame.size() - REQUEST_PUBLIC_VALUE_OFFSET) + bytes(frame.size());
        }
        const std::string id = " id " + hex(in.u16le(1), 4);
        if (first == KIND_LOGOFF && frame.size() == 3) return "logoff" + id;
        if (first == KIND_LINK && frame.size() >= 4) {
            const uint8_t type = in.u8(3);
            if (type == LINK_CONNECT_REQUEST && frame.size() == 4) return "connect request" + id;
            if (type == LINK_ACK && frame.size() == 5) {
                return "ack" + id + " expects " +
                       std::to_string((in.u8(4) >> ACK_NUMBER_SHIFT) & SEQUENCE_MASK);
            }
            if (type == LINK_DATA && frame.size() >= 5) {
                return "data" + id + " seq " + std::to_string(in.u8(4) & SEQUENCE_MASK) + " ack " +
                       std::to_string((in.u8(4) >> ACK_NUMBER_SHIFT) & SEQUENCE_MASK) + ":" +
                       terminalElements(in, 5);
            }
        }
        return "unrecognised frame " + hex(first, 2) + bytes(frame.size());
    }
    if (first == KIND_REGISTRATION) {
        const size_t value =
            frame.size() > REPLY_PUBLIC_VALUE_OFFSET ? frame.size() - REPLY_PUBLIC_VALUE_OFFSET : 0;
        return "registration reply id " + hex(in.u16le(REPLY_TERMINAL_ID_OFFSET), 4) + publicValue(value) +
               bytes(frame.size());
    }
    if (first == KIND_REFUSAL)
        return "refusal " + quoted(untilZero(in.slice(REFUSAL_TEXT_OFFSET, frame.size() - 1)));
    if (first == KIND_LINK && frame.size() >= 2) {
        const uint8_t type = in.u8(1);
        if (type == LINK_CONNECT_CONFIRM) return "connect confirm";
        if (type == LINK_ACK) {
            return "ack expects " + std::to_string((in.u8(2) >> ACK_NUMBER_SHIFT) & SEQUENCE_MASK) +
                   " oldest " + std::to_string(in.u8(2) & SEQUENCE_MASK);
        }
        if (type == LINK_DATA && frame.size() >= 3) {
            std::string text = "data seq " + std::to_string(in.u8(2) & SEQUENCE_MASK) + " ack " +
                               std::to_string((in.u8(2) >> ACK_NUMBER_SHIFT) & SEQUENCE_MASK) + ":";
            size_t pos = 3;
            while (pos + 1 < frame.size()) {
                const size_t elementSize = static_cast<size_t>(in.u8(pos + 1)) + 1;
                text += (pos == 3 ? " " : ", ") + serverElement(in, pos, elementSize);
                pos += elementSize;
            }
            return text;
        }
    }
    return "frame " + hex(first, 2) + bytes(frame.size());
}

std::string describeVoice(std::span<const uint8_t> packet) {
    const ByteReader in(packet);
    if (packet.size() < 12) return "voice packet too short" + bytes(packet.size());
    return "rtp pt " + std::to_string(in.u8(1) & 0x7F) + " seq " + std::to_string(in.u16be(2)) + " ts " +
           std::to_string(in.u32be(4)) + " ssrc " + hex(in.u32be(8), 8) +
           ((in.u8(0) & 0x20) ? " padded" : "") + bytes(packet.size());
}

}  // namespace vorpel
