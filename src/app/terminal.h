// The terminal: the signalling engine, the key agreement, the transport, the
// media path and the audio driver, created once and wired together. It
// implements the engine's ports, the transport's call-outs and the shell's
// services by forwarding each call to the part that does the work.
//
// Threads and locks: engineLock serialises every entry into the engine (the
// shell's tick body and window-thread handling, and the transport's socket
// notifications); the media path's own lock serialises the audio driver's
// start, stop and passes with resetMedia and the keying of the voice ciphers.
#pragma once

#include <string>

#include "app/audio_activity.h"
#include "app/shell_services.h"
#include "app/transport.h"
#include "app/window_services.h"
#include "common/mutex.h"
#include "media/audio_thread_port.h"
#include "media/media_path.h"
#include "media/media_ports.h"
#include "media/threaded_audio_driver.h"
#include "media/wave_device.h"
#include "platform/event_loop.h"
#include "platform/name_resolver.h"
#include "platform/thread_name_resolver.h"
#include "platform/udp_socket.h"
#include "security/key_agreement.h"
#include "security/random_generator.h"
#include "settings/settings_record.h"
#include "signalling/engine.h"

namespace vorpel {

// The device services the terminal runs on.
struct TerminalPlatform {
    EventLoop& loop;
    UdpSocketFactory& sockets;
    WaveCaptureDevice& capture;
    WavePlaybackDevice& playback;
    AudioThreadPort& audioThread;
    BacklightPort& backlight;
    // The random source of the key pairs.
    PlatformDraw& randomDraw;
    // Resets the system idle timer (keep-awake).
    void (*resetIdleTimer)();
    // Looks up the server's name away from the window thread; null: a
    // ThreadNameResolver on the loop.
    NameResolver* resolver = nullptr;
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
    // The protocol trace, before the shell runs; it outlives the terminal.
    void setTraceSink(TraceSink* sink) { transport_.setTraceSink(sink); }

    // The engine for the shell, which calls it under engineLock() only.
    SignallingEngine& engine() { return engine_; }
    Mutex& engineLock() RETURN_CAPABILITY(transport_.engineLock()) { return engineLock_; }
    AudioDriver& audioDriver() { return driver_; }
    SettingsRecord& record() { return record_; }
    MediaPath& media() { return media_; }
    // Whether a call's voice runs (any thread).
    bool callRunning() const { return audio_.audioMode() == AudioMode::Voice; }

    // ShellServices (engine lock held by the shell).
    bool startSockets() override;
    bool ensureSignallingSocket() override REQUIRES(transport_.engineLock());
    void closeVoiceSocket() override REQUIRES(transport_.engineLock());
    void closeSignallingSocket() override REQUIRES(transport_.engineLock());
    void resetIdleTimer() override;

private:
    // EnginePorts (engine lock held by the engine's caller).
    size_t sendSignalling(std::span<const uint8_t> frame) override REQUIRES(transport_.engineLock());
    void resetMedia(uint32_t engineTicks) override;
    void startMelody(uint8_t tempo, std::span<const uint8_t, MELODY_NOTE_COUNT> notes) override;
    void openVoiceChannel(uint16_t port, uint32_t address) override REQUIRES(transport_.engineLock());
    void keyTrafficCiphers(const KeyMaterial& keys) override;
    void raisePhoneWindow() override;
    bool serverAddressKnown() const override REQUIRES(transport_.engineLock()) {
        return transport_.signallingPeerAddress() != 0;
    }

    // BacklightPort: the audio driver's start (on) and stop (off).
    void holdBacklight(bool on) override;

    // TransportEvents (engine lock held by the transport).
    RegState regState() const override REQUIRES(transport_.engineLock()) { return engine_.state().regState; }
    void handleDatagram(std::span<const uint8_t> datagram) override REQUIRES(transport_.engineLock());
    void startRegistration() override REQUIRES(transport_.engineLock());
    void queueVoiceDatagram(std::span<const uint8_t> datagram) override;
    void sendLogoff() override REQUIRES(transport_.engineLock());
    bool phoneWindowExists() const override;
    void setWindowTitle(std::string_view title) override;
    void showMessage(std::string_view text) override;
    void cancelWindow() override;
    std::string serverAddress() const override;

    TerminalPlatform platform_;
    ThreadNameResolver ownResolver_;
    Mutex engineLock_;
    SettingsRecord record_;
    KeyAgreement keyAgreement_;
    SignallingEngine engine_ GUARDED_BY(transport_.engineLock());  // the lock is engineLock_
    const AudioState& audio_;                                      // the engine's, read without the lock
    Transport transport_;
    MediaPath media_;
    ThreadedAudioDriver driver_;
    WindowServices* window_ = nullptr;
    AudioActivityListener* audioListener_ = nullptr;
};

}  // namespace vorpel
