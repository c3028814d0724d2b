#include "app/terminal.h"

namespace vorpel {

Terminal::Terminal(const TerminalPlatform& platform)
    : platform_(platform),
      transport_(platform.sockets, *this, engineLock_),
      media_(engine_.audio(), engine_.state().keys, ciphers_, transport_),
      driver_(platform.capture, platform.playback, media_, *this, engine_.audio(), media_.mediaLock()) {}

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

void Terminal::keyTrafficCiphers(const KeyMaterial& keys) { ciphers_.keyTrafficCiphers(keys); }

void Terminal::raisePhoneWindow() {
    if (window_ != nullptr) window_->raisePhoneWindow();
}

void Terminal::holdBacklight(bool on) {
    platform_.backlight.holdBacklight(on);
    if (audioListener_ != nullptr) audioListener_->audioActivity(on ? engine_.audioMode() : AudioMode::Idle);
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

std::string_view Terminal::serverAddress() const {
    const auto* first = record_.bytes.data() + ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET;
    return {reinterpret_cast<const char*>(first), SERVER_ADDRESS_SIZE};
}

}  // namespace vorpel
