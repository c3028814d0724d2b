// What the phone window needs from the rest of the terminal.
//
// Every call is made on the window thread while the caller of the phone
// window holds the engine lock (PhoneWindow names it), so implementations
// must not take it again.
#pragma once

#include <cstdint>

namespace vorpel {

class PhoneWindowPort {
public:
    virtual ~PhoneWindowPort() = default;
    virtual void queueKey(uint16_t keyCode) = 0;
    virtual void hookKey() = 0;
    // Creates and connects the signalling socket when it is missing. Returns
    // false only when that was tried on this call and failed.
    virtual bool ensureSignallingSocket() = 0;
    virtual void closeVoiceSocket() = 0;
    // Resets the system idle timer (keep-awake).
    virtual void resetIdleTimer() = 0;
};

}  // namespace vorpel
