#include "app/terminal.h"

namespace vorpel {

Terminal::Terminal(const TerminalPlatform& platform)
    : platform_(platform),
      ownResolver_(platform.loop),
      keyAgreement_(platform.randomDraw),
      engine_(*this, keyAgreement_),
      audio_(engine_.audio()),
      transport_(platform.sockets, platform.resolver != nullptr ? *platform.resolver : ownResolver_, *this,
                 engineLock_),
      media_(audio_, transport_),
      driver_(platform.capture, platform.playback, media_, *this, audio_, media_.mediaLock(),
              &platform.audioThread) {}

bool Terminal::startSockets() { return platform_.sockets.startup(); }

bool Terminal::ensureSignallingSocket() {
    const bool faultBefore = transport_.socketFault();
    transport_.ensureSignallingSocket();
    return faultBefore || !transport_.socketFault();
}

void Terminal::closeVoiceSocket() { transport_.closeVoiceSocket(); }

void Terminal::closeSignallingSocket() { transport_.closeSignallingSocket(); }

void Terminal::resetIdleTimer() {
    if (platform_.resetIdleTimer != nullptr) platform_.resetIdleTimer();
}

size_t Terminal::sendSignalling(std::span<const uint8_t> frame) { return transport_.sendSignalling(frame); }

void Terminal::resetMedia(uint32_t engineTicks) { media_.resetMedia(engineTicks); }

void Terminal::startMelody(uint8_t tempo, std::span<const uint8_t, MELODY_NOTE_COUNT> notes) {
    media_.startMelody(tempo, notes);
}

void Terminal::openVoiceChannel(uint16_t port, uint32_t address) {
    transport_.openVoiceChannel(port, address);
}

void Terminal::keyTrafficCiphers(const KeyMaterial& keys) { media_.keyTrafficCiphers(keys.sessionKey); }

void Terminal::raisePhoneWindow() {
    if (window_ != nullptr) window_->raisePhoneWindow();
}

void Terminal::holdBacklight(bool on) {
    platform_.backlight.holdBacklight(on);
    if (audioListener_ != nullptr) {
        // The audio side's copy of the mode: the driver calls this under the
        // media lock, never under the engine lock.
        audioListener_->audioActivity(on ? audio_.audioMode() : AudioMode::Idle);
    }
}

void Terminal::handleDatagram(std::span<const uint8_t> datagram) { engine_.handleDatagram(datagram); }

void Terminal::startRegistration() { engine_.startRegistration(); }

void Terminal::queueVoiceDatagram(std::span<const uint8_t> datagram) { media_.queueVoiceDatagram(datagram); }

void Terminal::sendLogoff() { engine_.sendLogoff(); }

bool Terminal::phoneWindowExists() const { return window_ != nullptr && window_->phoneWindowExists(); }

void Terminal::setWindowTitle(std::string_view title) {
    if (window_ != nullptr) window_->setWindowTitle(title);
}

void Terminal::showMessage(std::string_view text) {
    if (window_ != nullptr) window_->showMessage(text);
}

void Terminal::cancelWindow() {
    if (window_ != nullptr) window_->cancelWindow();
}

std::string Terminal::serverAddress() const {
    const auto field = std::span<const uint8_t>(record_.bytes)
                           .subspan(ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_SIZE);
    return {field.begin(), field.end()};
}

}  // namespace vorpel
