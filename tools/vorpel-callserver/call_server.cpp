// The call server's registration and link: requests and replies, the link
// with each terminal and its liveness checks, the dispatch of what the
// terminals send, and the tick.
#include "call_server.h"

#include <openssl/crypto.h>

#include <utility>

#include "link_elements.h"
#include "registration_frame.h"
#include "trace/frame_trace.h"

namespace vorpel::callserver {
namespace {

constexpr uint16_t TERMINAL_ID_BASE = 0x1000;
constexpr uint8_t LINK_CONNECT_REQUEST = 0x01;

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
    if (slot == NO_PEER || terminals_[slot].reg.terminalId != in.u16le(1)) {
        ++counters_.unknownSource;
        if (slot == NO_PEER) nudgeStranger(in, from, now);
        return;
    }
    Terminal& t = terminals_[slot];
    t.session.lastHeard = now;
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
    if (slot != NO_PEER && terminals_[slot].reg.account != *accountIndex) {
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
    if (known && t.call.phase != CallPhase::Idle) {
        endCall(t, "", "Call ended", AUDIO_RELEASE_GONE);
        flushAll(now);
    }

    // The terminal's engine restarts its request counter at 1 and its sync
    // counter at 0 together; a later request from the same engine (same
    // address, same public value) keeps the sync counter where it was.
    const bool sameEngine = known && t.reg.hasTerminalPublic == request->hasPublicValue &&
                            (!request->hasPublicValue || t.reg.terminalPublic == request->publicValue);
    if (request->counter == 1) {
        t.reg.syncKnown = true;
        t.reg.syncValue = 0;
    } else if (!sameEngine) {
        t.reg.syncKnown = false;
    }

    // A repeated request whose reply may have been lost gets the same server
    // value again, so that both sides keep one key.
    const bool reuseServerValue = sameEngine && request->hasPublicValue && t.reg.hasKey &&
                                  t.session.linkPhase == LinkPhase::AwaitingConnect;
    t.reg.inUse = true;
    t.reg.signalling = from;
    t.reg.terminalId = static_cast<uint16_t>(TERMINAL_ID_BASE + slot);
    t.reg.account = *accountIndex;
    // Link, screen, call and voice leg start afresh.
    t.session = LinkSession{};
    t.session.lastHeard = now;
    t.screen = Screen{};
    t.call = Call{};
    t.voice = VoiceLeg{};
    t.reg.hasTerminalPublic = request->hasPublicValue;
    t.reg.terminalPublic = request->publicValue;
    if (request->hasPublicValue) {
        if (!reuseServerValue) {
            t.reg.serverPrivate = randomDhPrivate();
            t.reg.serverPublic = dhPublicValue(t.reg.serverPrivate);
        }
        t.reg.hasKey = t.reg.cipher.setKey(deriveSessionKey(t.reg.serverPrivate, request->publicValue));
    } else {
        t.reg.hasKey = false;
        t.reg.cipher.clear();
    }
    ++counters_.registrations;
    std::array<uint8_t, REGISTRATION_REPLY_LONG> reply{};
    const size_t length =
        buildRegistrationReply(reply, t.reg.terminalId, t.reg.hasKey ? &t.reg.serverPublic : nullptr);
    sendSignalling(from, std::span<const uint8_t>(reply.data(), length));
    if (config_.trace) traceLine("     " + formatEndpoint(from) + " is extension " + account.extension);
}

void CallServer::handleLinkFrame(Terminal& t, const ByteReader& frame, int64_t now) {
    const uint8_t type = frame.u8(3);
    TerminalSink sink(*this, t.reg.signalling);
    if (type == LINK_CONNECT_REQUEST && frame.size() == 4) {
        // Once the terminal has sent a data frame it is connected: a connect
        // request then is a late copy and must not restart the numbering.
        if (t.session.linkPhase == LinkPhase::Up) {
            ++counters_.staleConnects;
            return;
        }
        t.session.link.reset();
        t.session.link.confirmed(now);
        t.session.linkPhase = LinkPhase::Confirmed;
        const std::array<uint8_t, 2> confirm{FRAME_LINK, ServerLink::TYPE_CONNECT_CONFIRM};
        sendSignalling(t.reg.signalling, confirm);
        return;
    }
    if (t.session.linkPhase == LinkPhase::AwaitingConnect) {
        ++counters_.malformed;
        return;
    }
    if (type == ServerLink::TYPE_ACK && frame.size() == 5) {
        t.session.link.onAckFrame(frame.u8(4), now, sink);
        return;
    }
    if (type == ServerLink::TYPE_DATA && frame.size() >= 5) {
        if (t.session.link.onDataFrame(frame.u8(4), now, sink) != ServerLink::Receive::InSequence) return;
        if (t.session.linkPhase == LinkPhase::Confirmed) linkUp(t, now);
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
            if (t.session.echoOutstanding && e.value == t.session.echoToken) {
                t.session.echoOutstanding = false;
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
        if (!t.reg.inUse) return;
    }
}

void CallServer::linkUp(Terminal& t, int64_t now) {
    t.session.linkPhase = LinkPhase::Up;
    t.session.nextSyncAt = now + SYNC_INTERVAL_MS;
    showConnected(t);
    // One echo proves that the terminal interprets what the server sends.
    t.session.echoToken = echoCounter_++;
    t.session.echoOutstanding = true;
    std::array<uint8_t, 4> echo{};
    ByteWriter w(echo);
    writeEcho(w, static_cast<uint8_t>(t.session.echoToken >> 8), static_cast<uint8_t>(t.session.echoToken));
    queueElement(t, w.written());
}

// A reply that comes after its check timed out still counts: the terminal
// answers each value once, and a lost answer comes only when the link's
// probe fetches it.
void CallServer::onSyncReply(Terminal& t, uint16_t value) {
    if (!t.reg.syncKnown || value != static_cast<uint16_t>(t.reg.syncValue + 1)) return;
    t.reg.syncValue = value;
    t.session.syncOutstanding = false;
    t.session.syncMisses = 0;
    ++counters_.syncAnswered;
}

void CallServer::tick(int64_t now) {
    for (Terminal& t : terminals_) {
        if (!t.reg.inUse) continue;
        TerminalSink sink(*this, t.reg.signalling);
        if (!t.session.link.tick(now, sink)) {
            dropTerminal(t, "does not acknowledge", true);
            continue;
        }
        if (now - t.session.lastHeard > SILENCE_LIMIT_MS) {
            dropTerminal(t, "silent", true);
            continue;
        }
        if (t.session.linkPhase != LinkPhase::Up) continue;
        if (t.reg.syncKnown) {
            if (t.session.syncOutstanding && now - t.session.syncSentAt >= SYNC_TIMEOUT_MS) {
                t.session.syncOutstanding = false;
                if (++t.session.syncMisses >= SYNC_MISSES_ALLOWED) {
                    dropTerminal(t, "does not answer sync checks", true);
                    continue;
                }
            }
            if (!t.session.syncOutstanding && now >= t.session.nextSyncAt) {
                std::array<uint8_t, 4> check{};
                ByteWriter w(check);
                writeSyncCheck(w, t.reg.syncValue);
                queueElement(t, w.written());
                t.session.syncOutstanding = true;
                t.session.syncSentAt = now;
                t.session.nextSyncAt = now + SYNC_INTERVAL_MS;
            }
        }
        tickCall(t, now);
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
        if (terminals_[i].reg.inUse && terminals_[i].reg.signalling == from) return i;
    }
    return NO_PEER;
}

size_t CallServer::findByAccount(size_t account) const {
    for (size_t i = 0; i < terminals_.size(); ++i) {
        if (terminals_[i].reg.inUse && terminals_[i].reg.account == account) return i;
    }
    return NO_PEER;
}

size_t CallServer::findFreeSlot() const {
    for (size_t i = 0; i < terminals_.size(); ++i) {
        if (!terminals_[i].reg.inUse) return i;
    }
    return NO_PEER;
}

void CallServer::dropTerminal(Terminal& t, std::string_view why, bool failure) {
    if (failure) ++counters_.terminalsDropped;
    if (config_.trace)
        traceLine("     " + formatEndpoint(t.reg.signalling) + " dropped: " + std::string(why));
    if (t.call.phase != CallPhase::Idle && t.call.phase != CallPhase::Dialling) {
        endCall(t, "", "Call ended", AUDIO_RELEASE_GONE);
    }
    t.reg = Registration{};
    t.call = Call{};
    t.voice = VoiceLeg{};
}

// An event at one terminal may queue elements for another (a call rings its
// callee), so every link is flushed after each.
void CallServer::flushAll(int64_t now) {
    for (Terminal& t : terminals_) {
        if (!t.reg.inUse) continue;
        TerminalSink sink(*this, t.reg.signalling);
        t.session.link.flush(now, sink);
    }
}

void CallServer::queueElement(Terminal& t, std::span<const uint8_t> element) {
    if (!t.session.link.queue(element)) ++counters_.elementsDropped;
}

void CallServer::traceLine(std::string_view text) { ports_.trace(text); }

}  // namespace vorpel::callserver
