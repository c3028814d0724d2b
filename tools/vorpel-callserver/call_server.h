// The call server's protocol logic in three parts: registration and the link
// with each terminal (call_server.cpp), the phone screens and calls between
// extensions, the echo extension included (phone_screens.cpp), and the voice
// relay (voice_relay.cpp). It owns no socket and no clock: main() feeds it
// datagrams and ticks with the current time and gives it a way to send, and
// tests drive it in virtual time with fake terminals.
//
// Terminals are keyed by the source address and port of their signalling
// datagrams. Each terminal slot has a relay port of its own (relay base port
// + slot), named in the voice channel element it receives when a call starts;
// the relay learns the terminal's voice address from its first packet there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "account_table.h"
#include "common/byte_io.h"
#include "endpoint.h"
#include "link_elements.h"
#include "server_crypto.h"
#include "server_link.h"
#include "voice_packet.h"

namespace vorpel::callserver {

struct CallServerConfig {
    // Address written into voice channel elements; 0 sends the short form,
    // which stands for the signalling server's own address.
    uint32_t relayAddress = 0;
    uint16_t relayBasePort = 9880;
    size_t maxTerminals = 32;
    // An extension that plays a caller's own voice back; empty for none.
    std::string echoExtension = "9";
    bool trace = false;
};

// Sockets of the server: channel 0 is the signalling socket, channel 1 + n
// the relay socket of terminal slot n.
inline constexpr size_t SIGNALLING_CHANNEL = 0;
inline size_t relayChannel(size_t slot) { return 1 + slot; }

class CallServerPorts {
public:
    virtual void send(size_t channel, const Endpoint& to, std::span<const uint8_t> bytes) = 0;
    // Wall-clock time for the idle screen's clock.
    virtual std::time_t wallClock() = 0;
    // One line of the --trace output.
    virtual void trace(std::string_view line) = 0;

protected:
    ~CallServerPorts() = default;
};

struct CallServerCounters {
    uint64_t malformed = 0;      // datagrams or elements of a wrong length or layout
    uint64_t unknownSource = 0;  // link frames from no registered terminal, or a wrong terminal id
    uint64_t registrations = 0;
    uint64_t refusals = 0;
    uint64_t staleConnects = 0;    // connect requests on a link already in use
    uint64_t elementsDropped = 0;  // a terminal's pending buffer was full
    uint64_t syncAnswered = 0;
    uint64_t echoAnswered = 0;
    uint64_t terminalsDropped = 0;  // silent, unacknowledging or failing sync checks
    uint64_t strangersNudged = 0;   // data frames on links the server does not know, answered to end them
    uint64_t voiceRelayed = 0;
    uint64_t voiceDropped = 0;  // undecodable, or nowhere to go yet
    uint64_t voiceForeign = 0;  // from an address that is not the leg's terminal
};

enum class CallPhase { Offline, Idle, Dialling, Calling, Ringing, Talking };

class CallServer {
public:
    // Timing, in milliseconds.
    static constexpr int64_t SYNC_INTERVAL_MS = 5000;
    static constexpr int64_t SYNC_TIMEOUT_MS = 5000;
    static constexpr unsigned SYNC_MISSES_ALLOWED = 3;
    static constexpr int64_t SILENCE_LIMIT_MS = 35000;
    static constexpr int64_t RING_TIMEOUT_MS = 45000;
    static constexpr unsigned NUDGES_PER_SECOND = 20;

    CallServer(AccountTable accounts, CallServerConfig config, CallServerPorts& ports);

    void handleSignalling(std::span<const uint8_t> datagram, const Endpoint& from, int64_t now);
    void handleVoice(size_t slot, std::span<const uint8_t> datagram, const Endpoint& from, int64_t now);
    void tick(int64_t now);
    // A datagram too long for the receive buffer was cut off and ignored.
    void noteOversized() { ++counters_.malformed; }

    const CallServerCounters& counters() const { return counters_; }
    const CallServerConfig& config() const { return config_; }
    size_t slotCount() const { return terminals_.size(); }
    // The phase of the terminal registered for this extension (Offline when none).
    CallPhase phaseOf(std::string_view extension) const;

private:
    enum class LinkPhase { AwaitingConnect, Confirmed, Up };
    static constexpr size_t NO_PEER = SIZE_MAX;

    // A terminal slot: five records, each replaced whole when its part starts
    // again. Registration and link live in call_server.cpp, the screens and
    // calls in phone_screens.cpp, the voice relay in voice_relay.cpp.

