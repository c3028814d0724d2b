// The desktop's power services over the freedesktop screen-saver interface
// on the session bus: while audio runs the screen is held awake (Inhibit,
// released by UnInhibit with the cookie it returned), and the keep-awake
// step resets the idle timer (SimulateUserActivity). Without a session bus
// both do nothing.
//
// Threads: holdBacklight may be called from any thread (the audio driver
// calls it from the timer or the audio thread); the request is carried to
// the thread that created the inhibitor, whose event loop sends it and takes
// the reply, so no caller ever waits for the bus. Requests keep their order.
// Create it after the QApplication and let it outlive the audio driver that
// calls it.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>

#include "media/media_ports.h"

class QDBusPendingCall;

namespace vorpel {

class ScreenSaverInhibitor final : public BacklightPort {
public:
    // On the session bus.
    ScreenSaverInhibitor();
    explicit ScreenSaverInhibitor(const QDBusConnection& bus);
    // Gives back a hold still in force.
    ~ScreenSaverInhibitor() override;
    ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
    ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

    // On: ask for the hold unless one is held or asked for. Off: give back the
    // hold (at once, or as soon as the pending request's cookie arrives).
    void holdBacklight(bool on) override;

    // Creating thread only: the cookie of the hold in force.
    std::optional<uint32_t> cookie() const { return cookie_; }

private:
    void apply();
    void inhibitAnswered(const QDBusPendingCall& call);

    QDBusConnection bus_;
    std::unique_ptr<QObject> context_;  // lives on the creating thread; carries the requests there
    bool wanted_ = false;
    bool asking_ = false;
    std::optional<uint32_t> cookie_;
};

// The keep-awake step's reset of the desktop's idle timer on the given bus;
// nothing when it is not connected.
void simulateUserActivity(const QDBusConnection& bus);
// The same on the session bus; fits the terminal's idle-timer hook.
void resetDesktopIdleTimer();

}  // namespace vorpel
