// The device's power services: the backlight held at full power while audio
// runs, and the reset of the system's idle timer that keeps the device awake.
//
// A console on Linux has neither a backlight to hold nor an idle timer that
// the terminal owns, so both do nothing here; a front end on a handheld
// supplies its own BacklightPort and idle-timer reset.
#pragma once

#include "media/media_ports.h"

namespace vorpel {

class Backlight final : public BacklightPort {
public:
    void holdBacklight(bool) override {}
};

// The keep-awake step's platform call; nothing to do on a console.
inline void resetIdleTimer() {}

}  // namespace vorpel