    // What an accepted registration request establishes; the key and the sync
    // counter may carry over to the next request of the same engine.
    struct Registration {
        bool inUse = false;
        Endpoint signalling;
        uint16_t terminalId = 0;
        size_t account = 0;
        bool hasKey = false;
        bool hasTerminalPublic = false;
        DhPublic terminalPublic{};
        DhPrivate serverPrivate{};
        DhPublic serverPublic{};
        VoiceCipher cipher;
        // The terminal's sync counter, while known.
        bool syncKnown = false;
        uint16_t syncValue = 0;
    };
    // The link since the registration, and its liveness checks.
    struct LinkSession {
        LinkPhase linkPhase = LinkPhase::AwaitingConnect;
        ServerLink link;
        int64_t lastHeard = 0;
        bool syncOutstanding = false;
        int64_t syncSentAt = 0;
        int64_t nextSyncAt = 0;
        unsigned syncMisses = 0;
        bool echoOutstanding = false;
        uint16_t echoToken = 0;
    };
    // What the terminal reported of its audio, and what its screen shows.
    struct Screen {
        uint8_t audioMode = AUDIO_MODE_IDLE;  // as last reported
        bool melodySent = false;              // a melody was sent since the last report
        int shownMinute = -1;
    };
    // The call: dialling, ringing, talking; Idle with no peer when none.
    struct Call {
        CallPhase phase = CallPhase::Idle;
        size_t peer = NO_PEER;
        bool echoCall = false;
        std::array<char, EXTENSION_MAX + 1> digits{};
        size_t digitCount = 0;
        int64_t ringDeadline = 0;
    };
    // The voice relay leg: where the terminal sends from, and the numbering
    // of what the relay sends to it.
    struct VoiceLeg {
        bool voiceLatched = false;
        Endpoint voiceFrom;
        RtpSendCounters rtpOut;
        uint32_t outNextTimestamp = 0;
        bool inBased = false;
        uint32_t inSsrc = 0;
        uint32_t inNextTimestamp = 0;
        uint32_t timestampOffset = 0;
    };
    struct Terminal {
        Registration reg;
        LinkSession session;
        Screen screen;
        Call call;
        VoiceLeg voice;
    };

    class TerminalSink;

    // Signalling.
    void handleRegistration(std::span<const uint8_t> datagram, const Endpoint& from, int64_t now);
    void handleLinkFrame(Terminal& t, const ByteReader& frame, int64_t now);
    void handleElements(Terminal& t, const ByteReader& frame, int64_t now);
    void refuse(const Endpoint& to, std::string_view text);
    void nudgeStranger(const ByteReader& frame, const Endpoint& from, int64_t now);
    void sendSignalling(const Endpoint& to, std::span<const uint8_t> bytes);
    size_t findBySource(const Endpoint& from) const;
    size_t findByAccount(size_t account) const;
    size_t findFreeSlot() const;
    void linkUp(Terminal& t, int64_t now);
    // failure: dropped for silence or a failed check, not a logoff or a move.
    void dropTerminal(Terminal& t, std::string_view why, bool failure);
    void flushAll(int64_t now);
    void queueElement(Terminal& t, std::span<const uint8_t> element);

    // The phone and calls.
    void onSyncReply(Terminal& t, uint16_t value);
    void onAudioMode(Terminal& t, uint8_t mode);
    void onKey(Terminal& t, uint16_t code, int64_t now);
    void dialDigit(Terminal& t, char digit, int64_t now);
    void placeCall(Terminal& t, int64_t now);
    void answer(Terminal& callee);
    void endCall(Terminal& t, std::string_view ownNote, std::string_view peerNote, uint8_t peerCommand);
    void toIdle(Terminal& t, std::string_view note, bool releaseAudio, uint8_t command);
    void startVoice(Terminal& t);
    // The ring timeout and the idle screen's clock.
    void tickCall(Terminal& t, int64_t now);
    bool isKnownExtension(std::string_view digits) const;
    std::string_view extensionOf(const Terminal& t) const;
    std::string_view dialled(const Terminal& t) const { return {t.call.digits.data(), t.call.digitCount}; }

    // Screens.
    void showConnected(Terminal& t);
    void showRow(Terminal& t, uint8_t row, std::string_view line0, std::string_view line1);
    void showLamps(Terminal& t, uint8_t callLamp, uint8_t waitLamp);
    void showHeader(Terminal& t, std::string_view status);
    void showIdle(Terminal& t, std::string_view note);
    void showClock(Terminal& t);
    void playMelody(Terminal& t, uint8_t tempo, std::span<const uint8_t, MELODY_NOTES> notes);
    void sendAudioControl(Terminal& t, uint8_t command);

    void traceLine(std::string_view text);

    AccountTable accounts_;
    CallServerConfig config_;
    CallServerPorts& ports_;
    std::vector<Terminal> terminals_;
    CallServerCounters counters_;
    uint32_t ssrcCounter_ = 0x56A10000;
    uint16_t echoCounter_ = 0x4000;
    int64_t nudgeSecondStart_ = INT64_MIN / 2;
    unsigned nudgesThisSecond_ = 0;
    std::array<uint8_t, 2048> voiceWork_{};
    std::array<uint8_t, VOICE_PACKET_MAX> voiceOut_{};
};

}  // namespace vorpel::callserver
