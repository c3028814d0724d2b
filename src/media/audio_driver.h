// The audio driver as the shell sees it: three operations.
//
// Threads: init is called once by the phone window's initialisation (window
// thread); tick by the 100-ms media timer before the engine's tick (timer
// thread, never re-entered); close once by the shell after the phone window
// has closed (window thread), also when init failed.
#pragma once

namespace vorpel {

class AudioDriver {
public:
    virtual ~AudioDriver() = default;
    // Opens the devices and prepares the buffers; false on failure (the phone
    // window then shows "Sount initialization fault!" and closes).
    virtual bool init() = 0;
    // Ends the driver: its thread leaves and nothing touches a device after
    // close has returned.
    virtual void close() = 0;
    // Starts the devices when audioMode has left Idle (or moved between two
    // non-Idle modes) since the last tick, and stops them when it has returned
    // to Idle.
    virtual void tick() = 0;
};

}  // namespace vorpel
