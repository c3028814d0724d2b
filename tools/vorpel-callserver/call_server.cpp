#include "call_server.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "frame_trace.h"
#include "link_elements.h"
#include "registration_frame.h"

namespace vorpel::callserver {
namespace {

constexpr uint16_t TERMINAL_ID_BASE = 0x1000;
constexpr uint8_t LINK_CONNECT_REQUEST = 0x01;

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

// Incoming timestamps that jump by more than this (10 s) start a new mapping.
constexpr uint32_t TIMESTAMP_JUMP = 80000;

}  // namespace

class CallServer::TerminalSink final : public FrameSink {
public:
    TerminalSink(CallServer& server, const Endpoint& to) : server_(server), to_(to) {}
    void sendFrame(std::span<const uint8_t> frame) override { server_.sendSignalling(to_, frame); }

private:
    CallServer& server_;
    Endpoint to_;
};

CallServer::CallServer(AccountTable accounts, CallServerConfig config, CallServerPorts& ports)
    : accounts_(std::move(accounts)),
      config_(std::move(config)),
      ports_(ports),
      terminals_(config_.maxTerminals) {}

// ---------------------------------------------------------------- signalling

void CallServer::handleSignalling(std::span<const uint8_t> datagram, const Endpoint& from, int64_t now) {
    if (config_.trace) traceLine("in  " + formatEndpoint(from) + " " + describeSignalling(datagram, true));
    const ByteReader in(datagram);
    if (datagram.empty()) {
        ++counters_.malformed;
        return;
    }
    const uint8_t first = in.u8(0);
    if (first == FRAME_REGISTRATION) {
        handleRegistration(datagram, from, now);
        return;
    }
    if ((first != FRAME_LOGOFF || datagram.size() != 3) && (first != FRAME_LINK || datagram.size() < 4)) {
        ++counters_.malformed;
        return;
    }
    const size_t slot = findBySource(from);
    if (slot == NO_PEER || terminals_[slot].terminalId != in.u16le(1)) {
        ++counters_.unknownSource;
        if (slot == NO_PEER) nudgeStranger(in, from, now);
        return;
    }
    Terminal& t = terminals_[slot];
    t.lastHeard = now;
    if (first == FRAME_LOGOFF) {
        dropTerminal(t, "logged off", false);
        flushAll(now);
        return;
    }
    handleLinkFrame(t, in, now);
    flushAll(now);
}

void CallServer::handleRegistration(std::span<const uint8_t> datagram, const Endpoint& from, int64_t now) {
    const auto request = parseRegistrationRequest(datagram);
    if (!request) {
        ++counters_.malformed;
        return;
    }
    const auto accountIndex = accounts_.findByAccountId(request->accountId.data());
    if (!accountIndex) {
        refuse(from, "Unknown account");
        return;
    }
    const Account& account = accounts_.at(*accountIndex);
    const CredentialProof expected =
        credentialProof(request->accountId, request->counter, account.authId, account.password);
    if (CRYPTO_memcmp(expected.data(), request->proof.data(), expected.size()) != 0) {
        refuse(from, "Wrong credentials");
        return;
    }
    if (request->hasPublicValue && !dhPublicValueAcceptable(request->publicValue)) {
        refuse(from, "Unusable public value");
        return;
    }

    // The same account registered from elsewhere moves here; whatever was
    // registered at this address before goes.
    size_t slot = findBySource(from);
    const size_t elsewhere = findByAccount(*accountIndex);
    if (elsewhere != NO_PEER && elsewhere != slot)
        dropTerminal(terminals_[elsewhere], "registered elsewhere", false);
    if (slot != NO_PEER && terminals_[slot].account != *accountIndex) {
        dropTerminal(terminals_[slot], "replaced by another account", false);
        slot = NO_PEER;
    }
    flushAll(now);  // a peer of a call that ended above hears of it at once
    const bool known = slot != NO_PEER;
    if (!known) slot = findFreeSlot();
    if (slot == NO_PEER) {
        refuse(from, "Server full");
        return;
    }
    Terminal& t = terminals_[slot];
    if (known && t.phase != CallPhase::Idle) {
        endCall(t, "", "Call ended", AUDIO_RELEASE_GONE);
        flushAll(now);
    }

    // The terminal's engine restarts its request counter at 1 and its sync
    // counter at 0 together; a later request from the same engine (same
    // address, same public value) keeps the sync counter where it was.
    const bool sameEngine = known && t.hasTerminalPublic == request->hasPublicValue &&
                            (!request->hasPublicValue || t.terminalPublic == request->publicValue);
    if (request->counter == 1) {
        t.syncKnown = true;
        t.syncValue = 0;
    } else if (!sameEngine) {
        t.syncKnown = false;
    }

    // A repeated request whose reply may have been lost gets the same server
    // value again, so that both sides keep one key.
    const bool reuseServerValue =
        sameEngine && request->hasPublicValue && t.hasKey && t.linkPhase == LinkPhase::AwaitingConnect;
    t.inUse = true;
    t.signalling = from;
    t.terminalId = static_cast<uint16_t>(TERMINAL_ID_BASE + slot);
    t.account = *accountIndex;
    t.linkPhase = LinkPhase::AwaitingConnect;
    t.link.reset();
    t.lastHeard = now;
    t.syncOutstanding = false;
    t.syncMisses = 0;
    t.echoOutstanding = false;
    t.audioMode = AUDIO_MODE_IDLE;
    t.melodySent = false;
    t.phase = CallPhase::Idle;
    t.peer = NO_PEER;
    t.echoCall = false;
    t.digitCount = 0;
    t.shownMinute = -1;
    t.voiceLatched = false;
    t.hasTerminalPublic = request->hasPublicValue;
    t.terminalPublic = request->publicValue;
    if (request->hasPublicValue) {
        if (!reuseServerValue) {
            t.serverPrivate = randomDhPrivate();
            t.serverPublic = dhPublicValue(t.serverPrivate);
        }
        t.hasKey = t.cipher.setKey(deriveSessionKey(t.serverPrivate, request->publicValue));
    } else {
        t.hasKey = false;
        t.cipher.clear();
    }
    ++counters_.registrations;
    std::array<uint8_t, REGISTRATION_REPLY_LONG> reply{};
    const size_t length = buildRegistrationReply(reply, t.terminalId, t.hasKey ? &t.serverPublic : nullptr);
    sendSignalling(from, std::span<const uint8_t>(reply.data(), length));
    if (config_.trace) traceLine("     " + formatEndpoint(from) + " is extension " + account.extension);
}

void CallServer::handleLinkFrame(Terminal& t, const ByteReader& frame, int64_t now) {
    const uint8_t type = frame.u8(3);
    TerminalSink sink(*this, t.signalling);
    if (type == LINK_CONNECT_REQUEST && frame.size() == 4) {
        // Once the terminal has sent a data frame it is connected: a connect
        // request then is a late copy and must not restart the numbering.
        if (t.linkPhase == LinkPhase::Up) {
            ++counters_.staleConnects;
            return;
        }
        t.link.reset();
        t.link.confirmed(now);
        t.linkPhase = LinkPhase::Confirmed;
        const std::array<uint8_t, 2> confirm{FRAME_LINK, ServerLink::TYPE_CONNECT_CONFIRM};
        sendSignalling(t.signalling, confirm);
        return;
    }
    if (t.linkPhase == LinkPhase::AwaitingConnect) {
        ++counters_.malformed;
        return;
    }
    if (type == ServerLink::TYPE_ACK && frame.size() == 5) {
        t.link.onAckFrame(frame.u8(4), now, sink);
        return;
    }
    if (type == ServerLink::TYPE_DATA && frame.size() >= 5) {
        if (t.link.onDataFrame(frame.u8(4), now, sink) != ServerLink::Receive::InSequence) return;
        if (t.linkPhase == LinkPhase::Confirmed) linkUp(t, now);
        handleElements(t, frame, now);
        return;
    }
    ++counters_.malformed;
}

void CallServer::handleElements(Terminal& t, const ByteReader& frame, int64_t now) {
    size_t pos = 5;
    TerminalElement e;
    for (;;) {
        const ElementParse result = parseTerminalElement(frame, pos, e);
        if (result == ElementParse::End) return;
        if (result == ElementParse::Malformed) {
            ++counters_.malformed;
            return;
        }
        switch (e.code) {
        case ELEMENT_SYNC_REPLY:
            onSyncReply(t, e.value);
            break;
        case ELEMENT_ECHO_REPLY:
            if (t.echoOutstanding && e.value == t.echoToken) {
                t.echoOutstanding = false;
                ++counters_.echoAnswered;
            }
            break;
        case ELEMENT_CALL_STATE:
            onAudioMode(t, static_cast<uint8_t>(e.value & 3));
            break;
        case ELEMENT_KEY_EVENT:
            onKey(t, e.value, now);
            break;
        default:
            break;  // the announce: the link is up already
        }
        if (!t.inUse) return;
    }
}

void CallServer::linkUp(Terminal& t, int64_t now) {
    t.linkPhase = LinkPhase::Up;
    t.nextSyncAt = now + SYNC_INTERVAL_MS;
    // The terminal blanked its display and lamps on the connect confirm.
    showLamps(t, LAMP_OFF, LAMP_OFF);
    showRow(t, 1, "", "");
    showRow(t, 2, "", "");
    showIdle(t, "");
    // One echo proves that the terminal interprets what the server sends.
    t.echoToken = echoCounter_++;
    t.echoOutstanding = true;
    std::array<uint8_t, 4> echo{};
    ByteWriter w(echo);
    writeEcho(w, static_cast<uint8_t>(t.echoToken >> 8), static_cast<uint8_t>(t.echoToken));
    queueElement(t, w.written());
}

// A reply that comes after its check timed out still counts: the terminal
// answers each value once, and a lost answer comes only when the link's
// probe fetches it.
void CallServer::onSyncReply(Terminal& t, uint16_t value) {
    if (!t.syncKnown || value != static_cast<uint16_t>(t.syncValue + 1)) return;
    t.syncValue = value;
    t.syncOutstanding = false;
    t.syncMisses = 0;
    ++counters_.syncAnswered;
}

void CallServer::tick(int64_t now) {
    for (Terminal& t : terminals_) {
        if (!t.inUse) continue;
        TerminalSink sink(*this, t.signalling);
        if (!t.link.tick(now, sink)) {
            dropTerminal(t, "does not acknowledge", true);
            continue;
        }
        if (now - t.lastHeard > SILENCE_LIMIT_MS) {
            dropTerminal(t, "silent", true);
            continue;
        }
        if (t.linkPhase != LinkPhase::Up) continue;
        if (t.syncKnown) {
            if (t.syncOutstanding && now - t.syncSentAt >= SYNC_TIMEOUT_MS) {
                t.syncOutstanding = false;
                if (++t.syncMisses >= SYNC_MISSES_ALLOWED) {
                    dropTerminal(t, "does not answer sync checks", true);
                    continue;
                }
            }
            if (!t.syncOutstanding && now >= t.nextSyncAt) {
                std::array<uint8_t, 4> check{};
                ByteWriter w(check);
                writeSyncCheck(w, t.syncValue);
                queueElement(t, w.written());
                t.syncOutstanding = true;
                t.syncSentAt = now;
                t.nextSyncAt = now + SYNC_INTERVAL_MS;
            }
        }
        if (t.phase == CallPhase::Calling && now >= t.ringDeadline) {
            endCall(t, "No answer", "Missed call", AUDIO_RELEASE);
        }
        if (t.phase == CallPhase::Idle) showClock(t);
    }
    flushAll(now);
}

// A data frame from a source the server does not know: a terminal still
// connected to a server that has since restarted (or dropped it). It would
// notice only after seven unacknowledged keep-alives, some 80 s. Its frame
// tells the number it expects next; a data frame under that number carrying
// an echo makes it answer with one more frame of its own, while an
// acknowledgement outside its window leaves its frames unacknowledged. After
// seven such rounds it gives the link up and registers again. A peer that
// keeps answering is not answered more than NUDGES_PER_SECOND times a second.
void CallServer::nudgeStranger(const ByteReader& frame, const Endpoint& from, int64_t now) {
    if (frame.size() < 5 || frame.u8(3) != ServerLink::TYPE_DATA) return;
    if (now - nudgeSecondStart_ >= 1000) {
        nudgeSecondStart_ = now;
        nudgesThisSecond_ = 0;
    }
    if (nudgesThisSecond_ >= NUDGES_PER_SECOND) return;
    ++nudgesThisSecond_;
    ++counters_.strangersNudged;
    const uint8_t sequenceByte = frame.u8(4);
    const uint8_t expected = static_cast<uint8_t>((sequenceByte >> 4) & 7);
    const uint8_t beyondWindow = static_cast<uint8_t>(((sequenceByte & 7) + 2) & 7);
    std::array<uint8_t, 7> nudge{FRAME_LINK, ServerLink::TYPE_DATA,
                                 static_cast<uint8_t>(expected | beyondWindow << 4)};
    ByteWriter w(std::span<uint8_t>(nudge).subspan(3));
    writeEcho(w, static_cast<uint8_t>(echoCounter_ >> 8), static_cast<uint8_t>(echoCounter_));
    ++echoCounter_;
    sendSignalling(from, nudge);
}

void CallServer::refuse(const Endpoint& to, std::string_view text) {
    ++counters_.refusals;
    std::array<uint8_t, REFUSAL_MAX> refusal{};
    const size_t length = buildRefusal(refusal, text);
    sendSignalling(to, std::span<const uint8_t>(refusal.data(), length));
}

void CallServer::sendSignalling(const Endpoint& to, std::span<const uint8_t> bytes) {
    if (config_.trace) traceLine("out " + formatEndpoint(to) + " " + describeSignalling(bytes, false));
    ports_.send(SIGNALLING_CHANNEL, to, bytes);
}

size_t CallServer::findBySource(const Endpoint& from) const {
    for (size_t i = 0; i < terminals_.size(); ++i) {
        if (terminals_[i].inUse && terminals_[i].signalling == from) return i;
    }
    return NO_PEER;
}

size_t CallServer::findByAccount(size_t account) const {
    for (size_t i = 0; i < terminals_.size(); ++i) {
        if (terminals_[i].inUse && terminals_[i].account == account) return i;
    }
    return NO_PEER;
}

size_t CallServer::findFreeSlot() const {
    for (size_t i = 0; i < terminals_.size(); ++i) {
        if (!terminals_[i].inUse) return i;
    }
    return NO_PEER;
}

void CallServer::dropTerminal(Terminal& t, std::string_view why, bool failure) {
    if (failure) ++counters_.terminalsDropped;
    if (config_.trace) traceLine("     " + formatEndpoint(t.signalling) + " dropped: " + std::string(why));
    if (t.phase != CallPhase::Idle && t.phase != CallPhase::Dialling) {
        endCall(t, "", "Call ended", AUDIO_RELEASE_GONE);
    }
    t.inUse = false;
    t.phase = CallPhase::Idle;
    t.peer = NO_PEER;
    t.hasKey = false;
    t.cipher.clear();
    t.voiceLatched = false;
}

// An event at one terminal may queue elements for another (a call rings its
// callee), so every link is flushed after each.
void CallServer::flushAll(int64_t now) {
    for (Terminal& t : terminals_) {
        if (!t.inUse) continue;
        TerminalSink sink(*this, t.signalling);
        t.link.flush(now, sink);
    }
}

void CallServer::queueElement(Terminal& t, std::span<const uint8_t> element) {
    if (!t.link.queue(element)) ++counters_.elementsDropped;
}

// ------------------------------------------------------------ phone and calls

CallPhase CallServer::phaseOf(std::string_view extension) const {
    const auto account = accounts_.findByExtension(extension);
    if (!account) return CallPhase::Offline;
    const size_t slot = findByAccount(*account);
    if (slot == NO_PEER || terminals_[slot].linkPhase != LinkPhase::Up) return CallPhase::Offline;
    return terminals_[slot].phase;
}

std::string_view CallServer::extensionOf(const Terminal& t) const {
    return accounts_.at(t.account).extension;
}

bool CallServer::isKnownExtension(std::string_view digits) const {
    return accounts_.findByExtension(digits).has_value() ||
           (!config_.echoExtension.empty() && digits == config_.echoExtension);
}

// The terminal reports its audio mode whenever it changes and as a keep-alive;
// the server acts on the changes into and out of voice (the hook key).
void CallServer::onAudioMode(Terminal& t, uint8_t mode) {
    const uint8_t previous = t.audioMode;
    t.audioMode = mode;
    t.melodySent = false;
    if (mode == AUDIO_MODE_VOICE && previous != AUDIO_MODE_VOICE) {
        if (t.phase == CallPhase::Ringing) {
            answer(t);
        } else if (t.phase == CallPhase::Idle) {
            t.phase = CallPhase::Dialling;
            t.digitCount = 0;
            showRow(t, 3, "Dial number", "");
        }
    } else if (mode == AUDIO_MODE_IDLE && previous == AUDIO_MODE_VOICE) {
        switch (t.phase) {
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
        traceLine("     " + formatEndpoint(t.signalling) + " extension " + std::string(extensionOf(t)) +
                  " pressed " + keyName(code));
    }
    if (const char digit = keypadDigit(code)) {
        if (digit == '#') {
            if (t.phase == CallPhase::Dialling && t.digitCount > 0) placeCall(t, now);
        } else if (t.phase == CallPhase::Idle || t.phase == CallPhase::Dialling) {
            dialDigit(t, digit, now);
        }
        return;
    }
    switch (code) {
    case KEY_OK:
        if (t.phase == CallPhase::Dialling && t.digitCount > 0)
            placeCall(t, now);
        else if (t.phase == CallPhase::Ringing)
            answer(t);
        break;
    case KEY_DEL:
        if (t.phase == CallPhase::Dialling && t.digitCount > 0) {
            --t.digitCount;
            if (t.digitCount == 0 && t.audioMode != AUDIO_MODE_VOICE) {
                toIdle(t, "", false, 0);
            } else {
                showRow(t, 3, "Dial " + std::string(dialled(t)), "");
            }
        }
        break;
    case KEY_ESC:
        switch (t.phase) {
        case CallPhase::Dialling:
            if (t.audioMode == AUDIO_MODE_VOICE) {
                t.digitCount = 0;
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
    if (t.digitCount >= EXTENSION_MAX) return;
    t.phase = CallPhase::Dialling;
    t.digits[t.digitCount++] = digit;
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
    t.digitCount = 0;
    auto fail = [&](const std::string& note) {
        t.phase = t.audioMode == AUDIO_MODE_VOICE ? CallPhase::Dialling : CallPhase::Idle;
        showRow(t, 3, note, "");
    };
    if (!config_.echoExtension.empty() && number == config_.echoExtension) {
        t.phase = CallPhase::Talking;
        t.peer = NO_PEER;
        t.echoCall = true;
        showHeader(t, "Echo test");
        showRow(t, 3, "Speak to hear yourself", "");
        showLamps(t, LAMP_ON, LAMP_OFF);
        startVoice(t);
        return;
    }
    const auto account = accounts_.findByExtension(number);
    if (!account) return fail("Unknown number " + number);
    const size_t slot = findByAccount(*account);
    if (slot == NO_PEER || terminals_[slot].linkPhase != LinkPhase::Up)
        return fail("Not available " + number);
    Terminal& callee = terminals_[slot];
    if (&callee == &t || callee.phase != CallPhase::Idle) return fail("Busy " + number);

    const size_t callerSlot = static_cast<size_t>(&t - terminals_.data());
    t.phase = CallPhase::Calling;
    t.peer = slot;
    t.echoCall = false;
    t.ringDeadline = now + RING_TIMEOUT_MS;
    callee.phase = CallPhase::Ringing;
    callee.peer = callerSlot;
    callee.echoCall = false;

    showHeader(t, "Calling " + number);
    showRow(t, 3, "Ringing", "");
    showLamps(t, LAMP_OFF, LAMP_SLOW);
    if (t.audioMode != AUDIO_MODE_VOICE) playMelody(t, RINGBACK_TEMPO, RINGBACK_NOTES);

    showHeader(callee, "Call from " + std::string(extensionOf(t)));
    showRow(callee, 3, "Hook key to answer", "");
    showLamps(callee, LAMP_FAST, LAMP_OFF);
    playMelody(callee, RING_TEMPO, RING_NOTES);
}

void CallServer::answer(Terminal& callee) {
    if (callee.peer == NO_PEER) return;
    Terminal& caller = terminals_[callee.peer];
    caller.phase = CallPhase::Talking;
    callee.phase = CallPhase::Talking;
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
    if (!t.echoCall && t.peer != NO_PEER) {
        Terminal& peer = terminals_[t.peer];
        if (peer.inUse && peer.peer == static_cast<size_t>(&t - terminals_.data())) {
            toIdle(peer, peerNote, true, peerCommand);
        }
    }
    toIdle(t, ownNote, t.audioMode != AUDIO_MODE_IDLE || t.melodySent, AUDIO_RELEASE);
}

void CallServer::toIdle(Terminal& t, std::string_view note, bool releaseAudio, uint8_t command) {
    t.phase = CallPhase::Idle;
    t.peer = NO_PEER;
    t.echoCall = false;
    t.digitCount = 0;
    t.voiceLatched = false;
    if (t.linkPhase != LinkPhase::Up) return;
    if (releaseAudio) sendAudioControl(t, command);
    showLamps(t, LAMP_OFF, LAMP_OFF);
    showIdle(t, note);
}

void CallServer::startVoice(Terminal& t) {
    t.voiceLatched = false;
    t.rtpOut.sequence = 0;
    t.rtpOut.ssrc = ssrcCounter_++;
    t.outNextTimestamp = 0;
    t.inBased = false;
    const size_t slot = static_cast<size_t>(&t - terminals_.data());
    std::array<uint8_t, 9> channel{};
    ByteWriter w(channel);
    writeVoiceChannel(w, static_cast<uint16_t>(config_.relayBasePort + slot), config_.relayAddress);
    queueElement(t, w.written());
    sendAudioControl(t, AUDIO_START_VOICE);
}

// ------------------------------------------------------------------- screens
//
// The phone window shows display lines 0, 1 and 6: row 0 holds the
// extension and the status (or the clock), row 3 the dialled digits and
// notes. Rows 1 and 2 stay blank.

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
    t.shownMinute = -1;
    showClock(t);
    showRow(t, 3, note, "");
}

void CallServer::showClock(Terminal& t) {
    const std::time_t now = ports_.wallClock();
    std::tm parts{};
    gmtime_r(&now, &parts);
    const int minute = parts.tm_hour * 60 + parts.tm_min;
    if (minute == t.shownMinute) return;
    t.shownMinute = minute;
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d UTC", parts.tm_hour, parts.tm_min);
    showHeader(t, clock);
}

void CallServer::playMelody(Terminal& t, uint8_t tempo, std::span<const uint8_t, MELODY_NOTES> notes) {
    std::array<uint8_t, MELODY_ELEMENT_SIZE> element{};
    ByteWriter w(element);
    writeMelody(w, tempo, notes);
    queueElement(t, w.written());
    t.melodySent = true;
}

void CallServer::sendAudioControl(Terminal& t, uint8_t command) {
    std::array<uint8_t, 3> element{};
    ByteWriter w(element);
    writeAudioControl(w, command);
    queueElement(t, w.written());
}

// --------------------------------------------------------------------- relay

void CallServer::handleVoice(size_t slot, std::span<const uint8_t> datagram, const Endpoint& from,
                             int64_t now) {
    (void)now;
    if (config_.trace) traceLine("in  " + formatEndpoint(from) + " " + describeVoice(datagram));
    if (slot >= terminals_.size()) return;
    Terminal& source = terminals_[slot];
    if (!source.inUse || source.phase != CallPhase::Talking || from.address != source.signalling.address) {
        ++counters_.voiceForeign;
        return;
    }
    if (!source.voiceLatched) {
        source.voiceLatched = true;
        source.voiceFrom = from;
    } else if (source.voiceFrom != from) {
        ++counters_.voiceForeign;
        return;
    }
    if (datagram.size() > voiceWork_.size()) {
        ++counters_.voiceDropped;
        return;
    }
    std::memcpy(voiceWork_.data(), datagram.data(), datagram.size());
    VoicePayload payload;
    if (!openVoicePacket(std::span(voiceWork_.data(), datagram.size()),
                         source.hasKey ? &source.cipher : nullptr, payload)) {
        ++counters_.voiceDropped;
        return;
    }
    Terminal& target = source.echoCall ? source : terminals_[source.peer];
    if (!target.voiceLatched) {
        ++counters_.voiceDropped;  // the other terminal has not sent yet: its voice address is unknown
        return;
    }
    // Each outgoing leg has its own numbering. Incoming timestamps keep their
    // spacing (gaps from muting stay gaps); a new source or a jump starts a
    // new mapping that continues where the leg's stream left off.
    const uint32_t jump = payload.timestamp - target.inNextTimestamp;
    if (!target.inBased || payload.ssrc != target.inSsrc ||
        (jump > TIMESTAMP_JUMP && -jump > TIMESTAMP_JUMP)) {
        target.inBased = true;
        target.inSsrc = payload.ssrc;
        target.timestampOffset = target.outNextTimestamp - payload.timestamp;
    }
    const uint32_t outTimestamp = payload.timestamp + target.timestampOffset;
    const uint32_t span = static_cast<uint32_t>(payload.frameCount) * VOICE_FRAME_SAMPLES;
    target.inNextTimestamp = payload.timestamp + span;
    if (static_cast<int32_t>(outTimestamp + span - target.outNextTimestamp) > 0) {
        target.outNextTimestamp = outTimestamp + span;
    }
    // Terminals play only packets of at most ten frames: larger ones are split.
    for (size_t first = 0; first < payload.frameCount; first += VOICE_FRAMES_PER_PACKET) {
        const size_t count = std::min(VOICE_FRAMES_PER_PACKET, payload.frameCount - first);
        const size_t length = sealVoicePacket(
            voiceOut_, target.rtpOut, outTimestamp + static_cast<uint32_t>(first) * VOICE_FRAME_SAMPLES,
            payload.frames.subspan(first * VOICE_FRAME_BYTES, count * VOICE_FRAME_BYTES),
            target.hasKey ? &target.cipher : nullptr);
        if (length == 0) continue;
        const std::span<const uint8_t> packet(voiceOut_.data(), length);
        if (config_.trace) traceLine("out " + formatEndpoint(target.voiceFrom) + " " + describeVoice(packet));
        ports_.send(relayChannel(static_cast<size_t>(&target - terminals_.data())), target.voiceFrom, packet);
        ++counters_.voiceRelayed;
    }
}

void CallServer::traceLine(std::string_view text) { ports_.trace(text); }

}  // namespace vorpel::callserver
