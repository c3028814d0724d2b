// The terminal: the signalling engine, the key agreement, the traffic
// ciphers, the transport, the media path and the audio driver, created once
// and wired together. It implements the engine's ports, the transport's
// call-outs and the shell's services by forwarding each call to the part that
// does the work.
//
// Threads and locks: engineLock serialises every entry into the engine (the
// shell's tick body and window-thread handling, and the transport's socket
// notifications); the media path's own lock serialises the audio driver's
// start, stop and passes with resetMedia.
#pragma once

#include <mutex>

#include "app/audio_activity.h"
#include "app/shell_services.h"
#include "app/window_services.h"
#include "media/media_path.h"
#include "media/media_ports.h"
#include "media/threaded_audio_driver.h"
#include "media/wave_device.h"
#include "platform/event_loop.h"
#include "platform/udp_socket.h"
#include "security/key_agreement.h"
#include "security/traffic_cipher.h"
#include "settings/settings_record.h"
#include "signalling/engine.h"
#include "signalling/transport.h"

namespace vorpel {

// The device services the terminal runs on.
struct TerminalPlatform {
    EventLoop& loop;
    UdpSocketFactory& sockets;
    WaveCaptureDevice& capture;
    WavePlaybackDevice& playback;
    BacklightPort& backlight;
    // Resets the system idle timer (keep-awake).
    void (*resetIdleTimer)();
};

class Terminal final : public ShellServices,
                       private EnginePorts,
                       private BacklightPort,
                       private TransportEvents {
public:
    explicit Terminal(const TerminalPlatform& platform);
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // The phone window that the transport and the engine talk to; set before
    // the shell runs. Without one the terminal behaves as if it were closed.
    void attachWindow(WindowServices* window) { window_ = window; }
    void setAudioListener(AudioActivityListener* listener) { audioListener_ = listener; }

    SignallingEngine& engine() { return engine_; }
    std::mutex& engineLock() { return engineLock_; }
    AudioDriver& audioDriver() { return driver_; }
    SettingsRecord& record() { return record_; }
    MediaPath& media() { return media_; }

    // ShellServices.
    bool startSockets() override;
    bool ensureSignallingSocket() override;
    void closeVoiceSocket() override;
    void closeSignallingSocket() override;
    void resetIdleTimer() override;

private:
    // EnginePorts (engine lock held).
    size_t sendSignalling(std::span<const uint8_t> frame) override;
    void resetMedia(uint32_t engineTicks) override;
    void startMelody(uint8_t tempo, std::span<const uint8_t, MELODY_NOTE_COUNT> notes) override;
    void openVoiceChannel(uint16_t port, uint32_t address) override;
    void keyTrafficCiphers(const KeyMaterial& keys) override;
    void raisePhoneWindow() override;

    // BacklightPort: the audio driver's start (on) and stop (off).
    void holdBacklight(bool on) override;

    // TransportEvents (engine lock held by the transport).
    RegState regState() const override { return engine_.state().regState; }
    void handleDatagram(std::span<const uint8_t> datagram) override;
    void startRegistration() override;
    void queueVoiceDatagram(std::span<const uint8_t> datagram) override;
    void sendLogoff() override;
    bool phoneWindowExists() const override;
    void setWindowTitle(std::string_view title) override;
    void showMessage(std::string_view text) override;
    void cancelWindow() override;
    std::string_view serverAddress() const override;

    TerminalPlatform platform_;
    std::mutex engineLock_;
    SettingsRecord record_;
    KeyAgreement keyAgreement_;
    TrafficCiphers ciphers_;
    SignallingEngine engine_{*this, keyAgreement_};
    Transport transport_;
    MediaPath media_;
    ThreadedAudioDriver driver_;
    WindowServices* window_ = nullptr;
    AudioActivityListener* audioListener_ = nullptr;
};

}  // namespace vorpel
