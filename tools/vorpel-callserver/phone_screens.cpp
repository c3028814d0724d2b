// The phone screens and calls of the call server: what each key and audio
// report of a terminal does, dialling, ringing, answering and ending calls,
// and what the terminals' screens, lamps and melodies show meanwhile.
#include <cstdio>
#include <string>

#include "call_server.h"
#include "link_elements.h"
#include "trace/frame_trace.h"

namespace vorpel::callserver {
namespace {

// Key codes of the buttons the server acts on.
constexpr uint16_t KEY_OK = 0xFDDF;
constexpr uint16_t KEY_ESC = 0xFD7F;
constexpr uint16_t KEY_DEL = 0xFDF7;

// Indicators: 9 drives an on/off lamp, 24 and 0 single blinking lamps.
// State 1 blinks fast, 2 slowly, 3 is steady.
constexpr uint8_t LAMP_SERVICE = 9;
constexpr uint8_t LAMP_CALL = 24;
constexpr uint8_t LAMP_WAIT = 0;
constexpr uint8_t LAMP_OFF = 0;
constexpr uint8_t LAMP_FAST = 1;
constexpr uint8_t LAMP_SLOW = 2;
constexpr uint8_t LAMP_ON = 3;

// Note codes: bits 0-4 the tone row (30 a rest, 31 the end), bits 5-7 the
// duration code.
constexpr uint8_t noteCode(uint8_t row, uint8_t duration) {
    return static_cast<uint8_t>(row | (duration << 5));
}
constexpr uint8_t REST = 30;
constexpr uint8_t END = 31;
constexpr uint8_t RING_TEMPO = 0;
constexpr uint8_t RINGBACK_TEMPO = 2;

constexpr std::array<uint8_t, MELODY_NOTES> melody(std::initializer_list<uint8_t> notes) {
    std::array<uint8_t, MELODY_NOTES> codes{};
    codes.fill(END);
    size_t i = 0;
    for (uint8_t n : notes) codes[i++] = n;
    return codes;
}

// A two-tone trill and a pause, about 2.5 s per round.
constexpr auto RING_NOTES = melody({noteCode(12, 1), noteCode(16, 1), noteCode(12, 1), noteCode(16, 1),
                                    noteCode(REST, 7), noteCode(REST, 7)});
// About 1 s of 523 Hz, then 2.4 s of silence.
constexpr auto RINGBACK_NOTES = melody({noteCode(0, 6), noteCode(REST, 7), noteCode(REST, 7)});

}  // namespace

CallPhase CallServer::phaseOf(std::string_view extension) const {
    const auto account = accounts_.findByExtension(extension);
    if (!account) return CallPhase::Offline;
    const size_t slot = findByAccount(*account);
    if (slot == NO_PEER || terminals_[slot].session.linkPhase != LinkPhase::Up) return CallPhase::Offline;
    return terminals_[slot].call.phase;
}

std::string_view CallServer::extensionOf(const Terminal& t) const {
    return accounts_.at(t.reg.account).extension;
}

bool CallServer::isKnownExtension(std::string_view digits) const {
    return accounts_.findByExtension(digits).has_value() ||
           (!config_.echoExtension.empty() && digits == config_.echoExtension);
}

// The terminal reports its audio mode whenever it changes and as a keep-alive;
// the server acts on the changes into and out of voice (the hook key).
void CallServer::onAudioMode(Terminal& t, uint8_t mode) {
    const uint8_t previous = t.screen.audioMode;
    t.screen.audioMode = mode;
    t.screen.melodySent = false;
    if (mode == AUDIO_MODE_VOICE && previous != AUDIO_MODE_VOICE) {
        if (t.call.phase == CallPhase::Ringing) {
            answer(t);
        } else if (t.call.phase == CallPhase::Idle) {
            t.call.phase = CallPhase::Dialling;
            t.call.digitCount = 0;
            showRow(t, 3, "Dial number", "");
        }
    } else if (mode == AUDIO_MODE_IDLE && previous == AUDIO_MODE_VOICE) {
        switch (t.call.phase) {
        case CallPhase::Dialling:
            toIdle(t, "", false, 0);
            break;
        case CallPhase::Calling:
            endCall(t, "Call cancelled", "Missed call", AUDIO_RELEASE);
            break;
        case CallPhase::Talking:
            endCall(t, "Call ended", "Call ended", AUDIO_RELEASE);
            break;
        default:
            break;
        }
    }
}

void CallServer::onKey(Terminal& t, uint16_t code, int64_t now) {
    // Each key the server acts on, once, in the order taken (the "in" lines
    // show every copy that arrived).
    if (config_.trace) {
        traceLine("     " + formatEndpoint(t.reg.signalling) + " extension " + std::string(extensionOf(t)) +
                  " pressed " + keyName(code));
    }
    if (const char digit = keypadDigit(code)) {
        if (digit == '#') {
            if (t.call.phase == CallPhase::Dialling && t.call.digitCount > 0) placeCall(t, now);
        } else if (t.call.phase == CallPhase::Idle || t.call.phase == CallPhase::Dialling) {
            dialDigit(t, digit, now);
        }
        return;
    }
    switch (code) {
    case KEY_OK:
        if (t.call.phase == CallPhase::Dialling && t.call.digitCount > 0)
            placeCall(t, now);
        else if (t.call.phase == CallPhase::Ringing)
            answer(t);
        break;
    case KEY_DEL:
        if (t.call.phase == CallPhase::Dialling && t.call.digitCount > 0) {
            --t.call.digitCount;
            if (t.call.digitCount == 0 && t.screen.audioMode != AUDIO_MODE_VOICE) {
                toIdle(t, "", false, 0);
            } else {
                showRow(t, 3, "Dial " + std::string(dialled(t)), "");
            }
        }
        break;
    case KEY_ESC:
        switch (t.call.phase) {
        case CallPhase::Dialling:
            if (t.screen.audioMode == AUDIO_MODE_VOICE) {
                t.call.digitCount = 0;
                showRow(t, 3, "Dial number", "");
            } else {
                toIdle(t, "", false, 0);
            }
            break;
        case CallPhase::Calling:
            endCall(t, "Call cancelled", "Missed call", AUDIO_RELEASE);
            break;
        case CallPhase::Ringing:
            endCall(t, "Call rejected", "Busy", AUDIO_RELEASE);
            break;
        case CallPhase::Talking:
            endCall(t, "Call ended", "Call ended", AUDIO_RELEASE);
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
}

// Dialling rule: digits and '*' collect (up to 15); the call is placed as soon
// as they form a known extension that no longer extension begins with, or on
// "OK" or '#' with whatever has been dialled.
void CallServer::dialDigit(Terminal& t, char digit, int64_t now) {
    if (t.call.digitCount >= EXTENSION_MAX) return;
    t.call.phase = CallPhase::Dialling;
    t.call.digits[t.call.digitCount++] = digit;
    showRow(t, 3, "Dial " + std::string(dialled(t)), "");
    const std::string_view number = dialled(t);
    const bool echoPrefix = config_.echoExtension.size() > number.size() &&
                            config_.echoExtension.compare(0, number.size(), number) == 0;
    if (isKnownExtension(number) && !accounts_.isPrefixOfLongerExtension(number) && !echoPrefix) {
        placeCall(t, now);
    }
}

void CallServer::placeCall(Terminal& t, int64_t now) {
    const std::string number(dialled(t));
    t.call.digitCount = 0;
    auto fail = [&](const std::string& note) {
        t.call.phase = t.screen.audioMode == AUDIO_MODE_VOICE ? CallPhase::Dialling : CallPhase::Idle;
        showRow(t, 3, note, "");
    };
    if (!config_.echoExtension.empty() && number == config_.echoExtension) {
        t.call.phase = CallPhase::Talking;
        t.call.peer = NO_PEER;
        t.call.echoCall = true;
        showHeader(t, "Echo test");
        showRow(t, 3, "Speak to hear yourself", "");
        showLamps(t, LAMP_ON, LAMP_OFF);
        startVoice(t);
        return;
    }
    const auto account = accounts_.findByExtension(number);
    if (!account) return fail("Unknown number " + number);
    const size_t slot = findByAccount(*account);
    if (slot == NO_PEER || terminals_[slot].session.linkPhase != LinkPhase::Up)
        return fail("Not available " + number);
    Terminal& callee = terminals_[slot];
    if (&callee == &t || callee.call.phase != CallPhase::Idle) return fail("Busy " + number);

    const size_t callerSlot = static_cast<size_t>(&t - terminals_.data());
    t.call.phase = CallPhase::Calling;
    t.call.peer = slot;
    t.call.echoCall = false;
    t.call.ringDeadline = now + RING_TIMEOUT_MS;
    callee.call.phase = CallPhase::Ringing;
    callee.call.peer = callerSlot;
    callee.call.echoCall = false;

    showHeader(t, "Calling " + number);
    showRow(t, 3, "Ringing", "");
    showLamps(t, LAMP_OFF, LAMP_SLOW);
    if (t.screen.audioMode != AUDIO_MODE_VOICE) playMelody(t, RINGBACK_TEMPO, RINGBACK_NOTES);

    showHeader(callee, "Call from " + std::string(extensionOf(t)));
    showRow(callee, 3, "Hook key to answer", "");
    showLamps(callee, LAMP_FAST, LAMP_OFF);
    playMelody(callee, RING_TEMPO, RING_NOTES);
}

void CallServer::answer(Terminal& callee) {
    if (callee.call.peer == NO_PEER) return;
    Terminal& caller = terminals_[callee.call.peer];
    caller.call.phase = CallPhase::Talking;
    callee.call.phase = CallPhase::Talking;
    for (Terminal* party : {&caller, &callee}) {
        const Terminal& other = party == &caller ? callee : caller;
        showHeader(*party, "Connected " + std::string(extensionOf(other)));
        showRow(*party, 3, "", "");
        showLamps(*party, LAMP_ON, LAMP_OFF);
        startVoice(*party);
    }
}

// Ends the call of t (whatever its stage) for both parties. t shows ownNote;
// its peer shows peerNote and is told to end audio with peerCommand.
void CallServer::endCall(Terminal& t, std::string_view ownNote, std::string_view peerNote,
                         uint8_t peerCommand) {
    if (!t.call.echoCall && t.call.peer != NO_PEER) {
        Terminal& peer = terminals_[t.call.peer];
        if (peer.reg.inUse && peer.call.peer == static_cast<size_t>(&t - terminals_.data())) {
            toIdle(peer, peerNote, true, peerCommand);
        }
    }
    toIdle(t, ownNote, t.screen.audioMode != AUDIO_MODE_IDLE || t.screen.melodySent, AUDIO_RELEASE);
}

void CallServer::toIdle(Terminal& t, std::string_view note, bool releaseAudio, uint8_t command) {
    t.call = Call{};
    t.voice = VoiceLeg{};
    if (t.session.linkPhase != LinkPhase::Up) return;
    if (releaseAudio) sendAudioControl(t, command);
    showLamps(t, LAMP_OFF, LAMP_OFF);
    showIdle(t, note);
}

void CallServer::tickCall(Terminal& t, int64_t now) {
    if (t.call.phase == CallPhase::Calling && now >= t.call.ringDeadline) {
        endCall(t, "No answer", "Missed call", AUDIO_RELEASE);
    }
    if (t.call.phase == CallPhase::Idle) showClock(t);
}

void CallServer::startVoice(Terminal& t) {
    t.voice = VoiceLeg{};
    t.voice.rtpOut.ssrc = ssrcCounter_++;
    const size_t slot = static_cast<size_t>(&t - terminals_.data());
    std::array<uint8_t, 9> channel{};
    ByteWriter w(channel);
    writeVoiceChannel(w, static_cast<uint16_t>(config_.relayBasePort + slot), config_.relayAddress);
    queueElement(t, w.written());
    sendAudioControl(t, AUDIO_START_VOICE);
}

// // The phone window shows display lines 0, 1 and 6: row 0 holds the
// extension and the status (or the clock), row 3 the dialled digits and
// notes. Rows 1 and 2 stay blank.

// The terminal blanked its display and lamps on the connect confirm.
void CallServer::showConnected(Terminal& t) {
    showLamps(t, LAMP_OFF, LAMP_OFF);
    showRow(t, 1, "", "");
    showRow(t, 2, "", "");
    showIdle(t, "");
}

void CallServer::showRow(Terminal& t, uint8_t row, std::string_view line0, std::string_view line1) {
    std::array<uint8_t, DISPLAY_ROW_ELEMENT_SIZE> element{};
    ByteWriter w(element);
    writeDisplayRow(w, row, line0, line1);
    queueElement(t, w.written());
}

void CallServer::showLamps(Terminal& t, uint8_t callLamp, uint8_t waitLamp) {
    const std::array<uint8_t, 6> pairs{LAMP_SERVICE, LAMP_ON, LAMP_CALL, callLamp, LAMP_WAIT, waitLamp};
    std::array<uint8_t, 8> element{};
    ByteWriter w(element);
    writeIndicators(w, pairs);
    queueElement(t, w.written());
}

void CallServer::showHeader(Terminal& t, std::string_view status) {
    showRow(t, 0, "Extension " + std::string(extensionOf(t)), status);
}

void CallServer::showIdle(Terminal& t, std::string_view note) {
    t.screen.shownMinute = -1;
    showClock(t);
    showRow(t, 3, note, "");
}

void CallServer::showClock(Terminal& t) {
    const std::time_t now = ports_.wallClock();
    std::tm parts{};
    gmtime_r(&now, &parts);
    const int minute = parts.tm_hour * 60 + parts.tm_min;
    if (minute == t.screen.shownMinute) return;
    t.screen.shownMinute = minute;
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d UTC", parts.tm_hour, parts.tm_min);
    showHeader(t, clock);
}

void CallServer::playMelody(Terminal& t, uint8_t tempo, std::span<const uint8_t, MELODY_NOTES> notes) {
    std::array<uint8_t, MELODY_ELEMENT_SIZE> element{};
    ByteWriter w(element);
    writeMelody(w, tempo, notes);
    queueElement(t, w.written());
    t.screen.melodySent = true;
}

void CallServer::sendAudioControl(Terminal& t, uint8_t command) {
    std::array<uint8_t, 3> element{};
    ByteWriter w(element);
    writeAudioControl(w, command);
    queueElement(t, w.written());
}

}  // namespace vorpel::callserver
