// The server's commands: the elements of an in-sequence data frame, and the
// audio control that they share with the hook key and a lost link.
//
//   +------+--------+----------------------+
//   | code | n      | n - 1 further bytes  |   code in the high four bits
//   +------+--------+----------------------+
//
// An element of the wrong size for its code has no effect and the next one is
// read; an element that runs past the end of the frame, and the codes 0x00,
// 0x60 and 0xB0..0xE0, end the frame.
#include <algorithm>

#include "signalling/engine.h"
#include "signalling/signalling_wire.h"

namespace vorpel {

size_t SignallingEngine::interpretElement(std::span<const uint8_t> frame, size_t position) {
    const ByteReader in(frame);
    const uint8_t code = static_cast<uint8_t>(in.u8(position) & wire::ELEMENT_CODE_MASK);
    const size_t size = static_cast<size_t>(in.u8(position + 1)) + 1;
    // Both the length byte and all that it declares must lie inside the frame.
    if (!in.has(position, 2) || !in.has(position, size)) return FRAME_END;
    const size_t next = position + size;
    const auto byteAt = [&](size_t offset) { return in.u8(position + offset); };
    LinkState& link = state_.link;

    switch (code) {
    case wire::EL_SYNC_CHECK:
        if (size == wire::SYNC_CHECK_SIZE && in.u16le(position + 2) == link.syncExpected) {
            ++link.syncExpected;  // wraps from 65535 to 0
            const std::array<uint8_t, 4> reply{wire::EL_SYNC_REPLY, wire::REPLY_LENGTH,
                                               static_cast<uint8_t>(link.syncExpected),
                                               static_cast<uint8_t>(link.syncExpected >> 8)};
            queueReply(reply);
        }
        return next;
    case wire::EL_ECHO:
        if (size == wire::ECHO_SIZE) {
            const std::array<uint8_t, 4> reply{wire::EL_ECHO_REPLY, wire::REPLY_LENGTH, byteAt(2), byteAt(3)};
            queueReply(reply);
        }
        return next;
    case wire::EL_SKIP_BLOCK:
        return size == wire::SKIP_BLOCK_SIZE ? next + wire::SKIP_BLOCK_EXTRA : next;
    case wire::EL_DISPLAY_ROW:
        if (size == wire::DISPLAY_ROW_SIZE) {
            const unsigned row = byteAt(2);
            if (row < DISPLAY_ROWS) {
                const auto text = in.slice(position + 3, DISPLAY_ROW_CHARS);
                std::copy(text.begin(), text.end(), state_.display.begin() + row * DISPLAY_ROW_CHARS);
            }
            ++state_.displayVersion;  // whatever the row number
        }
        return next;
    case wire::EL_MELODY:
        if (size == wire::MELODY_SIZE && audioMode() != AudioMode::Voice) {
            const auto notes = std::span<const uint8_t, MELODY_NOTE_COUNT>(
                in.slice(position + 3, MELODY_NOTE_COUNT).data(), MELODY_NOTE_COUNT);
            // The player holds the whole melody before the mode says Melody.
            ports_.startMelody(byteAt(2), notes);
            audio_.setAudioMode(AudioMode::Melody);
            ports_.raisePhoneWindow();
        }
        return next;
    case wire::EL_SERVER_VALUE:
    case wire::EL_FILLER:
        return next;
    case wire::EL_INDICATOR_LIST:
        // Pairs of number and state; a last number without its state is ignored.
        if (size >= wire::INDICATOR_LIST_MIN_SIZE) {
            for (size_t offset = 2; offset + 1 < size; offset += 2)
                setIndicator(byteAt(offset) & 0x7Fu, static_cast<uint8_t>(byteAt(offset + 1) & 3u));
        }
        return next;
    case wire::EL_AUDIO_CONTROL:
        if (size != wire::AUDIO_CONTROL_SIZE) return next;
        switch (byteAt(2)) {
        case wire::AUDIO_START_VOICE:
            if (audioMode() != AudioMode::Voice) startVoice();
            break;
        case wire::AUDIO_RELEASE:
        case wire::AUDIO_RELEASE_TOO:
            releaseAudio();
            break;
        case wire::AUDIO_MUTE:
            audio_.mute.store(1, std::memory_order_release);
            break;
        case wire::AUDIO_UNMUTE:
            audio_.mute.store(0, std::memory_order_release);
            break;
        default:
            break;
        }
        return next;
    case wire::EL_VOICE_CHANNEL:
        if ((size == wire::VOICE_CHANNEL_SHORT_SIZE || size == wire::VOICE_CHANNEL_FULL_SIZE) &&
            byteAt(2) == 0) {
            const uint16_t port = in.u16le(position + 3);
            // Byte 8 is the first part of the dotted address; 0 stands for the
            // signalling server's own address.
            const uint32_t address = size == wire::VOICE_CHANNEL_FULL_SIZE ? in.u32le(position + 5) : 0;
            ports_.openVoiceChannel(port, address);
            if (trafficEncryptionInForce(state_.keys)) ports_.keyTrafficCiphers(state_.keys);
        }
        return next;
    default:
        // 0x00, 0x60, 0xB0 to 0xE0: the rest of the frame is not interpreted.
        return FRAME_END;
    }
}

void SignallingEngine::releaseAudio() {
    audio_.setAudioMode(AudioMode::Idle);
    ports_.closeVoiceSocket();
    ports_.resetMedia(state_.engineTicks);
    queueCallStateReport();
    setIndicator(wire::AUDIO_INDICATOR, wire::INDICATOR_OFF);
}

void SignallingEngine::startVoice() {
    audio_.setAudioMode(AudioMode::Voice);
    queueCallStateReport();
    setIndicator(wire::AUDIO_INDICATOR, wire::INDICATOR_ON);
}

}  // namespace vorpel
