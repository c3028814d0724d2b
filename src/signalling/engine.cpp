// Engine lifecycle, the registration state machine and the dispatch of
// received datagrams by their first byte.
//
// Timers count ticks of 100 ms.
#include "signalling/engine.h"

#include <algorithm>

#include "security/credential_proof.h"
#include "signalling/engine_texts.h"
#include "signalling/signalling_wire.h"

namespace vorpel {

namespace {
constexpr uint32_t FIRST_ATTEMPT_TICKS = 15;        // from validation to the first timed attempt
constexpr uint32_t REGISTRATION_RETRY_TICKS = 150;  // between registration requests
constexpr uint32_t ADDRESS_CHECK_TICKS = 20;        // between checks while no numeric address is known
constexpr uint32_t CONNECT_RETRY_TICKS = 20;        // between connect requests
constexpr uint32_t MAX_CONNECT_RETRIES = 10;        // after the one sent on the reply
constexpr uint32_t RESTART_TICKS = 100;             // after a failed synchronisation or a lost link
constexpr uint32_t REFUSAL_HOLD_TICKS = 3000;       // after a refusal
constexpr size_t PASSWORD_MIN_LENGTH = 12;
}  // namespace

SignallingEngine::SignallingEngine(EnginePorts& ports, KeyAgreementPort& keyAgreement)
    : ports_(ports), keyAgreement_(keyAgreement) {}

void SignallingEngine::initEngine() {
    // Everything starts again except the display version, which keeps
    // counting so that the window redraws, and the tick count. Every send
    // slot starts empty (count 2), so that an element queued before the
    // connect confirm lands after the type and sequence bytes.
    TerminalState fresh;
    fresh.displayVersion = state_.displayVersion;
    fresh.engineTicks = state_.engineTicks;
    state_ = fresh;
    audio_.reset();

    state_.display.fill(' ');
    showText(STATUS_TEXT[STATUS_BANNER], BANNER_LINE);
    showText(STATUS_TEXT[STATUS_INITIALIZING], STATUS_LINE);

    ports_.resetMedia(state_.engineTicks);
    keyAgreement_.resetKeyAgreement();
}

void SignallingEngine::publishKeyState() {
    audio_.trafficEncryption.store(trafficEncryptionInForce(state_.keys));
}

void SignallingEngine::engineTick() {
    ++state_.engineTicks;
    switch (state_.regState) {
    case RegState::Validate:
        validateSettings();
        break;
    case RegState::SettingsInvalid:
        break;
    case RegState::Registering:
        tickRegistering();
        break;
    case RegState::Synchronizing:
        tickSynchronizing();
        break;
    case RegState::Connected:
        tickConnected();
        break;
    }
}

void SignallingEngine::validateSettings() {
    const ConfigSnapshot& config = state_.config;
    unsigned failure = MESSAGE_BLANK;
    const auto password = config.password();
    if (config.serverAddress()[0] == 0) {
        failure = MESSAGE_BAD_ADDRESS;
    } else if (config.accountId()[0] == 0) {
        failure = MESSAGE_BAD_ACCOUNT;
    } else if (std::find(password.begin(), password.begin() + PASSWORD_MIN_LENGTH, uint8_t{0}) !=
               password.begin() + PASSWORD_MIN_LENGTH) {
        failure = MESSAGE_SHORT_PASSWORD;
    }
    if (failure != MESSAGE_BLANK) {
        showMessage(failure, MESSAGE_ROW);
        showText(STATUS_TEXT[STATUS_VALIDATING], STATUS_LINE);
        state_.regState = RegState::SettingsInvalid;
        return;
    }
    showMessage(MESSAGE_BLANK, MESSAGE_ROW);
    state_.countdown = FIRST_ATTEMPT_TICKS;
    state_.regState = RegState::Registering;
    showText(STATUS_TEXT[STATUS_REGISTERING], STATUS_LINE);
}

void SignallingEngine::tickRegistering() {
    if (state_.countdown > 0 && --state_.countdown > 0) return;
    // The request goes out whenever the server's address is known: stored as
    // a number, or learnt by the signalling socket from the name. The request
    // still carries the stored number (zero in the second case).
    if (state_.config.hasNumericServerAddress() || ports_.serverAddressKnown()) {
        state_.countdown = REGISTRATION_RETRY_TICKS;
        sendRegistrationRequest();
    } else {
        // No address yet (the socket is still being set up): keep checking.
        state_.countdown = ADDRESS_CHECK_TICKS;
    }
}

void SignallingEngine::tickSynchronizing() {
    if (state_.countdown > 0 && --state_.countdown > 0) return;
    if (++state_.retryCount > MAX_CONNECT_RETRIES) {
        state_.regState = RegState::Registering;
        showText(STATUS_TEXT[STATUS_REGISTERING], STATUS_LINE);
        state_.countdown = RESTART_TICKS;
        return;
    }
    state_.countdown = CONNECT_RETRY_TICKS;
    sendConnectRequest();
}

void SignallingEngine::tickConnected() {
    if (state_.link.linkLost == 0) {
        linkUpkeep();
        return;
    }
    releaseAudio();
    state_.regState = RegState::Registering;
    blankRows(1, 3);
    showText(STATUS_TEXT[STATUS_BANNER], BANNER_LINE);
    showText(STATUS_TEXT[STATUS_REGISTERING], STATUS_LINE);
    state_.countdown = RESTART_TICKS;
}

void SignallingEngine::blankRows(unsigned firstRow, unsigned lastRow) {
    for (unsigned row = firstRow; row <= lastRow; ++row) showMessage(MESSAGE_BLANK, row);
}

void SignallingEngine::startRegistration() {
    if (state_.regState != RegState::Registering) return;
    state_.countdown = REGISTRATION_RETRY_TICKS;
    sendRegistrationRequest();
}

void SignallingEngine::sendRegistrationRequest() {
    KeyMaterial& keys = state_.keys;
    keyAgreement_.holdKeyPair(keys);
    publishKeyState();
    const uint16_t counter = ++state_.registrationCounter;
    const ConfigSnapshot& config = state_.config;
    const auto accountId = config.accountId().first<ACCOUNT_ID_USED>();
    const CredentialProof proof = credentialProof(accountId, counter, config.authId().first<AUTH_ID_USED>(),
                                                  config.password().first<PASSWORD_USED>());
    ByteWriter out(transmitBuffer_);
    out.u8(wire::KIND_REGISTRATION).u8(wire::REQUEST_CONSTANT_1).u8(wire::REQUEST_CONSTANT_2);
    out.bytes(accountId).u8(0x00).u16le(counter).bytes(proof).bytes(config.numericServerAddressBytes());
    if (keys.keyPairHeld == 1) out.bytes(keys.ownPublicValue);
    transmit(out);
    // A settings message may still stand on the last row.
    showMessage(MESSAGE_BLANK, MESSAGE_ROW);
}

void SignallingEngine::sendLogoff() {
    if (state_.regState < RegState::Registering) return;
    ByteWriter out(transmitBuffer_);
    out.u8(wire::KIND_LOGOFF).u16le(state_.terminalId);
    transmit(out);
}

void SignallingEngine::sendConnectRequest() {
    ByteWriter out(transmitBuffer_);
    writeLinkHeader(out);
    out.u8(wire::LINK_CONNECT_REQUEST);
    transmit(out);
    noteFrameSent();
}

void SignallingEngine::handleDatagram(std::span<const uint8_t> datagram) {
    const ByteReader in(datagram);
    if (in.size() < 2) return;
    switch (in.u8(0)) {
    case wire::KIND_REGISTRATION:
        if (state_.regState == RegState::Registering) handleRegistrationReply(datagram);
        break;
    case wire::KIND_REFUSAL:
        if (state_.regState == RegState::Registering) handleRefusal(datagram);
        break;
    case wire::KIND_LINK:
        handleLinkFrame(datagram.subspan(1));
        break;
    default:
        break;
    }
}

void SignallingEngine::handleRegistrationReply(std::span<const uint8_t> datagram) {
    const ByteReader in(datagram);
    // A reply too short to hold the whole id gives zero for what it lacks.
    state_.terminalId = in.u16le(wire::REPLY_TERMINAL_ID_OFFSET);
    // A reply without a whole public value gives no key; one with a non-zero
    // value has the session key derived before it returns.
    state_.keys.sessionKeyReady = 0;
    const auto serverPublic = in.slice(wire::REPLY_PUBLIC_VALUE_OFFSET, PUBLIC_VALUE_SIZE);
    if (!serverPublic.empty())
        keyAgreement_.acceptServerPublicValue(state_.keys, serverPublic.first<PUBLIC_VALUE_SIZE>());
    publishKeyState();
    state_.regState = RegState::Synchronizing;
    showText(STATUS_TEXT[STATUS_SYNCHRONIZING], STATUS_LINE);
    state_.retryCount = 0;
    state_.countdown = CONNECT_RETRY_TICKS;
    sendConnectRequest();
    blankRows(1, 3);
}

void SignallingEngine::handleRefusal(std::span<const uint8_t> datagram) {
    state_.countdown = REFUSAL_HOLD_TICKS;
    // The server's text on the last line: up to a zero byte, the end of the
    // datagram or the end of the line, whichever comes first.
    const ByteReader in(datagram);
    auto line = std::span<uint8_t>(state_.display)
                    .subspan(REFUSAL_TEXT_LINE * DISPLAY_LINE_CHARS, DISPLAY_LINE_CHARS);
    std::fill(line.begin(), line.end(), uint8_t{' '});
    for (size_t i = 0; i < wire::REFUSAL_TEXT_MAX; ++i) {
        const size_t offset = wire::REFUSAL_TEXT_OFFSET + i;
        if (!in.has(offset) || in.u8(offset) == 0) break;
        line[i] = in.u8(offset);
    }
    ++state_.displayVersion;
    showText(STATUS_TEXT[STATUS_REFUSED], REFUSAL_LINE);
}

void SignallingEngine::handleConnectConfirm() {
    if (state_.regState != RegState::Synchronizing) return;
    resetLink();
    state_.regState = RegState::Connected;
    queueAnnounce();
    state_.indicators.fill(0);
    state_.display.fill(' ');
    ++state_.displayVersion;
}

}  // namespace vorpel
