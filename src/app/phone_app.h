// The application shell: start-up and shutdown in a fixed order, the 100-ms
// media timer whose tick drives the audio driver, the signalling engine and
// (through a posted message) the phone window, and the application commands
// that open dialogs.
//
// Threads and locks:
// - runTerminal, the posted tick message, keys, commands and the phone
//   window's life run on the window thread (the thread that runs the loop).
// - onTimer runs on the timer's thread. Its body (audio driver tick, engine
//   tick, posting the tick message) runs only when it raises tickGuard from 0
//   to 1; tickGuard is held while the phone window is not yet ready and around
//   every dialog, so an engine restart never meets a tick body.
// - engineLock serialises every entry into the engine: the engine tick, the
//   window's tick handling and keys, the restarts. Socket notifications take
//   it in the transport. The annotations let the compiler check this.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>

#include "app/dialog_host.h"
#include "app/shell_services.h"
#include "app/window_services.h"
#include "common/mutex.h"
#include "media/audio_driver.h"
#include "phone/phone_window.h"
#include "platform/event_loop.h"
#include "platform/periodic_timer.h"
#include "settings/settings_record.h"
#include "settings/settings_store.h"
#include "signalling/engine.h"

namespace vorpel {

inline constexpr uint32_t WM_PHONE_TICK = 60000;
inline constexpr uint32_t IDM_SETTINGS = 32772;
inline constexpr uint32_t IDM_TAGUPD = 32773;
inline constexpr uint32_t IDM_ABOUT = 40002;
inline constexpr uint32_t MEDIA_TIMER_PERIOD_MS = 100;

inline constexpr std::string_view SOCKETS_FAILED_TEXT = "Windows sockets initialization failed.";
inline constexpr std::string_view TIMER_FAILED_TEXT = "Media timer initialization failed.";
inline constexpr std::string_view SOUND_FAILED_TEXT = "Sount initialization fault!";

// How runTerminal ended, as a process exit status.
enum class ExitStatus : int { Orderly = 0, Failed = 1 };

struct ShellParts {
    Mutex& engineLock;
    SignallingEngine& engine GUARDED_BY(engineLock);
    AudioDriver& audioDriver;
    // Its socket calls expect the engine lock held.
    ShellServices& services;
    SettingsRecord& record;
    SettingsStore& store;
    PeriodicTimer& timer;
    EventLoop& loop;
    DialogHost& host;
};

class PhoneApp final : public TimerCallback,
                       public LoopMessageHandler,
                       public WindowServices,
                       private PhoneWindowPort {
public:
    explicit PhoneApp(const ShellParts& parts);
    PhoneApp(const PhoneApp&) = delete;
    PhoneApp& operator=(const PhoneApp&) = delete;

    // The whole life of the program, on the window thread; returns when the
    // phone window has closed and everything has been taken down.
    ExitStatus runTerminal();

    // The media timer's callback (OnMediaTimer).
    void onTimer() override;
    // Posted messages: the tick message; anything else is ignored.
    void handleMessage(const LoopMessage& message) override;

    // The phone window's inputs (window thread).
    void keyDown(uint8_t virtualKey);
    void press(PhoneButton button);
    // The left soft key "Ok": logoff, then the window closes and the program ends.
    void accept();
    // The platform's close request: the window closes without a logoff of
    // its own (the destruction still logs off) and the program ends in order.
    void closeWindow();
    // IDM_SETTINGS, IDM_TAGUPD, IDM_ABOUT; other numbers do nothing.
    void command(uint32_t id);

    const PhoneWindowView& view() const { return window_.view(); }
    const PhoneWindow& window() const { return window_; }
    uint32_t rawTickCount() const { return rawTickCount_.load(std::memory_order_acquire); }
    uint32_t tickBodyCount() const { return tickBodyCount_.load(std::memory_order_acquire); }
    int tickGuard() const { return tickGuard_.load(std::memory_order_acquire); }

    // Between two reads of the shutdown wait (by default a 5-ms sleep);
    // virtual-time tests fire the timer here.
    void setShutdownPause(std::function<void()> pause) { shutdownPause_ = std::move(pause); }

    // WindowServices, for the transport and the engine's ports (engine lock held).
    bool phoneWindowExists() const override { return tickWindow_.load(std::memory_order_acquire); }
    void setWindowTitle(std::string_view title) override;
    void showMessage(std::string_view text) override;
    void cancelWindow() override;
    void raisePhoneWindow() override;

private:
    // PhoneWindowPort: called by the window logic with the engine lock held.
    void queueKey(uint16_t keyCode) override REQUIRES(parts_.engineLock) { parts_.engine.queueKey(keyCode); }
    void hookKey() override REQUIRES(parts_.engineLock) { parts_.engine.hookKey(); }
    bool ensureSignallingSocket() override REQUIRES(parts_.engineLock) {
        return parts_.services.ensureSignallingSocket();
    }
    void closeVoiceSocket() override REQUIRES(parts_.engineLock) { parts_.services.closeVoiceSocket(); }
    void resetIdleTimer() override { parts_.services.resetIdleTimer(); }

    void initWindow();
    void destroyWindow();
    void onPhoneTick();
    // Logoff, sockets closed, dialog, engine restart: for the settings and
    // update dialogs. runDialog returns whether the user accepted.
    void restartAround(const std::function<bool()>& runDialog);
    void waitForTicks(unsigned changes);

    ShellParts parts_;
    PhoneWindow window_{*this};
    std::atomic<uint32_t> rawTickCount_{0};
    std::atomic<uint32_t> tickBodyCount_{0};
    std::atomic<int> tickGuard_{0};
    std::atomic<bool> tickWindow_{false};
    bool failed_ = false;           // window thread only
    bool settingsChecked_ = false;  // window thread only: the first validation was seen
    std::function<void()> shutdownPause_;
};

}  // namespace vorpel
