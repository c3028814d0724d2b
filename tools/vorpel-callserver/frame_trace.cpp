#include "frame_trace.h"

#include <cstdio>

#include "common/byte_io.h"
#include "link_elements.h"
#include "registration_frame.h"
#include "server_link.h"

namespace vorpel::callserver {
namespace {

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

std::string terminalElements(const ByteReader& in, size_t pos) {
    std::string text;
    TerminalElement e;
    for (;;) {
        const ElementParse result = parseTerminalElement(in, pos, e);
        if (result == ElementParse::End) break;
        text += text.empty() ? " " : ", ";
        if (result == ElementParse::Malformed) {
            text += "malformed element " + hex(e.code, 2);
            break;
        }
        switch (e.code) {
        case ELEMENT_SYNC_REPLY:
            text += "sync reply " + std::to_string(e.value);
            break;
        case ELEMENT_ECHO_REPLY:
            text += "echo reply " + hex(e.value, 4);
            break;
        case ELEMENT_CALL_STATE:
            text += "call state, audio mode " + std::to_string(e.value & 3);
            break;
        case ELEMENT_ANNOUNCE:
            text += "announce";
            break;
        case ELEMENT_KEY_EVENT:
            text += "key " + keyName(e.value);
            break;
        default:
            break;
        }
    }
    return text;
}

std::string serverElement(const ByteReader& in, size_t pos, size_t size) {
    const uint8_t code = in.u8(pos) & 0xF0;
    switch (code) {
    case ELEMENT_SYNC_CHECK:
        return "sync check " + std::to_string(in.u16le(pos + 2));
    case ELEMENT_ECHO:
        return "echo " + hex(in.u16be(pos + 2), 4);
    case ELEMENT_DISPLAY_ROW:
        return "row " + std::to_string(in.u8(pos + 2)) + " " + quoted(in.slice(pos + 3, 25)) + " " +
               quoted(in.slice(pos + 28, 25));
    case ELEMENT_MELODY:
        return "melody tempo " + std::to_string(in.u8(pos + 2));
    case ELEMENT_INDICATORS: {
        std::string text = "indicators";
        for (size_t i = pos + 2; i + 1 < pos + size; i += 2) {
            text += " " + std::to_string(in.u8(i)) + "=" + std::to_string(in.u8(i + 1));
        }
        return text;
    }
    case ELEMENT_AUDIO_CONTROL:
        return "audio control " + std::to_string(in.u8(pos + 2));
    case ELEMENT_VOICE_CHANNEL: {
        std::string text = "voice channel port " + std::to_string(in.u16le(pos + 3));
        if (size == 9) {
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
    const std::string size = " (" + std::to_string(frame.size()) + " bytes)";
    if (frame.empty()) return "empty datagram";
    const uint8_t first = in.u8(0);
    if (fromTerminal) {
        if (first == FRAME_REGISTRATION) {
            if (auto request = parseRegistrationRequest(frame)) {
                const auto id = in.slice(3, 23);
                size_t length = 0;
                while (length < id.size() && id[length]) ++length;
                return "registration request account " + quoted(id.first(length)) + " counter " +
                       std::to_string(request->counter) + (request->hasPublicValue ? " with" : " without") +
                       " public value" + size;
            }
            return "malformed registration request" + size;
        }
        const std::string id = " id " + hex(in.u16le(1), 4);
        if (first == FRAME_LOGOFF && frame.size() == 3) return "logoff" + id;
        if (first == FRAME_LINK && frame.size() >= 4) {
            const uint8_t type = in.u8(3);
            if (type == 0x01 && frame.size() == 4) return "connect request" + id;
            if (type == ServerLink::TYPE_ACK && frame.size() == 5) {
                return "ack" + id + " expects " + std::to_string((in.u8(4) >> 4) & 7);
            }
            if (type == ServerLink::TYPE_DATA && frame.size() >= 5) {
                return "data" + id + " seq " + std::to_string(in.u8(4) & 7) + " ack " +
                       std::to_string((in.u8(4) >> 4) & 7) + ":" + terminalElements(in, 5);
            }
        }
        return "unrecognised frame " + hex(first, 2) + size;
    }
    if (first == FRAME_REGISTRATION) {
        return "registration reply id " + hex(in.u16le(1), 4) +
               (frame.size() >= REGISTRATION_REPLY_LONG ? " with" : " without") + " public value";
    }
    if (first == FRAME_REFUSAL) {
        const auto text = in.slice(1, frame.size() - 1);
        size_t length = 0;
        while (length < text.size() && text[length]) ++length;
        return "refusal " + quoted(text.first(length));
    }
    if (first == FRAME_LINK && frame.size() >= 2) {
        const uint8_t type = in.u8(1);
        if (type == ServerLink::TYPE_CONNECT_CONFIRM) return "connect confirm";
        if (type == ServerLink::TYPE_ACK) {
            return "ack expects " + std::to_string((in.u8(2) >> 4) & 7) + " oldest " +
                   std::to_string(in.u8(2) & 7);
        }
        if (type == ServerLink::TYPE_DATA && frame.size() >= 3) {
            std::string text = "data seq " + std::to_string(in.u8(2) & 7) + " ack " +
                               std::to_string((in.u8(2) >> 4) & 7) + ":";
            size_t pos = 3;
            while (pos + 1 < frame.size()) {
                const size_t elementSize = static_cast<size_t>(in.u8(pos + 1)) + 1;
                text += (pos == 3 ? " " : ", ") + serverElement(in, pos, elementSize);
                pos += elementSize;
            }
            return text;
        }
    }
    return "frame " + hex(first, 2) + size;
}

std::string describeVoice(std::span<const uint8_t> packet) {
    const ByteReader in(packet);
    if (packet.size() < 12)
        return "voice packet too short" + std::string(" (") + std::to_string(packet.size()) + ")";
    return "rtp pt " + std::to_string(in.u8(1) & 0x7F) + " seq " + std::to_string(in.u16be(2)) + " ts " +
           std::to_string(in.u32be(4)) + " ssrc " + hex(in.u32be(8), 8) +
           ((in.u8(0) & 0x20) ? " padded" : "") + " (" + std::to_string(packet.size()) + " bytes)";
}

}  // namespace vorpel::callserver
